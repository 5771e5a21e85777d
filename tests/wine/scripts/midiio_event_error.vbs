' An uncaught error in an OnTimer handler (line 4) ends the script: exit 1.
Sub Midi_OnTimer()
    Dim missing
    missing.Member = 1
End Sub
Set io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_")
io.CreateTimer 20
WScript.Sleep 30000
WScript.Quit 99

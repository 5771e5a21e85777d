' Two-process demo, recording side: listens on the virtual port Tavro 05,
' tells the player on Tavro 06 that it is listening, and prints every
' message it receives until the player's end marker (a Stop message).
' Run on Windows, in two windows, this one first:
'   cscript //nologo vport_record.vbs      then   cscript //nologo vport_play.vbs
' (or tavrorun instead of cscript; under Wine examples/run-vport-demo.sh
' starts both sides).
' Needs: a host that delivers events (Windows cscript or tavrorun; Wine's
' cscript does not), then vport_play.vbs in another process.
Option Explicit
Dim io, inId, outId, received, finished, t0, i

Function HexByte(b)
    HexByte = Right("0" & Hex(b), 2)
End Function

Sub Midi_OnMidiEvents()
    Dim port, msgTime, data, n, text, j
    Do
        n = io.GetNextEvent(port, msgTime, data)
        If n = 0 Then Exit Do
        If received = 0 Then t0 = msgTime
        received = received + 1
        text = ""
        For j = 0 To n - 1
            text = text & HexByte(data(j)) & " "
        Next
        ' Times are in 0.1 ms units of the master clock.
        WScript.Echo "  +" & Right("    " & CLng((msgTime - t0) / 10), 5) & " ms  " & text
        If data(0) = &HFC Then finished = True
    Loop
End Sub

Set io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_")
inId = io.FindMidiInPort("tavro 05", 4)
outId = io.FindMidiOutPort("tavro 06", 4)
If Not io.OpenMidiInPort(inId) Or Not io.OpenMidiOutPort(outId) Then
    WScript.Echo "cannot open the virtual ports"
    WScript.Quit 2
End If
WScript.Echo "recorder: listening on " & io.GetMidiInPortName(inId)

' Active Sensing on Tavro 06 means "listening" until the first note arrives.
For i = 1 To 300
    If received > 0 Then Exit For
    io.SendMidiEvent outId, 0, Array(&HFE)
    WScript.Sleep 200
Next
For i = 1 To 300
    If finished Then Exit For
    WScript.Sleep 100
Next

WScript.Echo "recorder: " & received & " messages"
io.CloseMidiInPort 0
io.CloseMidiOutPort 0
If finished Then WScript.Quit 0 Else WScript.Quit 1

' Records what arrives at a MIDI input port into a Standard MIDI File: one
' track at 120 beats a minute, 960 ticks a quarter note, each message's time
' taken from its arrival time on the master clock (0.1 ms units).
' Run on Windows:  cscript //nologo record_smf.vbs [input] [file] [seconds]
'   input: port name pattern (default: the first input port); file: default
'   recorded.mid (replaced); seconds: default 60. A Stop message (FC) ends
'   the recording earlier.
' Needs: a MIDI input port with something playing into it, and a host that
' delivers events (Windows cscript or tavrorun; Wine's cscript does not).
Option Explicit
Const TicksPerUnit = 0.192   ' 960 ticks per 500 ms quarter note = 5000 units
Dim io, tools, midiFile, inId, fileName, seconds, rows(20000), count, lastTime, stopped, i

Sub Midi_OnMidiEvents()
    Dim port, msgTime, data, n, ticks
    Do
        n = io.GetNextEvent(port, msgTime, data)
        If n = 0 Then Exit Do
        If data(0) = &HFC Then stopped = True
        ' Keep channel and system-exclusive messages; skip clock, sensing, stop.
        If data(0) < &HF1 And count < UBound(rows) Then
            If count = 1 Then lastTime = msgTime  ' the first message starts at 0
            ticks = CLng((msgTime - lastTime) * TicksPerUnit)
            lastTime = lastTime + ticks / TicksPerUnit
            ' A row is [delta time in ticks, message bytes].
            rows(count) = Array(ticks, data)
            count = count + 1
        End If
    Loop
End Sub

Function Arg(index, default)
    Arg = default
    If WScript.Arguments.Count > index Then Arg = WScript.Arguments(index)
End Function

Set io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_")
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")
Set midiFile = CreateObject("TAVRO.MidiFileCtrl.1")
inId = io.FindMidiInPort(Arg(0, "*"), 0)
fileName = Arg(1, "recorded.mid")
seconds = CLng(Arg(2, 60))
If inId = 0 Then
    WScript.Echo "no such input port (see ports_list.vbs)"
    WScript.Quit 2
End If
If Not io.OpenMidiInPort(inId) Then
    WScript.Echo "cannot open " & io.GetMidiInPortName(inId)
    WScript.Quit 2
End If
rows(0) = Array(0, Array(&HFF, &H51, 3, 7, &HA1, &H20))  ' tempo: 500000 us a quarter
count = 1
WScript.Echo "recording from " & io.GetMidiInPortName(inId) & " for up to " & seconds & " s"
For i = 1 To seconds * 10
    If stopped Then Exit For
    WScript.Sleep 100
Next
io.CloseMidiInPort 0

rows(count) = Array(0, Array(&HFF, &H2F, 0))  ' end of track
' Elements of rows past the last one are empty and the writer skips them.
' WriteMidiFile never replaces a file: delete the old one first.
If tools.FileExist(fileName) Then tools.FileDelete fileName
If Not midiFile.WriteMidiFile(fileName, Array(rows)) Then
    WScript.Echo "cannot write " & fileName
    WScript.Quit 1
End If
WScript.Echo "recorded " & (count - 1) & " messages to " & fileName

' Plays a Standard MIDI File on a MIDI output port: MidiFile reads it into
' tracks of [delta time, message] rows, and every message is handed at once
' to SendMidiEvent with its time on the master clock; MidiIO's send timer
' sends each one when its time comes. Without a file it first writes a short
' C major scale to scale.mid and plays that.
' Run on Windows:  cscript //nologo play_smf.vbs [output] [file]
'   output: port name pattern (default: the first output port), e.g. "*synth*". The tempo is
'   the file's first one (120 beats a minute when it has none).
' Needs: a MIDI output port, a synthesizer on it to hear the notes.
Option Explicit
Dim io, midiFile, tools, fileName, outId, song, track, row, msg, ticks, usPerQuarter, start, last, t

Function Arg(index, default)
    Arg = default
    If WScript.Arguments.Count > index Then Arg = WScript.Arguments(index)
End Function

Set io = CreateObject("TAVRO.MidiIOCtrl.1")
Set midiFile = CreateObject("TAVRO.MidiFileCtrl.1")
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")
outId = io.FindMidiOutPort(Arg(0, "*"), 0)
fileName = Arg(1, "")

If fileName = "" Then
    ' Rows of [delta ticks, bytes]: a note every half quarter at 960 ticks a quarter.
    fileName = "scale.mid"
    If tools.FileExist(fileName) Then tools.FileDelete fileName
    song = Array(Array(Array(0, Array(&HC0, 0, 0)), _
        Array(0, Array(&H90, 60, 100)), Array(480, Array(&H80, 60, 0)), _
        Array(0, Array(&H90, 64, 100)), Array(480, Array(&H80, 64, 0)), _
        Array(0, Array(&H90, 67, 100)), Array(480, Array(&H80, 67, 0)), _
        Array(0, Array(&H90, 72, 100)), Array(960, Array(&H80, 72, 0)), _
        Array(0, Array(&HFF, &H2F, 0))))
    If Not midiFile.WriteMidiFile(fileName, song) Then
        WScript.Echo "cannot write " & fileName
        WScript.Quit 1
    End If
End If
' ReadMidiFile gives times in 960 ticks a quarter note, whatever the file has.
If Not midiFile.ReadMidiFile(song, fileName) Then
    WScript.Echo "cannot read " & fileName
    WScript.Quit 1
End If
If outId = 0 Or Not io.OpenMidiOutPort(outId) Then
    WScript.Echo "cannot open the output port (see ports_list.vbs)"
    WScript.Quit 2
End If

usPerQuarter = 500000
For Each row In song(0)
    msg = row(1)
    If msg(0) = &HFF And msg(1) = &H51 Then
        usPerQuarter = msg(3) * 65536 + msg(4) * 256 + msg(5)
        Exit For
    End If
Next

' Master clock units are 0.1 ms: a tick is usPerQuarter / 960 / 100 of them.
start = io.GetMasterClockTime() + 5000   ' half a second from now
last = start
For Each track In song
    ticks = 0
    For Each row In track
        ticks = ticks + row(0)
        msg = row(1)
        t = start + CLng(ticks * usPerQuarter / 96000)
        If msg(0) <> &HFF Then      ' meta events are not sent
            io.SendMidiEvent outId, t, msg
            If t > last Then last = t
        End If
    Next
Next
WScript.Echo "playing " & fileName & " on " & io.GetMidiOutPortName(outId) & ": " & _
    io.GetMidiOutEventCount(0) & " messages, " & CLng((last - start) / 10000) & " s"
Do While io.GetMidiOutEventCount(0) > 0
    WScript.Sleep 100
Loop
' Stop (FC) tells a receiver that the song is over.
io.SendMidiEvent outId, 0, Array(&HFC, 0, 0)
io.CloseMidiOutPort 0
WScript.Echo "done"

' MIDI thru with transposition: every message that arrives at an input port
' goes out of an output port at once, notes (and their key pressure) moved by
' a number of semitones. MidiIO raises OnMidiEvents when input is stored; the
' handler empties the store with GetNextEvent.
' Run on Windows:  cscript //nologo midi_thru.vbs [input] [output] [semitones] [seconds]
'   input, output: port name patterns (default: the first of each), e.g. "*keyboard*"
'   semitones: default 12; seconds: how long to run (default 600). A Stop
'   message (FC) at the input ends it earlier.
' Needs: a MIDI input and a MIDI output port, and a host that delivers events
' (Windows cscript or tavrorun; Wine's cscript does not).
Option Explicit
Dim io, inId, outId, shift, seconds, stopped, passed, i

Sub Midi_OnMidiEvents()
    Dim port, msgTime, data, n, status, text
    Do
        n = io.GetNextEvent(port, msgTime, data)
        If n = 0 Then Exit Do
        text = Bytes(data)
        status = data(0) And &HF0
        ' Note off, note on, key pressure: transpose the key, inside 0..127.
        If n = 3 And status >= &H80 And status <= &HA0 Then
            If data(1) + shift >= 0 And data(1) + shift <= 127 Then data(1) = data(1) + shift
        End If
        If data(0) = &HFC Then stopped = True
        ' Time 0: send at once (a later time on GetMasterClockTime would queue it).
        io.SendMidiEvent outId, 0, data
        passed = passed + 1
        WScript.Echo text & " -> " & Bytes(data)
    Loop
End Sub

Function Bytes(data)
    Dim j
    Bytes = ""
    For j = 0 To UBound(data)
        Bytes = Bytes & Right("0" & Hex(data(j)), 2) & " "
    Next
    Bytes = Trim(Bytes)
End Function

Function Arg(index, default)
    Arg = default
    If WScript.Arguments.Count > index Then Arg = WScript.Arguments(index)
End Function

' The prefix "Midi_" connects the control's events to the Sub above.
Set io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_")
inId = io.FindMidiInPort(Arg(0, "*"), 0)
outId = io.FindMidiOutPort(Arg(1, "*"), 0)
shift = CLng(Arg(2, 12))
seconds = CLng(Arg(3, 600))
If inId = 0 Or outId = 0 Then
    WScript.Echo "no such port (see ports_list.vbs)"
    WScript.Quit 2
End If
If Not io.OpenMidiInPort(inId) Or Not io.OpenMidiOutPort(outId) Then
    WScript.Echo "cannot open the ports"
    WScript.Quit 2
End If
WScript.Echo "thru: " & io.GetMidiInPortName(inId) & " -> " & io.GetMidiOutPortName(outId) & ", " & shift & " semitones"

' Events are delivered while the script sleeps.
For i = 1 To seconds * 10
    If stopped Then Exit For
    WScript.Sleep 100
Next
io.CloseMidiInPort 0
io.CloseMidiOutPort 0
WScript.Echo "thru: " & passed & " messages passed"

' Lists the MIDI ports of each kind, then plays a C major scale on the first
' DirectMusic output (a software synthesizer, for instance) if there is one.
'   cscript //nologo list_ports.vbs
Option Explicit
Dim io, tools, kinds, kind, id, outId, notes, i, t, opened
Set io = CreateObject("TAVRO.MidiIOCtrl.1")
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")

' Port IDs run through the system ports, then DirectMusic's, then the 32
' virtual ports of each direction (shown here by their first and last).
kinds = Array(Array(1, "system"), Array(2, "DirectMusic"), Array(4, "virtual"))
For Each kind In kinds
    WScript.Echo kind(1) & " ports:"
    For id = 1 To io.GetMidiInPortCount()
        If io.GetMidiInPortType(id) = kind(0) And (kind(0) <> 4 Or id = io.FindMidiInPort("tavro 01", 4) _
            Or id = io.GetMidiInPortCount()) Then WScript.Echo "  in  " & id & ": " & io.GetMidiInPortName(id)
    Next
    For id = 1 To io.GetMidiOutPortCount()
        If io.GetMidiOutPortType(id) = kind(0) And (kind(0) <> 4 Or id = io.FindMidiOutPort("tavro 01", 4) _
            Or id = io.GetMidiOutPortCount()) Then WScript.Echo "  out " & id & ": " & io.GetMidiOutPortName(id)
    Next
Next

outId = io.FindMidiOutPort("*", 2)
If outId = 0 Then
    WScript.Echo "no DirectMusic output: no scale"
    WScript.Quit 0
End If
opened = io.OpenMidiOutPort(outId)
If Not opened Then
    WScript.Echo "DirectMusic output " & outId & " (" & io.GetMidiOutPortName(outId) & ") does not open here"
    WScript.Quit 0
End If

' Each note on, and its note off 250 ms later, is queued for its time
' (0.1 ms units on the master clock); the control sends them on its own.
notes = Array(60, 62, 64, 65, 67, 69, 71, 72)
t = io.GetMasterClockTime() + 2000
For i = 0 To UBound(notes)
    io.SendMidiEvent outId, t + i * 3000, Array(&H90, notes(i), 100)
    io.SendMidiEvent outId, t + i * 3000 + 2500, Array(&H80, notes(i), 0)
Next
WScript.Echo "playing a scale on " & io.GetMidiOutPortName(outId)
Do While io.GetMidiOutEventCount(0) > 0
    tools.Sleep 100
Loop
io.CloseMidiOutPort outId

' Lists the MIDI input and output ports that MidiIO offers: system devices,
' DirectMusic ports and the 32 virtual ports, with the ID, kind and name that
' the other MidiIO methods take. Then plays a C major scale on the first
' DirectMusic output (a software synthesizer, for instance) if one opens.
' Run on Windows:  cscript //nologo ports_list.vbs   (or: tavrorun ports_list.vbs)
' Needs: a registered TAVRO.OCX; a DirectMusic output (or none) for the scale.
Option Explicit
Dim io, tools, kinds, i, outId, notes, t, waited
kinds = Array("", "system", "DirectMusic", "", "virtual")
Set io = CreateObject("TAVRO.MidiIOCtrl.1")
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")

WScript.Echo io.GetMidiInPortCount() & " input ports:"
For i = 1 To io.GetMidiInPortCount()
    WScript.Echo "  in  " & Right(" " & i, 2) & "  " & kinds(io.GetMidiInPortType(i)) & vbTab & io.GetMidiInPortName(i)
Next
WScript.Echo io.GetMidiOutPortCount() & " output ports:"
For i = 1 To io.GetMidiOutPortCount()
    WScript.Echo "  out " & Right(" " & i, 2) & "  " & kinds(io.GetMidiOutPortType(i)) & vbTab & io.GetMidiOutPortName(i)
Next
' Ports are found by a wildcard pattern over the name, letter case ignored;
' the second argument limits the kinds (1 system, 2 DirectMusic, 4 virtual).
WScript.Echo "first virtual output port: " & io.FindMidiOutPort("tavro*", 4)

outId = io.FindMidiOutPort("*", 2)
If outId = 0 Then
    WScript.Echo "no DirectMusic output: no scale"
ElseIf Not io.OpenMidiOutPort(outId) Then
    WScript.Echo "DirectMusic output " & outId & " (" & io.GetMidiOutPortName(outId) & ") does not open here"
Else
    ' Each note on, and its note off 250 ms later, is queued for its time
    ' (0.1 ms units on the master clock); the control sends them on its own.
    notes = Array(60, 62, 64, 65, 67, 69, 71, 72)
    t = io.GetMasterClockTime() + 2000
    For i = 0 To UBound(notes)
        io.SendMidiEvent outId, t + i * 3000, Array(&H90, notes(i), 100)
        io.SendMidiEvent outId, t + i * 3000 + 2500, Array(&H80, notes(i), 0)
    Next
    WScript.Echo "playing a scale on " & io.GetMidiOutPortName(outId)
    waited = 0
    Do While io.GetMidiOutEventCount(0) > 0 And waited < 100
        tools.Sleep 100
        waited = waited + 1
    Loop
    io.CloseMidiOutPort outId
End If

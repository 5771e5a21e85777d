' Lists the MIDI input and output ports that MidiIO offers: system devices,
' DirectMusic ports and the 32 virtual ports, with the ID, kind and name that
' the other MidiIO methods take.
' Run on Windows:  cscript //nologo ports_list.vbs   (or: tavrorun ports_list.vbs)
Option Explicit
Dim io, kinds, i
kinds = Array("", "system", "DirectMusic", "", "virtual")
Set io = CreateObject("TAVRO.MidiIOCtrl.1")

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

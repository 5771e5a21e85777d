' How many events a VBScript loop drains per second with GetNextEvent under
' cscript: fills the store through the loopback cable 1, then times the loop.
Option Explicit
Const kEvents = 20000
Dim io, tools, a, i, n, t0, t1, port, t, data
Set io = CreateObject("TAVRO.MidiIOCtrl.1")
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")
If io.FindMidiOutPort("loopback midi 1", 1) <> 1 Then
    WScript.Echo "loopback MIDI driver not installed in this prefix"
    WScript.Quit 1
End If
io.OpenMidiOutPort 1
io.OpenMidiInPort 1
io.SetMidiInMaxEventCount kEvents
a = Array(&H90, 60, 100)
t0 = io.GetSystemTime()
For i = 1 To kEvents
    io.SendMidiEvent 1, 0, a
Next
t1 = io.GetSystemTime()
WScript.Echo "sent " & kEvents & " notes in " & (t1 - t0) & " ms"
For i = 1 To 3000
    If io.GetMidiInEventCount(0) >= kEvents Then Exit For
    tools.Sleep 10
Next
WScript.Echo "stored " & io.GetMidiInEventCount(0) & " events"
n = 0
t0 = io.GetSystemTime()
Do While io.GetNextEvent(port, t, data) > 0
    n = n + 1
Loop
t1 = io.GetSystemTime()
If t1 = t0 Then t1 = t0 + 1
WScript.Echo "GetNextEvent drained " & n & " events in " & (t1 - t0) & " ms: " & _
    CLng(n * 1000 / (t1 - t0)) & " events/s"

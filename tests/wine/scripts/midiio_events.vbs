' MidiIO events in VBScript under tavrorun: OnMidiEvents and OnTimer run
' while WScript.Sleep pumps, and their handlers can call the control.
Option Explicit
Dim failures, io, midiCalls, received, ticks, n
failures = 0 : midiCalls = 0 : received = "" : ticks = 0

Sub Check(ok, what, actual)
    If Not ok Then WScript.Echo "FAIL: " & what & " (got: " & actual & ")" : failures = failures + 1
End Sub

Sub Midi_OnMidiEvents()
    Dim port, t, data
    midiCalls = midiCalls + 1
    Do While io.GetNextEvent(port, t, data) > 0
        received = received & port & ":" & data(0) & " " & data(1) & " " & data(2) & ";"
    Loop
End Sub

Sub Midi_OnTimer()
    ticks = ticks + 1
    If ticks = 3 Then io.KillTimer
End Sub

Set io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_")
Check io.OpenMidiOutPort(1) And io.OpenMidiInPort(1), "open cable 1", ""
Check io.SendMidiEvent(1, 0, Array(&H90, 60, 100)), "send now", ""
Check io.SendMidiEvent(1, io.GetMasterClockTime() + 1000, Array(&H80, 60, 0)), "send in 100 ms", ""
For n = 1 To 500
    If Len(received) >= 24 Then Exit For
    WScript.Sleep 20
Next
Check received = "1:144 60 100;1:128 60 0;", "the handler read both notes", received
Check midiCalls >= 1 And midiCalls <= 2, "one OnMidiEvents per burst", midiCalls

Check io.CreateTimer(30), "CreateTimer(30)", ""
For n = 1 To 500
    If ticks >= 3 Then Exit For
    WScript.Sleep 20
Next
WScript.Sleep 200
Check ticks = 3, "KillTimer inside OnTimer stops the ticks", ticks
Check Not io.CreateTimer(0), "CreateTimer(0) fails", ""
WScript.Quit failures

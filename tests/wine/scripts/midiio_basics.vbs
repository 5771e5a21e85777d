' MidiIO from VBScript under cscript, which delivers no events: ports, find,
' sending, GetNextEvent into script variables and GetMidiInEvent fields.
Option Explicit
Dim passed, failed, io, tools
passed = 0 : failed = 0

Sub Check(ok, what)
    If ok Then passed = passed + 1 Else failed = failed + 1 : WScript.Echo "FAIL: " & what
End Sub

' Polls the store for up to 5 s (the driver's callbacks fill it; nothing pumps).
Function WaitForEvents(count)
    Dim n
    For n = 1 To 500
        If io.GetMidiInEventCount(0) >= count Then Exit For
        tools.Sleep 10
    Next
    WaitForEvents = io.GetMidiInEventCount(0)
End Function

On Error Resume Next
Set io = CreateObject("TAVRO.MidiIOCtrl.1")
Check Err.Number = 0, "create MidiIO (" & Err.Number & ")"
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")

Check TypeName(io.GetMidiInPortCount()) = "Long" And io.GetMidiOutPortCount() >= 2, "two loopback cables, Long counts"
Check io.GetMidiInPortName(1) = "Loopback MIDI 1", "input 1 name: " & io.GetMidiInPortName(1)
Check io.GetMidiOutPortName(2) = "Loopback MIDI 2", "output 2 name: " & io.GetMidiOutPortName(2)
Check io.GetMidiInPortName(0) = "" And TypeName(io.GetMidiInPortName(0)) = "String", "no port 0"
Check io.GetMidiOutPortType(1) = 1 And io.GetMidiOutPortType(0) = 0, "port kinds"

' pattern, kind mask, expected input and output ID
Dim f
For Each f In Array(Array("*", 0, 1), Array("LOOPBACK MIDI 2", 1, 2), Array("*midi ?", -1, 1), _
                    Array("loopback*", 4, 0), Array("*", 8, 0), Array("loopback midi", 0, 0), Array("", 0, 0))
    Check io.FindMidiInPort(f(0), f(1)) = f(2) And io.FindMidiOutPort(f(0), f(1)) = f(2), _
        "Find(""" & f(0) & """, " & f(1) & ") = " & io.FindMidiInPort(f(0), f(1)) & " expected " & f(2)
Next

' BOOL results are real Booleans: "= True" works.
Check io.OpenMidiOutPort(1) = True And io.OpenMidiInPort(1) = True, "open cable 1"
Check io.OpenMidiInPort(0) = False, "no input 0"
Check io.SetMidiInSysLen(1, 65536) = False And io.SetMidiOutSysLen(1, -1) = True, "sysex sizes"

' sent, expected bytes received
Dim m, a, port, t, data, n, i, got, before
For Each m In Array(Array(Array(&H90, 60, 100), "144 60 100"), Array(Array(&HC0, "5", 0), "192 5 0"), _
                    Array(Array(&HF0, &H7D, 1, 2, &HF7), "240 125 1 2 247"))
    a = m(0)
    before = io.GetMasterClockTime()
    Check io.SendMidiEvent(1, 0, a) = True, "send " & m(1)
    Check WaitForEvents(1) = 1, "one event stored for " & m(1)
    Check io.GetMidiInEvent(0, 2, 0) = 1 And io.GetMidiInEvent(0, 3, 0) = UBound(a) + 1, "fields of " & m(1)
    Check io.GetMidiInEvent(0, 4, 1) = CLng(a(1)) And io.GetMidiInEvent(0, 4, 99) = 0, "data fields of " & m(1)
    n = io.GetNextEvent(port, t, data)
    got = ""
    For i = 0 To UBound(data)
        got = got & " " & data(i)
    Next
    Check n = UBound(a) + 1 And got = " " & m(1), "GetNextEvent gave " & n & " [" & got & "] expected [" & m(1) & "]"
    Check port = 1 And TypeName(port) = "Long" And TypeName(t) = "Long", "port " & port & " and time types"
    Check t - before >= 0 And t - before < 100000, "time " & t & " after " & before
Next
n = io.GetNextEvent(port, t, data)
Check n = 0 And IsEmpty(port) And IsEmpty(t) And IsEmpty(data), "empty store leaves the variables empty"

' A message scheduled 50 ms ahead waits in the queue, then arrives.
Check io.SendMidiEvent(1, io.GetMasterClockTime() + 300, Array(&H80, "x", 0)) = True, "queued, dropped when due"
Check io.SendMidiEvent(1, io.GetMasterClockTime() + 500, Array(&H80, 60, 0)) = True, "schedule"
Check io.GetMidiOutEventCount(0) = 2 And io.GetMidiOutEventCount(2) = 0, "queued " & io.GetMidiOutEventCount(0)
Check WaitForEvents(1) = 1, "the scheduled message arrived"
Check io.DeleteMidiInEvents(0, 1) = 0 And io.GetMidiInEventCount(0) = 0, "DeleteMidiInEvents"
Check io.SendMidiEvent(3 + io.GetMidiOutPortCount(), 0, Array(&H90, 1, 1)) = False, "no such port"
Check io.SendMidiEvent(1, 0, 5) = False, "a number is no message"
Check io.CloseMidiInPort(0) = True And io.CloseMidiOutPort(1) = True, "close"
Check io.SendMidiEvent(1, 0, Array(&H90, 1, 1)) = False, "closed port"
Check Err.Number = 0, "no script error (" & Err.Number & " " & Err.Description & ")"

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

' MidiIO stress: a table of scenarios, each repeated; every round ends within
' a bound, all notes arrive, a closed port holds nothing. "events": tavrorun
' with OnTimer; else cscript, no pump. A peer floods virtual index 24 meanwhile.
Option Explicit
Const kIdx = 27, kFlood = 24, kBoundMs = 20000 ' rounds take milliseconds: a slower one starved or hung
Dim events, failures, passed, clk, cur, ticks, flooded, leftover, names, rounds, i, r, t0, worst
failures = 0 : passed = 0 : ticks = 0 : flooded = 0 : events = False
If WScript.Arguments.Count > 0 Then events = (WScript.Arguments(0) = "events")

Sub Check(ok, what)
    If ok Then passed = passed + 1 Else failures = failures + 1 : WScript.Echo "FAIL: " & what
End Sub
Function NewIO(connected) ' a connected control is held by tavrorun until disconnected
    If events And connected Then Set NewIO = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_") _
    Else Set NewIO = CreateObject("TAVRO.MidiIOCtrl.1")
End Function
Sub Midi_OnTimer() ' even rounds kill and recreate the timer inside OnTimer
    ticks = ticks + 1 : If r Mod 2 = 0 Then cur.KillTimer : cur.CreateTimer 1
End Sub
Function InId(io, k) : InId = io.GetMidiInPortCount() - 31 + k : End Function
Function OutId(io, k) : OutId = io.GetMidiOutPortCount() - 31 + k : End Function

' Sleeps; without a pump, polls input, which answers messages sent to us.
Sub Pause(ms)
    Dim start : start = clk.GetSystemTime()
    If events Then WScript.Sleep ms
    Do While Not events And clk.GetSystemTime() - start < ms
        clk.GetMidiInEventCount 0
    Loop
End Sub

' With stepUnits 0 opens output index k and input index kIn; else queues
' count notes to k, one every stepUnits (0.1 ms) from now.
Sub Feed(io, k, kIn, count, stepUnits)
    Dim n, ok : ok = True
    If stepUnits = 0 Then ok = io.OpenMidiOutPort(OutId(io, k)) And io.OpenMidiInPort(InId(io, kIn))
    For n = 1 To count
        ok = ok And io.SendMidiEvent(OutId(io, k), io.GetMasterClockTime() + 5 + stepUnits * n, Array(&H90, n Mod 128, 1))
    Next
    Check ok, "open or queue " & count & " notes on index " & k
End Sub

Sub Busy(ms) ' answers nothing meanwhile: no input is polled
    Dim start : start = clk.GetSystemTime()
    Do While clk.GetSystemTime() - start < ms : Loop
End Sub

Sub WaitForInput(a, b, count) ' a and b each hold count events, or the bound passed
    Dim start : start = clk.GetSystemTime()
    Do While (a.GetMidiInEventCount(0) < count Or b.GetMidiInEventCount(0) < count) And clk.GetSystemTime() - start < kBoundMs
        Pause 1
    Loop
    Check a.GetMidiInEventCount(0) = count And b.GetMidiInEventCount(0) = count, count & " notes arrived: " _
        & a.GetMidiInEventCount(0) & ", " & b.GetMidiInEventCount(0)
End Sub

Sub RunRound(scenario, r)
    Dim a, b, n, p, t, d, seen, key
    Select Case scenario
    Case 4 ' release while queued notes reach this thread's listener
        Set a = NewIO(False) : Feed a, kIdx, kIdx, 0, 0 : Feed a, kIdx, kIdx, 20, 10 : Pause r Mod 8
    Case 1 ' KillTimer and CreateTimer from the script (and OnTimer) while notes flow
        Set a = NewIO(True) : Feed a, kIdx, kIdx, 0, 0 : Feed a, kIdx, kIdx, 50, 5 : If events Then Set cur = a
        Do While a.GetMidiInEventCount(0) < 50 And clk.GetSystemTime() - t0 < kBoundMs
            a.KillTimer : Check a.CreateTimer(1 + r Mod 3), "CreateTimer" : Pause 1
        Loop
        WaitForInput a, a, 50
        If r Mod 3 = 0 Then a.KillTimer ' else released with its timer running
        If events Then WScript.DisconnectObject a : Set cur = Nothing
    Case 2 ' release with 1,000 notes queued to this thread's listener
        Set a = NewIO(False) : Feed a, kIdx, kIdx, 0, 0 : Feed a, kIdx, kIdx, 1000, 10 : Pause 5
        Check a.GetMidiOutEventCount(0) > 500, "still queued: " & a.GetMidiOutEventCount(0)
    Case 3 ' two controls feed each other; odd rounds release while notes flow
        Set a = NewIO(False) : Set b = NewIO(False) : Feed a, 25, 26, 0, 0 : Feed b, 26, 25, 0, 0
        Feed a, 25, 26, 100, 5 : Feed b, 26, 25, 100, 5
        If r Mod 2 = 0 Then WaitForInput a, b, 100 Else Pause 10
    Case 5 ' busy past the delivery bound: only sent notes are kept, once each, with their own bytes
        Set a = NewIO(False) : Feed a, kIdx, kIdx, 0, 0 : Feed a, kIdx, kIdx, 3, 10 : Busy 2500 : Pause 50
        For n = 1 To 3
            Check a.SendMidiEvent(OutId(a, kIdx), 0, Array(&H90, 100 + n, 2)), "immediate note " & n
        Next
        seen = " "
        Do While a.GetNextEvent(p, t, d) > 0
            key = d(1) & "/" & d(2)
            Check d(0) = &H90 And InStr(seen, " " & key & " ") = 0 And ((d(2) = 1 And d(1) >= 1 And d(1) <= 3) _
                Or (d(2) = 2 And d(1) >= 101 And d(1) <= 103)), "busy listener stored " & d(0) & " " & key & " after" & seen
            seen = seen & key & " "
        Loop
        Check InStr(seen, " 101/2 ") > 0 And InStr(seen, " 102/2 ") > 0 And InStr(seen, " 103/2 ") > 0, _
            "immediate notes after the busy spell:" & seen
    Case 0 ' a new control, then ten closes and reopens of the flooded listener
        Set a = NewIO(False)
        For n = 1 To 10
            Check a.OpenMidiInPort(InId(a, kFlood)), "open flooded listener" : Pause 1
            flooded = flooded + a.GetMidiInEventCount(0)
            Check a.CloseMidiInPort(InId(a, kFlood)) And a.GetMidiInEventCount(0) = 0, "closed, nothing stored" : Pause 1
            Check a.GetMidiInEventCount(0) = 0, "nothing arrives at the closed listener"
        Next
    End Select
End Sub

Set clk = CreateObject("TAVRO.MidiIOCtrl.1")
names = Array("flooded listener: new control, 10 reopens", "timers while notes flow", "release with 1000 queued", _
              "two controls feeding each other", "release while delivering", "listener busy past the bound")
rounds = Array(100, 20, 5, 10, 40, 2)
For i = 0 To UBound(names)
    worst = 0
    For r = 1 To rounds(i)
        t0 = clk.GetSystemTime()
        RunRound i, r
        If clk.GetSystemTime() - t0 > worst Then worst = clk.GetSystemTime() - t0
    Next
    Check worst < kBoundMs, names(i) & ": slowest round " & worst & " ms"
    WScript.Echo names(i) & ": " & rounds(i) & " rounds, slowest " & worst & " ms"
Next
Check flooded > 0, "the peer's flood reached the open listener" : WScript.Echo flooded & " flooded messages received, " & ticks & " OnTimer"
' The script ends with 1,000 notes still queued to its own listener.
Set leftover = NewIO(False) : Feed leftover, kIdx, kIdx, 0, 0 : Feed leftover, kIdx, kIdx, 1000, 10
WScript.Echo passed & " passed, " & failures & " failed"
WScript.Quit failures

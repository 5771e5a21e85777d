' Virtual ports as a script sees them: one MidiIO control sends on Tavro 10
' (at once and queued), another receives through OnMidiEvents while
' WScript.Sleep handles messages.
Option Explicit
Dim failures, rx, tx, inId, outId, got, order, i, t, big(128)
failures = 0 : got = 0 : order = ""

Sub Check(ok, what, actual)
    If Not ok Then
        WScript.Echo "FAIL: " & what & " (got: " & actual & ")"
        failures = failures + 1
    End If
End Sub

Sub Rx_OnMidiEvents()
    Dim port, msgTime, data
    Do While rx.GetNextEvent(port, msgTime, data) = 3
        got = got + 1
        Check port = inId, "events come from the virtual input", port
        order = order & data(1)
    Loop
End Sub

Set rx = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Rx_")
Set tx = CreateObject("TAVRO.MidiIOCtrl.1")
inId = rx.FindMidiInPort("TAVRO 1?", 4)
outId = tx.FindMidiOutPort("tavro 10", 0)
Check rx.GetMidiInPortName(inId) = "Tavro 10", "FindMidiInPort finds Tavro 10", rx.GetMidiInPortName(inId)
Check rx.OpenMidiInPort(inId) And tx.OpenMidiOutPort(outId), "open", ""

Check tx.SendMidiEvent(outId, 0, Array(&H90, 0, 1)), "send now", ""
Check rx.GetMidiInEventCount(inId) = 1, "stored within the send", rx.GetMidiInEventCount(inId)
Check Not tx.SendMidiEvent(outId, 0, big), "129 bytes refused while someone listens", ""
t = tx.GetMasterClockTime()
For i = 1 To 4
    Check tx.SendMidiEvent(outId, t + 300 * i, Array(&H90, i, 1)), "queue " & i, ""
Next
For i = 1 To 200
    If got >= 5 Then Exit For
    WScript.Sleep 50
Next
Check got = 5 And order = "01234", "every message arrives once, in order", got & " " & order
WScript.Quit failures

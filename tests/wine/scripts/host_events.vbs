' Events of the test event source reach VBScript procedures named prefix +
' event name, with their arguments; posted events arrive only while
' WScript.Sleep dispatches messages; DisconnectObject stops them.
Option Explicit
Dim failures, src, a, b
Dim ticks, tickText, later, laterOrder, aTicks, aText, bTicks, bText
failures = 0 : ticks = 0 : later = 0 : aTicks = 0 : bTicks = 0
tickText = "" : laterOrder = "" : aText = "" : bText = ""

Sub Check(ok, what, actual)
    If Not ok Then WScript.Echo "FAIL: " & what & " (got: " & actual & ")" : failures = failures + 1
End Sub

Sub Src_OnTick(index, text)
    ticks = ticks + 1
    Check index = ticks, "OnTick indexes count from 1", index
    tickText = tickText & text
    src.Poke index ' a handler may call back into the object
End Sub

Sub Src_OnLater(index)
    later = later + 1
    laterOrder = laterOrder & index
End Sub

Sub A_OnTick(index, text)
    aTicks = aTicks + 1
    aText = aText & text
End Sub

Sub B_OnTick(index, text)
    bTicks = bTicks + 1
    bText = bText & text
End Sub

' Sleeps in short steps until `count` OnLater events arrived (20 s at most).
Sub WaitForLater(count)
    Dim n
    For n = 1 To 400
        If later >= count Then Exit Sub
        WScript.Sleep 50
    Next
End Sub

Set src = WScript.CreateObject("TavroTest.EventSource", "Src_")
src.FireNow 3, "ab"
Check ticks = 3, "FireNow 3 raises OnTick 3 times", ticks
Check tickText = "ababab", "OnTick receives the text", tickText
Check src.Total() = 6, "handlers poked 1 + 2 + 3", src.Total()

src.FireLater 2
Check later = 0, "posted events wait until the host dispatches messages", later
WaitForLater 2
Check later = 2, "Sleep delivers the posted events", later
Check laterOrder = "12", "posted events arrive in order", laterOrder

WScript.DisconnectObject src
src.FireNow 2, "x"
src.FireLater 1
WScript.Sleep 200
Check ticks = 3, "no OnTick after DisconnectObject", ticks
Check later = 2, "no OnLater after DisconnectObject", later

' Two objects, two prefixes; the second one offers no IProvideClassInfo2,
' so its events are found through its coclass.
Set a = WScript.CreateObject("TavroTest.EventSource", "A_")
Set b = CreateObject("TavroTest.EventSourceClassInfo")
WScript.ConnectObject b, "B_"
a.FireNow 2, "a"
b.FireNow 3, "b"
a.FireLater 1 ' A_OnLater does not exist: the event is ignored
WScript.Sleep 100
Check aTicks = 2 And aText = "aa", "object A raises its events to A_ handlers", aTicks & " " & aText
Check bTicks = 3 And bText = "bbb", "object B raises its events to B_ handlers", bTicks & " " & bText
Check ticks = 3, "Src_ handlers see no events of A and B", ticks

WScript.Quit failures

' WScript.Quit inside an event handler ends a long Sleep with its code.
Sub Src_OnLater(index)
    WScript.Quit 3
End Sub
Set src = WScript.CreateObject("TavroTest.EventSource", "Src_")
src.FireLater 1
WScript.Sleep 60000
WScript.Quit 99

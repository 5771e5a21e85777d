' An error in an event handler (line 4) ends a long Sleep with exit code 1.
Sub Src_OnLater(index)
    Dim missing
    missing.Member = index
End Sub
Set src = WScript.CreateObject("TavroTest.EventSource", "Src_")
src.FireLater 1
WScript.Sleep 60000
WScript.Quit 99

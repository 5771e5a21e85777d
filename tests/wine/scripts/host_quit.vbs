' WScript.Quit ends the run at once with its code, even under On Error
' Resume Next and from inside a procedure.
On Error Resume Next
Sub Leave()
    WScript.Quit 7
End Sub
WScript.Echo "before quit"
Leave
WScript.Quit 99

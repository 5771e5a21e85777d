' tavrorun basics from VBScript: Echo, Arguments, script names, errors of
' the WScript methods. Run with the arguments: one "two words" 3
Option Explicit
Dim failures, args, n
failures = 0

Sub Check(ok, what, actual)
    If Not ok Then WScript.Echo "FAIL: " & what & " (got: " & actual & ")" : failures = failures + 1
End Sub

WScript.Echo "alpha", 42, True, "beta"

Set args = WScript.Arguments
Check args.Count = 3, "Arguments.Count = 3", args.Count
Check WScript.Arguments.Count() = 3, "Arguments.Count() = 3", WScript.Arguments.Count()
Check args.Length = 3, "Arguments.Length = 3", args.Length
Check args(0) = "one", "Arguments(0)", args(0)
Check WScript.Arguments(1) = "two words", "WScript.Arguments(1)", WScript.Arguments(1)
Check args.Item(2) = "3", "Arguments.Item(2)", args.Item(2)
Check WScript.ScriptName = "host_basics.vbs", "ScriptName", WScript.ScriptName
Check LCase(Right(WScript.ScriptFullName, 16)) = "\host_basics.vbs", "ScriptFullName", WScript.ScriptFullName

On Error Resume Next
n = args(3)
Check Err.Number = 9, "Arguments(3) raises subscript out of range (9)", Err.Number
Err.Clear
n = WScript.CreateObject("TavroTest.NoSuchProgId")
Check Err.Number <> 0, "CreateObject of an unknown ProgID raises an error", Err.Number
Err.Clear
' The arguments object has no events to connect.
WScript.ConnectObject args, "Args_"
Check Err.Number <> 0, "ConnectObject of an object without events raises an error", Err.Number
Err.Clear
WScript.ConnectObject 5, "X_"
Check Err.Number <> 0, "ConnectObject of a number raises an error", Err.Number
Err.Clear
WScript.Sleep 0
WScript.Sleep -5
Check Err.Number = 0, "Sleep 0 and Sleep -5 return", Err.Number
On Error GoTo 0

WScript.Quit failures

' MidiTools as VBScript under cscript sees it: creation by ProgID, result
' types, wildcard case rules, the errors raised to the script and the
' by-reference FileFind array.
Option Explicit
Dim passed, failed, t, p, o, c, r, x
passed = 0 : failed = 0

Sub Check(ok, what)
    If ok Then passed = passed + 1 Else failed = failed + 1 : WScript.Echo "FAIL: " & what
End Sub

On Error Resume Next
For Each p In Array("TAVRO.MidiIOCtrl.1", "TAVRO.MidiFileCtrl.1", "TAVRO.MidiToolsCtrl", "TAVRO.MidiIOCtrl")
    Err.Clear
    Set o = Nothing
    Set o = CreateObject(p)
    Check Err.Number = 0 And Not (o Is Nothing), "CreateObject " & p & " (" & Err.Number & ")"
Next
Set t = CreateObject("TAVRO.MidiToolsCtrl.1")

' Scale(val, valMin, valMax, resultMin, resultMax) = expected Long
For Each c In Array(Array(0.25, 0, 1, 0, 10, 3), Array(-0.25, 0, 1, 0, 10, -3), Array("5", "0", "10", "0", "100", 50))
    Err.Clear
    r = t.Scale(c(0), c(1), c(2), c(3), c(4))
    Check Err.Number = 0 And r = c(5) And TypeName(r) = "Long", "Scale(" & c(0) & ", ...) = " & r & " expected " & c(5)
Next
' IsLike(text, pattern) ignores case and is a real Boolean
For Each c In Array(Array("", "*", True), Array("ABC", "a*C", True), Array("abc", "A?", False), Array("a*c", "a[*]c", False))
    r = t.IsLike(c(0), c(1))
    Check TypeName(r) = "Boolean" And r = c(2), "IsLike(""" & c(0) & """, """ & c(1) & """) = " & r
Next

' Methods without an editor or a printer: fixed results, no errors.
Err.Clear
Check t.ShowEditor(True) = False And TypeName(t.ShowEditor(False)) = "Boolean", "ShowEditor is False"
Check t.PrintFont("Arial", 12.5) = True, "PrintFont returns True"
Check t.EditorGetSelText() = "" And TypeName(t.EditorGetSelText()) = "String", "EditorGetSelText is empty"
t.TerminateScript
t.EditorSelectAll
t.EditorAddText "x"
t.EditorReplaceSelText "y"
t.PrintTabStopLength 4
t.PrintLN "from the tools test"
t.Assert 1
Check Err.Number = 0, "methods without effect raise nothing (" & Err.Number & ")"

' Errors raised to the script: number and text; failed bindings.
Dim errors
errors = Array(Array(2012, "Assertion Failed"), Array(2012, "Programm Stopped by TerminateScriptNOW() function"), _
               Array(2000, "{ without }"), Array(438, ""), Array(450, ""), Array(13, ""), Array(13, ""))
For c = 0 To UBound(errors)
    Err.Clear
    Select Case c
        Case 0: t.Assert 0
        Case 1: t.TerminateScriptNOW
        Case 2: t.SendKeys "{a"
        Case 3: t.NoSuchMethod 1
        Case 4: x = t.Scale(1, 2)
        Case 5: x = t.Scale("abc", 0, 1, 0, 1)
        Case 6: x = t.Scale(Array(1, 2), 0, 1, 0, 1)
    End Select
    Check Err.Number = errors(c)(0) And (errors(c)(1) = "" Or Err.Description = errors(c)(1)), _
        "error case " & c & ": " & Err.Number & " " & Err.Description
Next

' The tick count advances across a sleep; a negative sleep returns at once.
Err.Clear
r = t.GetTickCount()
t.Sleep 100
x = t.GetTickCount()
t.Sleep -1
Check Err.Number = 0 And TypeName(r) = "Long" And x - r >= 50, "GetTickCount advanced by " & (x - r) & " over Sleep 100"

' FileFind fills a by-reference variable with an array of strings.
Dim fso, folder, arr
Set fso = CreateObject("Scripting.FileSystemObject")
folder = fso.BuildPath(fso.GetSpecialFolder(2), "tavro_" & fso.GetBaseName(fso.GetTempName()))
fso.CreateFolder folder
Check t.FileWrite(folder & "\one.txt", "1") = True And t.FileWrite(folder & "\two.txt", "22") = True, "FileWrite"
arr = "not an array"
r = t.FileFind(arr, folder, "*.txt", 0, 5)
Check Err.Number = 0 And r = 2 And IsArray(arr), "FileFind count " & r & " (" & Err.Number & ")"
If IsArray(arr) And r = 2 Then Check TypeName(arr(0)) = "String" And arr(0) = folder & "\two.txt", "FileFind first " & arr(0)
r = t.FileFind(arr, folder & "\nowhere", "*", 1, 0)
Check r = 0 And IsArray(arr) And UBound(arr) = -1, "FileFind of a missing folder gives an empty array"
fso.DeleteFolder folder, True

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

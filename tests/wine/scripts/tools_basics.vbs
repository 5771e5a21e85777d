' MidiTools basics from VBScript under cscript: creation by ProgID, Scale,
' IsLike, Boolean results, the 2012 errors and the methods without effect.
Option Explicit
Dim passed, failed
passed = 0 : failed = 0

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL: " & what
    End If
End Sub

On Error Resume Next

Dim progIds, p, o
progIds = Array("TAVRO.MidiIOCtrl.1", "TAVRO.MidiFileCtrl.1", "TAVRO.MidiToolsCtrl.1", _
                "TAVRO.MidiIOCtrl", "TAVRO.MidiFileCtrl", "TAVRO.MidiToolsCtrl")
For Each p In progIds
    Err.Clear
    Set o = Nothing
    Set o = CreateObject(p)
    Check Err.Number = 0 And IsObject(o), "CreateObject " & p & " (" & Err.Number & ")"
    Check Not (o Is Nothing), "object of " & p
Next

Dim t
Err.Clear
Set t = CreateObject("TAVRO.MidiToolsCtrl.1")
Check Err.Number = 0, "create MidiTools"

' Scale: val, valMin, valMax, resultMin, resultMax, expected
Dim scales, s
scales = Array( _
    Array(0.25, 0, 1, 0, 10, 3), _
    Array(3, 4, 4, 2.9, 100, 2), _
    Array(20, 0, 10, 0, 100, 200))
For Each s In scales
    Err.Clear
    Dim r
    r = t.Scale(s(0), s(1), s(2), s(3), s(4))
    Check Err.Number = 0 And r = s(5) And TypeName(r) = "Long", _
        "Scale(" & s(0) & "," & s(1) & "," & s(2) & "," & s(3) & "," & s(4) & ") = " & r & " expected " & s(5)
Next
Err.Clear
Check t.Scale("5", "0", "10", "0", "100") = 50, "Scale with string arguments"

' IsLike: text, pattern, expected
Dim likes, l
likes = Array( _
    Array("", "*", True), Array("ABC", "a*C", True), Array("abc", "a?", False), _
    Array("abxbcd", "*b?d", True), Array("a*c", "a[*]c", False))
For Each l In likes
    Err.Clear
    Dim m
    m = t.IsLike(l(0), l(1))
    Check Err.Number = 0 And TypeName(m) = "Boolean" And m = l(2), _
        "IsLike(""" & l(0) & """, """ & l(1) & """) = " & m
Next

' BOOL results are real Booleans: comparing with True works.
Check t.ShowEditor(True) = False, "ShowEditor returns False"
Check TypeName(t.ShowEditor(False)) = "Boolean", "ShowEditor is Boolean"
Check t.PrintFont("Arial", 12.5) = True, "PrintFont returns True"
Check t.EditorGetSelText() = "" And TypeName(t.EditorGetSelText()) = "String", "EditorGetSelText is empty"
Err.Clear
t.TerminateScript
t.EditorSelectAll
t.EditorAddText "x"
t.EditorReplaceSelText "y"
t.PrintTabStopLength 4
t.Print ""
t.PrintLN "from the basics test"
t.Cls
Check Err.Number = 0, "methods without effect raise nothing (" & Err.Number & ")"

' Errors raised to the script: code 2012 and the exact texts.
Err.Clear
t.Assert 1
Check Err.Number = 0, "Assert 1 passes"
Err.Clear
t.Assert 0
Check Err.Number = 2012, "Assert 0 number " & Err.Number
Check Err.Description = "Assertion Failed", "Assert 0 text " & Err.Description
Err.Clear
t.TerminateScriptNOW
Check Err.Number = 2012, "TerminateScriptNOW number " & Err.Number
Check Err.Description = "Programm Stopped by TerminateScriptNOW() function", "TerminateScriptNOW text " & Err.Description

' Calls that cannot bind fail cleanly.
Err.Clear
t.NoSuchMethod 1
Check Err.Number = 438, "unknown method gives 438, got " & Err.Number
Err.Clear
Dim x
x = t.Scale(1, 2)
Check Err.Number = 450, "wrong argument count gives 450, got " & Err.Number
Err.Clear
x = t.Scale("abc", 0, 1, 0, 1)
Check Err.Number = 13, "type mismatch gives 13, got " & Err.Number
Err.Clear
x = t.Scale(Array(1, 2), 0, 1, 0, 1)
Check Err.Number = 13, "an array for a number gives 13, got " & Err.Number

' The tick count advances across a sleep; a negative sleep returns at once.
Err.Clear
Dim t1, t2
t1 = t.GetTickCount()
t.Sleep 100
t2 = t.GetTickCount()
Check TypeName(t1) = "Long", "GetTickCount is Long"
Check t2 - t1 >= 50, "GetTickCount advanced by " & (t2 - t1) & " over Sleep 100"
t.Sleep -1
t.Sleep 0
Check Err.Number = 0, "Sleep -1 and 0 return"

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

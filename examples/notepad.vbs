' Drives Notepad the way a user would: lists its menus, toggles word wrap
' (Format\Word Wrap on Windows, Edit\Wrap long lines on Wine) and reads its
' check mark, types a line and Ctrl+S, saves it through the Save As dialog
' (the file name set in the dialog's own edit box, found by stepping into the
' control after the "File name:" label) and checks the file. Every wait is bounded:
' the script ends within a minute and closes Notepad, pass or fail.
' Where it works: under Wine, whose Notepad has the classic menu bar and Save
' As dialog (the tests run it there). Not on Windows 11: its Notepad has no
' classic menu bar, and the Save As dialog's file name field is no plain
' child window. Windows 10's Notepad has both (SetControlText sets the
' dialog's box in Notepad's process by message). For Windows 10 and 11
' alike, see regedit.vbs.
' Needs: a desktop.
' Run:  tavrorun notepad.vbs  (or cscript notepad.vbs)
' Prints "N passed, M failed" and quits with the number of failures.
Option Explicit
Dim t, passed, failed, target, menus, wrapItem, wrap, i, listing, p, q, idx, deadline
passed = 0 : failed = 0
target = "C:\windows\temp\tavro_notepad_example.txt"

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL: " & what
    End If
End Sub

' A wait of at most ms, cut short so that all waits end within 45 s.
Function Bound(ms)
    Bound = deadline - t.GetTickCount()
    If Bound > ms Then Bound = ms
    If Bound < 0 Then Bound = 0
End Function

' Polls the listing of the target window's controls for text, up to ms.
Function WaitListing(text, ms)
    Dim k
    For k = 1 To Bound(ms) \ 50 + 1
        WaitListing = InStr(t.EnumControls(), text) > 0
        If WaitListing Then Exit Function
        t.Sleep 50
    Next
End Function

Set t = CreateObject("TAVRO.MidiToolsCtrl.1")
deadline = t.GetTickCount() + 45000
t.FileDelete target
Check t.RunApp("notepad.exe", ""), "start notepad"
Check t.WaitForegroundWindow("Untitled - Notepad", Bound(20000)), "notepad in the foreground"
Check t.SetCurrentHost("Notepad", ""), "notepad is the host"

' Every menu command, one quoted path per line.
menus = t.GetMenusFromHost("")
WScript.Echo menus
wrapItem = "Format\Word Wrap"
If Not t.IsHostMenu(wrapItem) Then wrapItem = "Edit\Wrap long lines"
Check InStr(menus, """" & wrapItem & """" & vbCrLf) > 0, wrapItem & " listed"

' The wrap item toggles its check mark; run it twice to leave it as it was.
For i = 1 To 2
    wrap = t.IsHostMenuChecked(LCase(wrapItem))
    Check t.CallHostMenu(wrapItem, True), "run " & wrapItem
    Check t.IsHostMenuChecked(wrapItem) <> wrap, wrapItem & " check mark changed from " & wrap
Next

' Keys are queued and Notepad handles them in order, so Ctrl+S (Save As for
' a new file) comes after the text: a menu command posted now would open the
' dialog before the last keys arrive, and they would land in it.
t.SendKeys "Hello from TAVRO{ENTER}^s"
If t.WaitForegroundWindow("Save As", Bound(20000)) Then
    ' The dialog adds and shows its controls a while after it is foreground.
    Check WaitListing(vbTab & "PushButton" & vbTab & "True" & vbTab & "True" & vbTab & "&Save" & vbCrLf, 15000), _
          "Save button shown"
    ' The file name box follows its label; step down into it (a combo box
    ' on Windows, an extended combo box holding a combo box on Wine) to the
    ' edit box and set the name there.
    listing = t.EnumControls()
    p = InStr(listing, vbTab & "File &name:" & vbCrLf)
    If p > 0 Then
        q = InStrRev(listing, vbLf, p)
        idx = Mid(listing, q + 1, p - q - 1)
        idx = CLng(Left(idx, InStr(idx, vbTab) - 1)) + 1
        Do While t.GetNumControls(idx) > 0
            If Not t.SetControlWindow(idx) Then Exit Do
            idx = 1
        Loop
        Check t.GetControlClass(idx) = "Edit", "file name edit box found"
        Check t.SetControlText(idx, target), "file name entered"
    Else
        Check False, "File name label in the dialog"
    End If
    t.SetControlWindow 0
    Check t.ClickButton("save"), "Save clicked"
    ' Notepad creates the file before it writes the text: wait for the text.
    For i = 1 To Bound(10000) \ 50 + 1
        If InStr(t.FileRead(target), "Hello from TAVRO") > 0 Then Exit For
        t.Sleep 50
    Next
    Check InStr(t.FileRead(target), "Hello from TAVRO") > 0, "the file holds the typed text: [" & t.FileRead(target) & "]"
Else
    Check False, "Save As in the foreground"
End If

' Close Notepad, also after a failure: cancel a dialog left open, then
' decline to save the text if Notepad asks.
deadline = t.GetTickCount() + 10000
t.SetControlWindow 0
If t.GetForegroundWindowName() = "Save As" Then
    t.ClickButton "cancel"
    t.WaitForegroundWindowChanged "Save As", Bound(3000)
End If
Check t.CallHostMenu("File\Exit", False), "close notepad"
For i = 1 To Bound(10000) \ 100 + 1
    If InStr(t.GetForegroundWindowName(), "Notepad") = 0 Then Exit For
    If t.GetForegroundWindowName() = "Notepad" Then
        If Not t.ClickButton("don't save") Then t.ClickButton "no"
    End If
    t.Sleep 100
Next
Check InStr(t.GetForegroundWindowName(), "Notepad") = 0, "notepad closed"
t.FileDelete target
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

' Drives Notepad the way a user would: lists its menus, toggles word wrap
' (Format\Word Wrap on Windows, Edit\Wrap long lines on Wine) and reads its
' check mark, types a line, saves it through
' the Save As dialog and checks the file. Run with cscript and a display;
' prints "N passed, M failed" and quits with the failures. Under Wine 8 the
' file dialog does not take a name set from another process, so the save
' step fails there.
Option Explicit
Dim t, passed, failed, target, menus, wrapItem, wrap, i, listing, p, filled
passed = 0 : failed = 0
target = "C:\windows\temp\tavro_notepad_example.txt"

' The control index in "...[12]*" or "...[12]" that ends at position p.
Function IndexBefore(text, p)
    Dim q
    q = InStrRev(text, "[", p)
    IndexBefore = CLng(Mid(text, q + 1, p - q - 1))
End Function

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL: " & what
    End If
End Sub

Set t = CreateObject("TAVRO.MidiToolsCtrl.1")
t.FileDelete target
Check t.RunApp("notepad.exe", ""), "start notepad"
Check t.WaitForegroundWindow("Untitled - Notepad", 60000), "notepad in the foreground"
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

t.SendKeys "Hello from TAVRO{ENTER}"
' Save As opens a modal dialog: post the command instead of waiting for it.
Check t.CallHostMenu("File\Save As", False), "open Save As"
Check t.WaitForegroundWindow("Save As", 20000), "Save As in the foreground"

' The dialog adds controls while it comes up: wait for its Save button.
For i = 1 To 600
    If InStr(t.EnumControls(), vbTab & "PushButton" & vbTab & "True" & vbTab & "True" & vbTab & "&Save" & vbCrLf) > 0 Then Exit For
    t.Sleep 50
Next
' The file name box holds the focus: step down through the controls marked
' as containing it ("[i]") to the one that has it ("[i]*") and fill that.
filled = False
For i = 1 To 5
    listing = t.EnumControls()
    p = InStr(listing, "]*" & vbTab)
    If p > 0 Then
        filled = t.SetControlText(IndexBefore(listing, p), target)
        Exit For
    End If
    p = InStr(listing, "]" & vbTab)
    If p = 0 Then Exit For
    Check t.SetControlWindow(IndexBefore(listing, p)), "step into the control holding the focus"
Next
Check filled, "file name entered"
t.SetControlWindow 0
Check t.ClickButton("save"), "Save clicked"

For i = 1 To 200
    If t.FileExist(target) Then Exit For
    t.Sleep 50
Next
Check InStr(t.FileRead(target), "Hello from TAVRO") > 0, "the file holds the typed text: [" & t.FileRead(target) & "]"

Check t.CallHostMenu("File\Exit", False), "close notepad"
t.FileDelete target
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

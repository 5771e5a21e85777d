' Drives the Registry Editor the way a user would; it ships with classic
' menus and dialogs on Windows 10, Windows 11 and Wine alike. Lists its
' menus, toggles View\Status Bar and reads its check mark (twice, leaving it
' as it was), opens Edit\Find, types a search text into the dialog's focused
' box and copies it back through the clipboard, closes it, and closes the
' editor. Nothing in the registry changes. Every wait is bounded: the script ends within a minute.
' Needs: a desktop. On Windows an administrator's regedit runs elevated, and
' Windows refuses keys and menu commands that a normal script sends to an
' elevated window: run it from an elevated prompt there (a standard user's
' regedit is not elevated and needs nothing more).
' Run:  tavrorun regedit.vbs   (or cscript regedit.vbs)
' Prints "N passed, M failed" and quits with the number of failures.
Option Explicit
Dim t, passed, failed, menus, bar, shown, i, deadline, listing, exitItem
passed = 0 : failed = 0

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

Set t = CreateObject("TAVRO.MidiToolsCtrl.1")
deadline = t.GetTickCount() + 45000
Check t.RunApp("regedit.exe", ""), "start regedit"
Check t.WaitForegroundWindow("Registry Editor", Bound(20000)), "regedit in the foreground"
Check t.SetCurrentHost("RegEdit_RegEdit", ""), "regedit is the host"

' Every menu command, one quoted path per line.
menus = t.GetMenusFromHost("")
WScript.Echo menus
bar = "View\Status Bar"
Check InStr(menus, """" & bar & """" & vbCrLf) > 0, bar & " listed"
For i = 1 To 2
    shown = t.IsHostMenuChecked(bar)
    Check t.CallHostMenu(bar, True), "run " & bar
    Check t.IsHostMenuChecked(bar) <> shown, bar & " check mark changed from " & shown
Next

' Find opens a dialog whose text box has the focus: keys typed land there
' once the dialog shows its controls. Escape closes it (its button is Cancel
' on Windows, Close on Wine).
Check t.CallHostMenu("Edit\Find", False), "run Edit\Find"
If t.WaitForegroundWindow("Find", Bound(10000)) Then
    listing = ""
    For i = 1 To Bound(5000) \ 50 + 1
        listing = t.EnumControls()
        If InStr(listing, "]*" & vbTab & "EditSingle") > 0 Then Exit For
        t.Sleep 50
    Next
    ' Another process's edit text cannot be read directly: copy it out.
    t.SetClipboardText ""
    t.SendKeys "TAVRO example{HOME}+{END}^c"
    For i = 1 To Bound(5000) \ 50 + 1
        If t.GetClipboardText() = "TAVRO example" Then Exit For
        t.Sleep 50
    Next
    Check t.GetClipboardText() = "TAVRO example", "the typed text copied from the dialog: [" & t.GetClipboardText() & "]"
    t.SendKeys "{ESC}"
    Check t.WaitForegroundWindowChanged("Find", Bound(5000)), "the dialog closed"
Else
    Check False, "Find in the foreground"
End If

' Windows names the first menu File, Wine names it Registry.
exitItem = "File\Exit"
If Not t.IsHostMenu(exitItem) Then exitItem = "Registry\Exit"
Check t.CallHostMenu(exitItem, False), "close regedit"
For i = 1 To Bound(10000) \ 100 + 1
    If t.GetForegroundWindowName() <> "Registry Editor" Then Exit For
    t.Sleep 100
Next
Check t.GetForegroundWindowName() <> "Registry Editor", "regedit closed"
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

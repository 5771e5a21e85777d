' MidiTools script utilities as a script sees them: files with embedded
' zeros, FileFind's by-reference array, clipboard text and the SendKeys error.
Option Explicit
Dim tools, fso, failures, passed, folder, name, data, n, arr
failures = 0
passed = 0

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failures = failures + 1
        WScript.Echo "FAILED: " & what
    End If
End Sub

On Error Resume Next
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")
Check Err.Number = 0, "CreateObject: " & Err.Description
Set fso = CreateObject("Scripting.FileSystemObject")
folder = fso.BuildPath(fso.GetSpecialFolder(2), "tavro_" & fso.GetBaseName(fso.GetTempName()))
fso.CreateFolder folder
Check tools.FolderExist(folder) = True, "FolderExist " & folder

' Files: bytes unchanged, embedded zero included; booleans are True.
name = folder & "\one.txt"
data = "a" & Chr(0) & "b" & Chr(255) & vbCrLf
Check tools.FileWrite(name, data) = True, "FileWrite result"
Check tools.FileAppend(name, "z") = True, "FileAppend result"
Check tools.FileRead(name) = data & "z", "FileRead returns the bytes written and appended"
Check tools.GetFileSize(name) = 7, "GetFileSize " & tools.GetFileSize(name)
Check tools.FileCopy(name, folder & "\two.txt", 0) = True, "FileCopy to a new name"

' FileFind fills a by-reference array of strings.
arr = "not an array"
n = tools.FileFind(arr, folder & "\", "*.txt", 0, 5)
Check Err.Number = 0 And n = 2 And IsArray(arr), "FileFind count " & n & " (" & Err.Number & ")"
If IsArray(arr) And n = 2 Then
    Check LBound(arr) = 0 And TypeName(arr(0)) = "String", "FileFind element type " & TypeName(arr(0))
    Check arr(0) = folder & "\two.txt" And arr(1) = name, "FileFind order: " & arr(0) & ", " & arr(1)
End If
n = tools.FileFind(arr, folder & "\nowhere", "*", 1, 0)
Check n = 0 And IsArray(arr), "FileFind of a missing folder gives an empty array"
If IsArray(arr) Then Check UBound(arr) = -1, "empty array bound"

' Clipboard.
tools.SetClipboardText "script text"
Check tools.GetClipboardText() = "script text" And tools.GetClipboardTextLength() = 11, "clipboard text"
data = "x" & Chr(0) & "y"
tools.SetClipboardData "TAVRO script format", data
Check tools.GetClipboardData("tavro SCRIPT format") = data, "GetClipboardData of a registered name"

' SendKeys syntax errors reach the script as error 2000.
Err.Clear
tools.SendKeys "{a"
Check Err.Number = 2000 And Err.Description = "{ without }", "SendKeys error " & Err.Number & " " & Err.Description
Err.Clear
Check tools.RunApp(" ", "") = False, "RunApp with nothing to start"

fso.DeleteFolder folder, True
Check Err.Number = 0, "remove " & folder & " (" & Err.Number & ")"
WScript.Echo passed & " passed, " & failures & " failed"
WScript.Quit failures

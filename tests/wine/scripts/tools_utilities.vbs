' MidiTools script utilities as a script sees them: files with embedded
' zeros, FileFind's by-reference array, clipboard text and the SendKeys error.
Option Explicit
Dim tools, failures, passed, folder, name, data, n, arr, i
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
If Err.Number <> 0 Then
    WScript.Echo passed & " passed, " & failures & " failed"
    WScript.Quit failures
End If

folder = "C:\windows\temp\tavro_script_tools"
' Start from an empty folder: remove what an earlier run left.
n = tools.FileFind(arr, folder, "*", 0, 0)
For i = 0 To n - 1
    tools.FileDelete arr(i)
Next
CreateObject("Scripting.FileSystemObject").CreateFolder folder
Err.Clear
Check tools.FolderExist(folder) = True, "FolderExist " & folder

' Files: bytes unchanged, embedded zero included; booleans are True.
name = folder & "\one.txt"
data = "a" & Chr(0) & "b" & Chr(255) & vbCrLf
Check tools.FileWrite(name, data) = True, "FileWrite result"
Check tools.FileRead(name) = data, "FileRead returns the bytes written"
Check tools.GetFileSize(name) = 6, "GetFileSize " & tools.GetFileSize(name)
Check tools.FileAppend(name, "z") = True, "FileAppend result"
Check tools.FileRead(name) = data & "z", "FileAppend keeps the content"
Check tools.FileExist(name) = True And tools.FolderExist(name) = False, "FileExist of a file"
Check tools.FileCopy(name, folder & "\two.txt", 0) = True, "FileCopy to a new name"
Check tools.FileCopy(name, folder & "\two.txt", 0) = False, "FileCopy onto a file without replace"
Check tools.FileRead(folder & "\missing.txt") = "", "FileRead of a missing file"

' FileFind fills a by-reference array of strings.
arr = "not an array"
n = tools.FileFind(arr, folder & "\", "*.txt", 0, 5)
Check Err.Number = 0, "FileFind: " & Err.Description
Check n = 2, "FileFind count " & n
Check IsArray(arr), "FileFind result is an array"
If IsArray(arr) And n = 2 Then
    Check LBound(arr) = 0 And UBound(arr) = 1, "FileFind bounds"
    Check TypeName(arr(0)) = "String", "FileFind element type " & TypeName(arr(0))
    Check arr(0) = folder & "\two.txt" And arr(1) = name, "FileFind order: " & arr(0) & ", " & arr(1)
End If
n = tools.FileFind(arr, folder & "\nowhere", "*", 1, 0)
Check n = 0 And IsArray(arr), "FileFind of a missing folder gives an empty array"
If IsArray(arr) Then Check UBound(arr) = -1, "empty array bound"

' Clipboard.
tools.SetClipboardText "script text"
Check tools.GetClipboardText() = "script text", "GetClipboardText"
Check tools.GetClipboardTextLength() = 11, "GetClipboardTextLength"
Check tools.IsClipboardFormatAvailable("text") = True, "IsClipboardFormatAvailable(text)"
data = "x" & Chr(0) & "y"
tools.SetClipboardData "TAVRO script format", data
Check tools.GetClipboardData("tavro SCRIPT format") = data, "GetClipboardData of a registered name"
tools.SetClipboardText ""
Check tools.IsClipboardFormatAvailable("") = False, "empty clipboard"

' SendKeys syntax errors reach the script as error 2000.
Err.Clear
tools.SendKeys "{a"
Check Err.Number = 2000, "SendKeys error number " & Err.Number
Check Err.Description = "{ without }", "SendKeys error text " & Err.Description
Err.Clear
tools.SendKeys ""
Check Err.Number = 0, "SendKeys of an empty string"

' RunApp refuses an empty command line.
Check tools.RunApp(" ", "") = False, "RunApp with nothing to start"

tools.FileDelete name
tools.FileDelete folder & "\two.txt"
CreateObject("Scripting.FileSystemObject").DeleteFolder folder
Err.Clear

WScript.Echo passed & " passed, " & failures & " failed"
WScript.Quit failures

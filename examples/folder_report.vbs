' Reports a folder tree with MidiTools.FileFind: each folder with its number
' of files and their size, then the five largest files of the whole tree.
' Run on Windows:  cscript //nologo folder_report.vbs [folder]
'   folder: default the folder of this script.
' (FileFind returns its list through a by-reference argument, which JScript
' cannot receive; so this example is VBScript only.)
' Needs: a registered TAVRO.OCX and nothing else.
Option Explicit
Dim tools, root, folders, files, n, i, j, depth, size, total

Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")
root = WScript.ScriptFullName
root = Left(root, InStrRev(root, "\"))
If WScript.Arguments.Count > 0 Then root = WScript.Arguments(0)
If Right(root, 1) <> "\" Then root = root & "\"
If Not tools.FolderExist(root) Then
    WScript.Echo "no such folder: " & root
    WScript.Quit 2
End If

' An empty pattern lists folders; 1 = all levels; 4 = sorted by path.
n = tools.FileFind(folders, root, "", 1, 4)
WScript.Echo root & "  (" & n & " folders below)"
Report root, 0
For i = 0 To n - 1
    depth = Len(folders(i)) - Len(Replace(folders(i), "\", "")) - (Len(root) - Len(Replace(root, "\", ""))) + 1
    Report folders(i), depth
Next

' Pattern "*" over all levels, sort mode 3: the largest files first.
n = tools.FileFind(files, root, "*", 1, 3)
WScript.Echo "largest of " & n & " files:"
For i = 0 To 4
    If i < n Then WScript.Echo "  " & Right(Space(10) & tools.GetFileSize(files(i)), 10) & "  " & Mid(files(i), Len(root) + 1)
Next

' One line for a folder: its name indented by depth, its files and bytes.
Sub Report(folder, depth)
    Dim list, count, k, name
    count = tools.FileFind(list, folder, "*", 0, 0)
    total = 0
    For k = 0 To count - 1
        total = total + tools.GetFileSize(list(k))
    Next
    name = Mid(folder, InStrRev(Left(folder, Len(folder) - 1), "\") + 1)
    If depth = 0 Then name = "."
    WScript.Echo Space(2 * depth) & name & "  " & count & " files, " & total & " bytes"
End Sub

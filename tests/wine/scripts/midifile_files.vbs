' MidiFile from VBScript under cscript: files written then read back, time
' bases, refusal to overwrite, element conversion, whole-write failures, and
' the clipboard ("Standard MIDI File" format) when the file name is empty.
Option Explicit
Dim passed, failed
passed = 0 : failed = 0

Sub Check(ok, what)
    If ok Then passed = passed + 1 Else failed = failed + 1 : WScript.Echo "FAIL: " & what
End Sub

' Walks the nested arrays: "[t:a,b,c | t:...][...]"; numbers must be Longs.
Function SongText(song)
    Dim s, t, r, k, row
    SongText = "(" & TypeName(song) & ")"
    If Not IsArray(song) Then Exit Function
    s = ""
    For t = 0 To UBound(song)
        s = s & "["
        For r = 0 To UBound(song(t))
            row = song(t)(r)
            If r > 0 Then s = s & " | "
            If UBound(row) <> 1 Or TypeName(row(0)) <> "Long" Then s = s & "(bad row)"
            s = s & row(0) & ":"
            For k = 0 To UBound(row(1))
                If TypeName(row(1)(k)) <> "Long" Then s = s & "(" & TypeName(row(1)(k)) & ")"
                If k > 0 Then s = s & ","
                s = s & row(1)(k)
            Next
        Next
        s = s & "]"
    Next
    SongText = s
End Function

On Error Resume Next
Dim fso, dir, mf, example, p, song, r, c
Set fso = CreateObject("Scripting.FileSystemObject")
dir = fso.BuildPath(fso.GetSpecialFolder(2), "tavro_" & fso.GetBaseName(fso.GetTempName()))
fso.CreateFolder dir
Set mf = CreateObject("TAVRO.MidiFileCtrl.1")
Check Err.Number = 0, "create MidiFile and " & dir & " (" & Err.Number & ")"

' Tempo, middle C for half a quarter note at 960, end of track.
example = Array(Array(Array(0, Array(255, 81, 3, 7, 161, 32)), Array(0, Array(144, 60, 100)), _
    Array(480, Array(128, 60, 0)), Array(0, Array(255, 47, 0))))
p = fso.BuildPath(dir, "example.mid")
r = mf.WriteMidiFilePPQ(p, example, 480)
Check r = True And TypeName(r) = "Boolean", "WriteMidiFilePPQ 480 = " & r & " (" & Err.Number & ")"
Check fso.GetFile(p).Size = 42, "example file size " & fso.GetFile(p).Size

' Read at the file's own base (PPQ 0 or below), at 960 (ReadMidiFile) and scaled.
For Each c In Array(Array(0, 480, 480), Array(-5, 480, 480), Array(960, 960, 960), Array(240, 240, 240))
    Err.Clear
    If c(0) = 960 Then
        r = mf.ReadMidiFile(song, p)
        Check r = True And TypeName(r) = "Boolean", "ReadMidiFile = " & r
    Else
        r = mf.ReadMidiFilePPQ(song, p, c(0))
        Check r = c(1) And TypeName(r) = "Long", "ReadMidiFilePPQ(" & c(0) & ") = " & r
    End If
    Check Err.Number = 0 And SongText(song) = "[0:255,81,3,7,161,32 | 0:144,60,100 | " & c(2) & _
        ":128,60,0 | 0:255,47,0]", "read at " & c(0) & ": " & SongText(song)
Next

' Never overwrite: an existing file or folder refuses the write, the file stays.
Err.Clear
r = mf.WriteMidiFile(p, Array(Array()))
Check Err.Number = 0 And r = False And TypeName(r) = "Boolean" And fso.GetFile(p).Size = 42, _
    "WriteMidiFile over an existing file = " & r
Check mf.WriteMidiFilePPQ(dir, example, 960) = False, "WriteMidiFilePPQ onto a folder"

' What a row becomes ("" when the whole write fails and no file may appear).
Dim rowCases
rowCases = Array( _
    Array("string time", Array(Array("12", Array(144, 60, 100))), "[12:144,60,100]"), _
    Array("string bytes", Array(Array(0, Array("144", "60", "100"))), "[0:144,60,100]"), _
    Array("channel with 2 elements", Array(Array(0, Array(192, 5)), Array(1, Array(144, 60, 1))), ""), _
    Array("letters as time", Array(Array("abc", Array(144, 60, 100))), ""), _
    Array("skipped rows", Array(5, Array(1), Array(0, Array(144)), Array(3, Array(144, 60, 100))), _
          "[3:144,60,100]"))
For Each c In rowCases
    p = fso.BuildPath(dir, Replace(c(0), " ", "_") & ".mid")
    Err.Clear
    r = mf.WriteMidiFile(p, Array(c(1)))
    If c(2) = "" Then
        Check Err.Number = 0 And r = False And Not fso.FileExists(p), c(0) & ": write = " & r
    Else
        Check Err.Number = 0 And r = True And mf.ReadMidiFile(song, p) = True And SongText(song) = c(2), _
            c(0) & ": write = " & r & ", read " & SongText(song) & " expected " & c(2)
    End If
Next

' Fixed-size arrays reach the control by reference.
Dim fixedSong(0), fixedRow(1)
fixedRow(0) = 4 : fixedRow(1) = Array(144, 64, 90)
fixedSong(0) = Array(fixedRow)
p = fso.BuildPath(dir, "fixed.mid")
Check mf.WriteMidiFile(p, fixedSong) = True And mf.ReadMidiFile(song, p) = True And _
    SongText(song) = "[4:144,64,90]", "fixed-size arrays read as " & SongText(song)

' A missing file: False, an empty variable, no script error.
song = Array(1, 2)
r = mf.ReadMidiFile(song, fso.BuildPath(dir, "missing.mid"))
Check Err.Number = 0 And r = False And IsEmpty(song), "ReadMidiFile of a missing file = " & r & ", " & TypeName(song)

' An empty file name: the clipboard. A second write replaces the first; a
' refused write leaves it alone.
Err.Clear
r = mf.WriteMidiFile("", Array(example(0), Array(Array(10, Array(240, 67, 16, 247)))))
Check Err.Number = 0 And r = True, "WriteMidiFile to the clipboard = " & r & " (" & Err.Number & ")"
r = mf.ReadMidiFilePPQ(song, "", 480)
Check r = 480 And SongText(song) = "[0:255,81,3,7,161,32 | 0:144,60,100 | 240:128,60,0 | 0:255,47,0]" & _
    "[5:240,67,16,247]", "clipboard read at 480: " & r & " " & SongText(song)
Check mf.WriteMidiFilePPQ("", Array(Array(Array(3, Array(192, 7, 0)))), 96) = True, "second clipboard write"
Check mf.WriteMidiFile("", Array(Array(Array("x", Array(192, 7, 0))))) = False, "refused clipboard write"
r = mf.ReadMidiFilePPQ(song, "", 0)
Check r = 96 And SongText(song) = "[3:192,7,0]", "after the second write: " & r & " " & SongText(song)

Err.Clear
fso.DeleteFolder dir, True
Check Err.Number = 0, "remove " & dir & " (" & Err.Number & ")"
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

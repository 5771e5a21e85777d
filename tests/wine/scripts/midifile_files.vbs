' MidiFile from VBScript under cscript: files written then read back, time
' bases, refusal to overwrite, conversion of elements, whole-write failures
' and bad arguments answered by False/0 without a script error.
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

' The song as text, "[t: a,b,c | t: ...] [...]", for comparisons and messages;
' every number must be a Long (VT_I4) and every array start at 0.
Function SongText(song)
    Dim s, t, r, k, row, msg
    If Not IsArray(song) Then
        SongText = "(" & TypeName(song) & ")"
        Exit Function
    End If
    s = ""
    For t = 0 To UBound(song)
        s = s & "["
        For r = 0 To UBound(song(t))
            row = song(t)(r)
            If r > 0 Then s = s & " | "
            If LBound(row) <> 0 Or UBound(row) <> 1 Then s = s & "(bad row)"
            If TypeName(row(0)) <> "Long" Then s = s & "(" & TypeName(row(0)) & ")"
            s = s & row(0) & ":"
            msg = row(1)
            For k = 0 To UBound(msg)
                If TypeName(msg(k)) <> "Long" Then s = s & "(" & TypeName(msg(k)) & ")"
                If k > 0 Then s = s & ","
                s = s & msg(k)
            Next
        Next
        s = s & "]"
    Next
    SongText = s
End Function

On Error Resume Next

Dim fso, dir, mf
Set fso = CreateObject("Scripting.FileSystemObject")
dir = fso.BuildPath(fso.GetSpecialFolder(2), "tavro_" & fso.GetBaseName(fso.GetTempName()))
fso.CreateFolder dir
Check Err.Number = 0 And fso.FolderExists(dir), "temporary folder " & dir & " (" & Err.Number & ")"
Function TempPath(name)
    TempPath = fso.BuildPath(dir, name)
End Function

Err.Clear
Set mf = CreateObject("TAVRO.MidiFileCtrl.1")
Check Err.Number = 0, "create MidiFile (" & Err.Number & ")"

' Tempo, middle C for half a quarter note at 960, end of track.
Dim example, exampleText, p, song, r
example = Array(Array( _
    Array(0, Array(255, 81, 3, 7, 161, 32)), _
    Array(0, Array(144, 60, 100)), _
    Array(480, Array(128, 60, 0)), _
    Array(0, Array(255, 47, 0))))
exampleText = "[0:255,81,3,7,161,32 | 0:144,60,100 | 480:128,60,0 | 0:255,47,0]"

p = TempPath("example.mid")
r = mf.WriteMidiFile(p, example)
Check Err.Number = 0 And r = True And TypeName(r) = "Boolean", "WriteMidiFile example = " & r & " (" & Err.Number & ")"
Check fso.GetFile(p).Size = 42, "example file size " & fso.GetFile(p).Size & " expected 42"

r = mf.ReadMidiFile(song, p)
Check r = True And TypeName(r) = "Boolean", "ReadMidiFile example = " & r
Check SongText(song) = exampleText, "example read as " & SongText(song)

' Time bases of the read: the file's own with PPQ 0 or below, else scaled.
Dim ppqCases, c
ppqCases = Array( _
    Array(480, 480, "[0:255,81,3,7,161,32 | 0:144,60,100 | 240:128,60,0 | 0:255,47,0]"), _
    Array(0, 960, exampleText), _
    Array(-5, 960, exampleText), _
    Array(1920, 1920, "[0:255,81,3,7,161,32 | 0:144,60,100 | 960:128,60,0 | 0:255,47,0]"))
For Each c In ppqCases
    Err.Clear
    r = mf.ReadMidiFilePPQ(song, p, c(0))
    Check Err.Number = 0 And r = c(1) And TypeName(r) = "Long", "ReadMidiFilePPQ(" & c(0) & ") = " & r & " expected " & c(1)
    Check SongText(song) = c(2), "ReadMidiFilePPQ(" & c(0) & ") read " & SongText(song) & " expected " & c(2)
Next

' Written with PPQ 480: read at 960 the times double, at 0 they stand.
p = TempPath("ppq480.mid")
Check mf.WriteMidiFilePPQ(p, example, 480) = True, "WriteMidiFilePPQ 480"
Check mf.ReadMidiFile(song, p) = True, "ReadMidiFile of the 480 file"
Check SongText(song) = "[0:255,81,3,7,161,32 | 0:144,60,100 | 960:128,60,0 | 0:255,47,0]", _
    "480 file read at 960: " & SongText(song)
Check mf.ReadMidiFilePPQ(song, p, 0) = 480, "ReadMidiFilePPQ 0 of the 480 file gives 480"
Check SongText(song) = exampleText, "480 file read at its own base: " & SongText(song)

' Scaling truncates each delta on its own: 5 ticks at 960 are 0 at 96.
p = TempPath("fives.mid")
Check mf.WriteMidiFile(p, Array(Array(Array(5, Array(144, 60, 1)), Array(5, Array(144, 61, 1)), _
    Array(5, Array(144, 62, 1)), Array(5, Array(144, 63, 1))))) = True, "write the fives"
Check mf.ReadMidiFilePPQ(song, p, 96) = 96, "read the fives at 96"
Check SongText(song) = "[0:144,60,1 | 0:144,61,1 | 0:144,62,1 | 0:144,63,1]", "fives at 96: " & SongText(song)

' Never overwrite: an existing file or folder refuses the write, the file stays.
p = TempPath("example.mid")
Err.Clear
r = mf.WriteMidiFile(p, Array(Array()))
Check Err.Number = 0 And r = False, "WriteMidiFile over an existing file = " & r
Check fso.GetFile(p).Size = 42, "existing file untouched, size " & fso.GetFile(p).Size
Check mf.WriteMidiFilePPQ(dir, example, 960) = False, "WriteMidiFilePPQ onto a folder"

' Write then read back: what each row becomes ("" when the whole write
' fails and no file may appear).
Dim longMeta(302), i
longMeta(0) = 255 : longMeta(1) = 1 : longMeta(2) = 300
For i = 3 To 302 : longMeta(i) = 65 : Next
Dim rowCases
rowCases = Array( _
    Array("string time", Array(Array("12", Array(144, 60, 100))), "[12:144,60,100]"), _
    Array("double time rounds", Array(Array(7.5, Array(144, 60, 100))), "[8:144,60,100]"), _
    Array("string bytes", Array(Array(0, Array("144", "60", "100"))), "[0:144,60,100]"), _
    Array("bytes keep 8 bits", Array(Array(0, Array(256 + 144, 316, -156))), "[0:144,60,100]"), _
    Array("program change 3 elements", Array(Array(0, Array(192, 5, 99))), "[0:192,5,0]"), _
    Array("program change 2 elements", Array(Array(0, Array(192, 5))), ""), _
    Array("channel 4 elements", Array(Array(0, Array(144, 60, 100, 1))), ""), _
    Array("letters as time", Array(Array("abc", Array(144, 60, 100))), ""), _
    Array("negative time", Array(Array(-1, Array(144, 60, 100))), ""), _
    Array("time beyond 28 bits", Array(Array(268435456, Array(144, 60, 100))), ""), _
    Array("letters as a byte", Array(Array(0, Array(144, "x", 100))), ""), _
    Array("meta of 300 bytes", Array(Array(0, longMeta)), ""), _
    Array("meta length mismatch", Array(Array(0, Array(255, 1, 2, 65))), ""), _
    Array("sysex of 2", Array(Array(0, Array(240, 247))), ""), _
    Array("sysex", Array(Array(0, Array(240, 1, 2, 247))), "[0:240,1,2,247]"), _
    Array("skipped rows", Array(5, Array(1), Array(0, 7), Array(0, Array(144)), _
          Array(0, Array(116, 1, 2)), Array(3, Array(144, 60, 100))), "[3:144,60,100]"), _
    Array("largest time", Array(Array(268435455, Array(144, 60, 100))), "[268435455:144,60,100]"))
For Each c In rowCases
    p = TempPath(Replace(c(0), " ", "_") & ".mid")
    Err.Clear
    r = mf.WriteMidiFile(p, Array(c(1)))
    If c(2) = "" Then
        Check Err.Number = 0 And r = False And Not fso.FileExists(p), _
            c(0) & ": write = " & r & ", file exists " & fso.FileExists(p) & " (" & Err.Number & ")"
    Else
        Check Err.Number = 0 And r = True, c(0) & ": write = " & r & " (" & Err.Number & ")"
        r = mf.ReadMidiFile(song, p)
        Check r = True And SongText(song) = c(2), c(0) & ": read " & SongText(song) & " expected " & c(2)
    End If
Next

' Tracks: one per song element that is an array, each in its own array;
' an empty track stays; a song of no tracks writes a header that reads as 0.
p = TempPath("tracks.mid")
Check mf.WriteMidiFile(p, Array(Array(Array(1, Array(144, 1, 2))), "not a track", Array(), _
    Array(Array(2, Array(128, 1, 0))))) = True, "write three tracks"
Check mf.ReadMidiFile(song, p) = True, "read three tracks"
Check SongText(song) = "[1:144,1,2][][2:128,1,0]", "three tracks read as " & SongText(song)
p = TempPath("empty.mid")
Check mf.WriteMidiFile(p, Array()) = True And fso.GetFile(p).Size = 14, "empty song writes a 14-byte header"
song = 1
r = mf.ReadMidiFile(song, p)
Check r = False And IsEmpty(song), "header-only file reads as False with an empty array: " & r & " " & TypeName(song)

' Fixed-size arrays reach the control by reference.
Dim fixedSong(0), fixedTrack(1), fixedRow(1)
fixedRow(0) = 4 : fixedRow(1) = Array(144, 64, 90)
fixedTrack(0) = fixedRow : fixedTrack(1) = Array(0, Array(255, 47, 0))
fixedSong(0) = fixedTrack
p = TempPath("fixed.mid")
Err.Clear
r = mf.WriteMidiFile(p, fixedSong)
Check Err.Number = 0 And r = True, "write fixed-size arrays = " & r & " (" & Err.Number & ")"
Check mf.ReadMidiFile(song, p) And SongText(song) = "[4:144,64,90 | 0:255,47,0]", "fixed-size arrays read as " & SongText(song)

' Bad arguments: results, never script errors.
Dim bad
p = TempPath("bad.mid")
For Each bad In Array(5, "text", Empty, Null)
    Err.Clear
    r = mf.WriteMidiFile(p, bad)
    Check Err.Number = 0 And r = False And Not fso.FileExists(p), _
        "WriteMidiFile with " & TypeName(bad) & " = " & r & " (" & Err.Number & ")"
Next
Err.Clear
song = Array(1, 2)
r = mf.ReadMidiFile(song, TempPath("missing.mid"))
Check Err.Number = 0 And r = False And IsEmpty(song), "ReadMidiFile of a missing file = " & r & ", " & TypeName(song)
r = mf.ReadMidiFilePPQ(song, TempPath("missing.mid"), 480)
Check Err.Number = 0 And r = 0 And TypeName(r) = "Long", "ReadMidiFilePPQ of a missing file = " & r
r = mf.ReadMidiFile(song, dir)
Check Err.Number = 0 And r = False, "ReadMidiFile of a folder = " & r
Dim textFile
Set textFile = fso.CreateTextFile(TempPath("text.mid"))
textFile.Write "This is not a MIDI file at all"
textFile.Close
r = mf.ReadMidiFile(song, TempPath("text.mid"))
Check Err.Number = 0 And r = False And IsEmpty(song), "ReadMidiFile of a text file = " & r

Err.Clear
fso.DeleteFolder dir, True
Check Err.Number = 0, "remove " & dir & " (" & Err.Number & ")"

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

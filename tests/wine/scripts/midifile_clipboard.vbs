' MidiFile with an empty file name: the song goes to the clipboard in the
' "Standard MIDI File" format and is read back from there.
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

' "[t:a,b,c | t:...][...]"; numbers must be Longs.
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
            s = s & row(0) & ":"
            For k = 0 To UBound(row(1))
                If TypeName(row(1)(k)) <> "Long" Or TypeName(row(0)) <> "Long" Then s = s & "(not Long)"
                If k > 0 Then s = s & ","
                s = s & row(1)(k)
            Next
        Next
        s = s & "]"
    Next
    SongText = s
End Function

On Error Resume Next
Dim mf, r, song
Set mf = CreateObject("TAVRO.MidiFileCtrl.1")
r = mf.WriteMidiFile("", Array( _
    Array(Array(0, Array(144, 60, 100)), Array(480, Array(128, 60, 0)), Array(0, Array(255, 47, 0))), _
    Array(Array(10, Array(240, 67, 16, 247)))))
Check Err.Number = 0 And r = True, "WriteMidiFile to the clipboard = " & r & " (" & Err.Number & ")"
r = mf.ReadMidiFilePPQ(song, "", 480)
Check r = 480 And SongText(song) = "[0:144,60,100 | 240:128,60,0 | 0:255,47,0][5:240,67,16,247]", _
    "clipboard read at 480: " & r & " " & SongText(song)

' A second write replaces the first; a refused write leaves the clipboard alone.
Check mf.WriteMidiFilePPQ("", Array(Array(Array(3, Array(192, 7, 0)))), 96) = True, "second clipboard write"
Check mf.WriteMidiFile("", Array(Array(Array("x", Array(192, 7, 0))))) = False, "refused clipboard write"
r = mf.ReadMidiFilePPQ(song, "", 0)
Check r = 96 And SongText(song) = "[3:192,7,0]", "after the second write: " & r & " " & SongText(song)
Check Err.Number = 0, "no script error (" & Err.Number & ")"

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

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

' The song as text, "[t: a,b,c | t: ...] [...]"; numbers must be Longs.
Function SongText(song)
    Dim s, t, r, k, msg
    If Not IsArray(song) Then
        SongText = "(" & TypeName(song) & ")"
        Exit Function
    End If
    s = ""
    For t = 0 To UBound(song)
        s = s & "["
        For r = 0 To UBound(song(t))
            If r > 0 Then s = s & " | "
            If TypeName(song(t)(r)(0)) <> "Long" Then s = s & "(" & TypeName(song(t)(r)(0)) & ")"
            s = s & song(t)(r)(0) & ":"
            msg = song(t)(r)(1)
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
Dim mf, r, song, first, second
Set mf = CreateObject("TAVRO.MidiFileCtrl.1")
Check Err.Number = 0, "create MidiFile (" & Err.Number & ")"

first = Array( _
    Array(Array(0, Array(255, 81, 3, 7, 161, 32)), Array(0, Array(144, 60, 100)), _
          Array(480, Array(128, 60, 0)), Array(0, Array(255, 47, 0))), _
    Array(Array(10, Array(240, 67, 16, 247)), Array(0, Array(255, 47, 0))))

r = mf.WriteMidiFile("", first)
Check Err.Number = 0 And r = True, "WriteMidiFile to the clipboard = " & r & " (" & Err.Number & ")"
r = mf.ReadMidiFile(song, "")
Check Err.Number = 0 And r = True, "ReadMidiFile from the clipboard = " & r & " (" & Err.Number & ")"
' Script literals are Integers; they come back as Longs.
Dim firstText
firstText = "[0:255,81,3,7,161,32 | 0:144,60,100 | 480:128,60,0 | 0:255,47,0][10:240,67,16,247 | 0:255,47,0]"
Check SongText(song) = firstText, "clipboard read " & SongText(song) & " expected " & firstText
r = mf.ReadMidiFilePPQ(song, "", 480)
Check r = 480, "ReadMidiFilePPQ from the clipboard = " & r
Check SongText(song) = "[0:255,81,3,7,161,32 | 0:144,60,100 | 240:128,60,0 | 0:255,47,0][5:240,67,16,247 | 0:255,47,0]", _
    "clipboard at 480 " & SongText(song)

' A second write replaces the first; a refused write leaves the clipboard alone.
second = Array(Array(Array(3, Array(192, 7, 0))))
Check mf.WriteMidiFilePPQ("", second, 96) = True, "second clipboard write"
Check mf.WriteMidiFile("", Array(Array(Array("x", Array(192, 7, 0))))) = False, "refused clipboard write"
Check mf.WriteMidiFile("", 17) = False, "clipboard write of a number"
r = mf.ReadMidiFilePPQ(song, "", 0)
Check r = 96 And SongText(song) = "[3:192,7,0]", "after the second write: " & r & " " & SongText(song)
Check Err.Number = 0, "no script error (" & Err.Number & ")"

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

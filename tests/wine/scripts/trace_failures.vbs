' Failure results that explain themselves: each row makes one call fail and
' echoes "EXPECT|<line beginning>|<key phrase>" for the trace line that
' run-trace.sh must find on standard error under tavrorun //debug //trace
' (and must not find without //trace). The results themselves are checked
' here: the trace changes none of them. Argument: the Unix path of
' tools_app.exe.
Option Explicit
Dim passed, failed
passed = 0 : failed = 0

Sub Check(ok, what)
    If ok Then passed = passed + 1 Else failed = failed + 1 : WScript.Echo "FAIL: " & what
End Sub

Sub Expect(prefix, phrase)
    WScript.Echo "EXPECT|" & prefix & "|" & phrase
End Sub

On Error Resume Next
Dim fso, dir, mio, mf, t, n, i, song, bytes, ports(10), id
Set fso = CreateObject("Scripting.FileSystemObject")
dir = fso.BuildPath(fso.GetSpecialFolder(2), "tavro_" & fso.GetBaseName(fso.GetTempName()))
fso.CreateFolder dir
Set mio = CreateObject("TAVRO.MidiIOCtrl.1")
Set mf = CreateObject("TAVRO.MidiFileCtrl.1")
Set t = CreateObject("TAVRO.MidiToolsCtrl.1")
Check Err.Number = 0, "create the controls: " & Err.Description

' A port ID past the table.
n = mio.GetMidiOutPortCount() + 1
Check mio.OpenMidiOutPort(n) = False, "open output port " & n
Expect "TAVRO MidiIO.OpenMidiOutPort(" & n & ")", "no output port " & n & " (ports are 1 to " & (n - 1) & ")"

' A port that cannot be opened: a virtual input index takes 10 listeners.
Set ports(0) = mio
id = mio.FindMidiInPort("tavro 32", 4)
Check id > 0, "virtual input Tavro 32 exists"
For i = 1 To 10
    Set ports(i) = CreateObject("TAVRO.MidiIOCtrl.1")
Next
For i = 0 To 9
    Check ports(i).OpenMidiInPort(id) = True, "listener " & (i + 1) & " opens"
Next
Check ports(10).OpenMidiInPort(id) = False, "an eleventh listener is refused"
Expect "TAVRO MidiIO.OpenMidiInPort(" & id & ")", """Tavro 32"" did not open: the port has its 10 listeners already"
For i = 0 To 10
    ports(i).CloseMidiInPort 0
Next

' A port's own reason: DirectMusic's synthesizer, not open, cannot send.
id = mio.FindMidiOutPort("*", 2)
Check id > 0, "a DirectMusic output port exists"
Check mio.SendMidiEvent(id, 0, Array(&H90, 60, 64)) = False, "send to a closed port"
Expect "TAVRO MidiIO.SendMidiEvent(" & id & ", 0, ...)", "did not send: the port is not open"

' A missing file, and truncated ones: one that still gives a song and one
' that gives none.
Check mf.ReadMidiFile(song, dir & "\missing.mid") = False, "read a missing file"
Expect "TAVRO MidiFile.ReadMidiFile(""" & dir & "\missing.mid"")", "cannot open the file: "
song = Array(Array(Array(0, Array(&H90, 60, 64)), Array(0, Array(255, 47, 0))), _
             Array(Array(0, Array(&H90, 60, 64)), Array(10, Array(&H80, 60, 0)), Array(0, Array(255, 47, 0))))
Check mf.WriteMidiFile(dir & "\whole.mid", song) = True, "write the whole file"
bytes = t.FileRead(dir & "\whole.mid")
Check Len(bytes) = 50, "the whole file has 50 bytes, not " & Len(bytes)
' Track 2's second event starts at byte 42: cut inside it, and inside the
' first track's chunk header.
Check t.FileWrite(dir & "\cut.mid", Left(bytes, 44)), "write the cut file"
Check mf.ReadMidiFile(song, dir & "\cut.mid") = True, "a file cut in its last track still reads"
Expect "TAVRO MidiFile.ReadMidiFile(""" & dir & "\cut.mid"")", "track 2 ends inside an event at byte 42"
Check t.FileWrite(dir & "\short.mid", Left(bytes, 20)), "write the short file"
Check mf.ReadMidiFilePPQ(song, dir & "\short.mid", 0) = 0, "a file cut in its first chunk header"
Expect "TAVRO MidiFile.ReadMidiFilePPQ(""" & dir & "\short.mid"", 0)", "ends inside a chunk header at byte 14"
Check mf.WriteMidiFile(dir & "\whole.mid", Array()) = False, "no overwriting"
Expect "TAVRO MidiFile.WriteMidiFile(""" & dir & "\whole.mid"")", "never overwrites"

' File operations on a missing file: the system's own words.
Check t.FileCopy(dir & "\missing.txt", dir & "\copy.txt", 0) = False, "copy a missing file"
Expect "TAVRO MidiTools.FileCopy(""" & dir & "\missing.txt"", """ & dir & "\copy.txt"", 0)", "(error 2)"
Check t.FileDelete(dir & "\missing.txt") = False, "delete a missing file"
Expect "TAVRO MidiTools.FileDelete(""" & dir & "\missing.txt"")", "(error 2)"
Check t.GetFileSize(dir & "\missing.txt") = 0, "size of a missing file"
Expect "TAVRO MidiTools.GetFileSize(""" & dir & "\missing.txt"")", "(error 2)"

' The window-driving methods and the clipboard, against the test
' application (argument: the Unix path of tools_app.exe).
Dim app
app = "Z:" & Replace(WScript.Arguments(0), "/", "\")
Check t.RunApp(app, app & ".trace.log"), "start the application"
Check t.WaitForegroundWindow("tavro tools test", 30000), "the application comes up"
Check t.SetCurrentHost("TavroToolsApp", ""), "SetCurrentHost"
Check t.CallHostMenu("File\Sav", False) = False, "an unresolved menu path"
Expect "TAVRO MidiTools.CallHostMenu(""File\Sav""", "no item ""Sav"""
Check t.GetControlText(999) = "", "a missing window control"
Expect "TAVRO MidiTools.GetControlText(999", "control"
Check t.CallHostMenu("File\Exit", False), "close the application"
For i = 1 To 200
    If t.GetHostWindowText() = "?" Then Exit For
    t.Sleep 50
Next
Check t.GetHostWindowText() = "?", "the application has gone"
Check t.GetClipboardData("TavroNoSuchFormat") = "", "an absent clipboard format"
Expect "TAVRO MidiTools.GetClipboardData(""TavroNoSuchFormat"")", "no ""TavroNoSuchFormat"" data"

fso.DeleteFolder dir, True
Check Err.Number = 0, "no script error: " & Err.Description
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed

' TAVRO demo: the three controls end to end.
' Run with `make demo` (under Wine), or on Windows after registering
' TAVRO.OCX: cscript //nologo demo.vbs
' Needs: TAVRO.OCX registered for the script host's bitness; nothing else
' (it talks to itself over a virtual port).
Option Explicit
Dim tools, io, smf, failures
failures = 0

Sub Show(label, value)
    WScript.Echo "  " & label & " = " & value
End Sub

Sub Expect(ok, what)
    If Not ok Then
        failures = failures + 1
        WScript.Echo "  UNEXPECTED: " & what
    End If
End Sub

On Error Resume Next
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")
If Err.Number <> 0 Then
    WScript.Echo "TAVRO.OCX is not registered (error " & Err.Number & ")"
    WScript.Quit 1
End If
Set io = CreateObject("TAVRO.MidiIOCtrl.1")
Set smf = CreateObject("TAVRO.MidiFileCtrl.1")
On Error GoTo 0

' ---- MidiTools ----------------------------------------------------------
WScript.Echo "MidiTools"
Dim v
For Each v In Array(0, 64, 127)
    Show "Scale(" & v & ", 0, 127, 0, 100)", tools.Scale(v, 0, 127, 0, 100)
Next
Show "IsLike(""Tavro 07"", ""tavro 0?"")", tools.IsLike("Tavro 07", "tavro 0?")
Show "IsLike(""song.mid"", ""*.txt"")", tools.IsLike("song.mid", "*.txt")
On Error Resume Next
tools.Assert 0
Show "Assert 0 raises", Err.Number & " """ & Err.Description & """"
Expect Err.Number = 2012, "Assert 0 gives 2012"
Err.Clear
On Error GoTo 0
tools.PrintLN "TAVRO demo: this line goes to the debug output"

' ---- MidiIO -------------------------------------------------------------
WScript.Echo "MidiIO ports"
Dim i, n
n = io.GetMidiInPortCount()
Show "input ports", n
For i = 1 To n
    If i <= 3 Or i = n Then WScript.Echo "    in  " & i & ": " & io.GetMidiInPortName(i) & " (kind " & io.GetMidiInPortType(i) & ")"
Next
n = io.GetMidiOutPortCount()
Show "output ports", n
For i = 1 To n
    If i <= 3 Or i = n Then WScript.Echo "    out " & i & ": " & io.GetMidiOutPortName(i) & " (kind " & io.GetMidiOutPortType(i) & ")"
Next

' Loop a note through the first virtual port pair: what output "Tavro 01"
' sends, input "Tavro 01" receives.
Dim inId, outId, note, portID, msgTime, bytes, count
inId = io.FindMidiInPort("tavro 01", 4)
outId = io.FindMidiOutPort("tavro 01", 4)
Show "FindMidiInPort(""tavro 01"", 4)", inId
Show "FindMidiOutPort(""tavro 01"", 4)", outId
If inId > 0 And outId > 0 Then
    Expect io.OpenMidiInPort(inId), "open virtual input"
    Expect io.OpenMidiOutPort(outId), "open virtual output"
    note = Array(&H90, 60, 100)
    Expect io.SendMidiEvent(outId, 0, note), "send a note"
    count = io.GetNextEvent(portID, msgTime, bytes)
    Show "GetNextEvent", count & " bytes from input " & portID & " at " & msgTime & ": " & bytes(0) & " " & bytes(1) & " " & bytes(2)
    Expect count = 3 And bytes(1) = 60, "the note came back"
    io.CloseMidiInPort 0
    io.CloseMidiOutPort 0
Else
    WScript.Echo "  (no virtual ports in this build)"
End If
Show "master clock (0.1 ms)", io.GetMasterClockTime()

' ---- MidiFile -----------------------------------------------------------
WScript.Echo "MidiFile"
Dim fso, path, song, readBack, track, row
Set fso = CreateObject("Scripting.FileSystemObject")
path = fso.BuildPath(fso.GetSpecialFolder(2), "tavro-demo-" & tools.GetTickCount() & ".mid")
' One track: tempo, C major arpeggio of quarter notes at 960 PPQ, end of track.
song = Array(Array( _
    Array(0, Array(255, 81, 3, 7, 161, 32)), _
    Array(0, Array(144, 60, 100)), Array(960, Array(128, 60, 0)), _
    Array(0, Array(144, 64, 100)), Array(960, Array(128, 64, 0)), _
    Array(0, Array(144, 67, 100)), Array(960, Array(128, 67, 0)), _
    Array(0, Array(255, 47, 0))))
Expect smf.WriteMidiFile(path, song), "write " & path
Show "written", path & " (" & fso.GetFile(path).Size & " bytes)"
Show "overwriting refused", Not smf.WriteMidiFile(path, song)
Show "ReadMidiFilePPQ(480)", smf.ReadMidiFilePPQ(readBack, path, 480)
For Each track In readBack
    For Each row In track
        WScript.Echo "    " & row(0) & vbTab & Join3(row(1))
    Next
Next
fso.DeleteFile path

If failures = 0 Then WScript.Echo "Done." Else WScript.Echo failures & " unexpected results."
WScript.Quit failures

' Wine's VBScript has no Join: the message bytes as text.
Function Join3(a)
    Dim s, x
    s = ""
    For Each x In a
        s = s & x & " "
    Next
    Join3 = s
End Function

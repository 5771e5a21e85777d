' TAVRO demo: creates the controls by ProgID and shows the MidiTools basics.
' Run with `make demo` (Wine) or `cscript //nologo demo.vbs` on Windows after
' registering TAVRO.OCX.
Option Explicit
Dim tools, io, smf, t0, failures
failures = 0

Sub Show(label, value)
    WScript.Echo "  " & label & " = " & value
End Sub

On Error Resume Next
Set tools = CreateObject("TAVRO.MidiToolsCtrl.1")
If Err.Number <> 0 Then
    WScript.Echo "TAVRO.OCX is not registered (error " & Err.Number & ")"
    WScript.Quit 1
End If
Set io = CreateObject("TAVRO.MidiIOCtrl.1")
Set smf = CreateObject("TAVRO.MidiFileCtrl.1")
WScript.Echo "Created: " & TypeName(tools) & ", " & TypeName(io) & ", " & TypeName(smf)

WScript.Echo "Scaling a MIDI controller value (0..127) to percent:"
Dim v
For Each v In Array(0, 32, 64, 100, 127)
    Show "Scale(" & v & ", 0, 127, 0, 100)", tools.Scale(v, 0, 127, 0, 100)
Next

WScript.Echo "Wildcards (case ignored):"
Show "IsLike(""Tavro 07"", ""tavro 0?"")", tools.IsLike("Tavro 07", "tavro 0?")
Show "IsLike(""song.MID"", ""*.mid"")", tools.IsLike("song.MID", "*.mid")
Show "IsLike(""song.mid"", ""*.txt"")", tools.IsLike("song.mid", "*.txt")

WScript.Echo "Timing:"
t0 = tools.GetTickCount()
tools.Sleep 250
Show "ticks across Sleep 250", tools.GetTickCount() - t0

WScript.Echo "Errors a script can catch:"
Err.Clear
tools.Assert 0
Show "Assert 0", Err.Number & " """ & Err.Description & """"
If Err.Number <> 2012 Then failures = failures + 1
Err.Clear

tools.PrintLN "TAVRO demo: this line goes to the debug output"
WScript.Echo "Done."
WScript.Quit failures

' Two-process demo, playing side: waits until the recorder listens (it
' sends Active Sensing on Tavro 06), then plays a generated scale on the
' virtual port Tavro 05, timed on the master clock, and ends with Stop.
' Run on Windows after starting vport_record.vbs in another window:
'   cscript //nologo vport_play.vbs   (or: tavrorun vport_play.vbs)
' Needs: vport_record.vbs running in another process, and a host that
' delivers events (Windows cscript or tavrorun; Wine's cscript does not).
Option Explicit
Dim io, inId, outId, listening, t, i, notes, stepTime

Sub Midi_OnMidiEvents()
    Dim port, msgTime, data
    Do While io.GetNextEvent(port, msgTime, data) > 0
        If data(0) = &HFE Then listening = True
    Loop
End Sub

Set io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_")
inId = io.FindMidiInPort("tavro 06", 4)
outId = io.FindMidiOutPort("tavro 05", 4)
If Not io.OpenMidiInPort(inId) Or Not io.OpenMidiOutPort(outId) Then
    WScript.Echo "cannot open the virtual ports"
    WScript.Quit 2
End If
For i = 1 To 300
    If listening Then Exit For
    WScript.Sleep 100
Next
If Not listening Then
    WScript.Echo "player: no recorder"
    WScript.Quit 1
End If
io.CloseMidiInPort inId

' A C major scale, 120 ms a note; the send timer sends each at its time.
notes = Array(60, 62, 64, 65, 67, 69, 71, 72)
stepTime = 1200 ' 0.1 ms units
t = io.GetMasterClockTime() + 2000
io.SendMidiEvent outId, t, Array(&HC0, 0)
For i = 0 To UBound(notes)
    io.SendMidiEvent outId, t + i * stepTime, Array(&H90, notes(i), 100)
    io.SendMidiEvent outId, t + i * stepTime + stepTime - 100, Array(&H80, notes(i), 0)
Next
io.SendMidiEvent outId, t + (UBound(notes) + 1) * stepTime, Array(&HFC)
WScript.Echo "player: " & io.GetMidiOutEventCount(0) & " messages queued on " & io.GetMidiOutPortName(outId)

For i = 1 To 100
    If io.GetMidiOutEventCount(0) = 0 Then Exit For
    WScript.Sleep 50
Next
io.CloseMidiOutPort 0
WScript.Echo "player: done"

// An uncaught error in an OnMidiEvents handler (line 4) ends the script: exit 1.
function Midi_OnMidiEvents() {
    var missing;
    missing.member = io.GetMidiInEventCount(0);
}
var io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_");
io.OpenMidiOutPort(1);
io.OpenMidiInPort(1);
var d = new ActiveXObject("Scripting.Dictionary");
d.Add(0x90, 0); d.Add(60, 1); d.Add(100, 2);
io.SendMidiEvent(1, 0, d.Keys());
WScript.Sleep(30000);
WScript.Quit(99);

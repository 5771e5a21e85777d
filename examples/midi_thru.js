// MIDI thru with transposition in JScript. JScript has no by-reference
// arguments, so GetNextEvent cannot fill variables: the handler reads each
// stored message field by field with GetMidiInEvent and removes it with
// DeleteMidiInEvents; messages to send are built as script arrays by a
// Scripting.Dictionary (a JScript array is not one).
// Run on Windows:  cscript //nologo midi_thru.js [input] [output] [semitones] [seconds]
//   as midi_thru.vbs: port name patterns, default 12 semitones, 600 seconds;
//   a Stop message (FC) at the input ends it earlier.
// Needs: a MIDI input and a MIDI output port, and a host that delivers events
// (Windows cscript or tavrorun; Wine's cscript does not).
var args = WScript.Arguments;
function arg(i, dflt) { return args.length > i ? args(i) : dflt; }

function scriptArray(values) {
    var d = new ActiveXObject("Scripting.Dictionary");
    for (var i = 0; i < values.length; i++)
        d.Add(i, values[i]);
    return d.Items();
}

function hex(values) {
    var s = [];
    for (var i = 0; i < values.length; i++)
        s.push((values[i] < 16 ? "0" : "") + values[i].toString(16).toUpperCase());
    return s.join(" ");
}

var io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_");
var inId = io.FindMidiInPort(arg(0, "*"), 0), outId = io.FindMidiOutPort(arg(1, "*"), 0);
var shift = parseInt(arg(2, "12"), 10), seconds = parseInt(arg(3, "600"), 10);
var stopped = false, passed = 0;

// Connected to the control's OnMidiEvents by the prefix "Midi_".
function Midi_OnMidiEvents() {
    while (io.GetMidiInEventCount(0) > 0) {
        var n = io.GetMidiInEvent(0, 3, 0), data = [];   // type 3: byte count
        for (var i = 0; i < n; i++)
            data.push(io.GetMidiInEvent(0, 4, i));         // type 4: byte i
        io.DeleteMidiInEvents(0, 1);
        if (n == 0) continue;
        var before = hex(data), status = data[0] & 0xF0;
        if (n == 3 && status >= 0x80 && status <= 0xA0 && data[1] + shift >= 0 && data[1] + shift <= 127)
            data[1] += shift;
        if (data[0] == 0xFC) stopped = true;
        io.SendMidiEvent(outId, 0, scriptArray(data));
        passed++;
        WScript.Echo(before + " -> " + hex(data));
    }
}

if (inId == 0 || outId == 0) {
    WScript.Echo("no such port (see ports_list.vbs)");
    WScript.Quit(2);
}
if (!io.OpenMidiInPort(inId) || !io.OpenMidiOutPort(outId)) {
    WScript.Echo("cannot open the ports");
    WScript.Quit(2);
}
WScript.Echo("thru: " + io.GetMidiInPortName(inId) + " -> " + io.GetMidiOutPortName(outId) + ", " + shift + " semitones");
for (var t = 0; t < seconds * 10 && !stopped; t++)
    WScript.Sleep(100);
io.CloseMidiInPort(0);
io.CloseMidiOutPort(0);
WScript.Echo("thru: " + passed + " messages passed");

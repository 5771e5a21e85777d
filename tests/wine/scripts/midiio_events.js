// MidiIO events in JScript under tavrorun. JScript has no by-reference
// arguments: the handler reads the store with GetMidiInEvent and
// DeleteMidiInEvents, and message arrays come from a Dictionary's keys.
var failures = 0, received = "", ticks = 0;

function check(ok, what, actual) {
    if (!ok) {
        WScript.Echo("FAIL: " + what + " (got: " + actual + ")");
        failures++;
    }
}

// A script array (VT_ARRAY | VT_VARIANT) of distinct numbers.
function message(values) {
    var d = new ActiveXObject("Scripting.Dictionary");
    for (var i = 0; i < values.length; i++)
        d.Add(values[i], i);
    return d.Keys();
}

function Midi_OnMidiEvents() {
    var count = io.GetMidiInEventCount(0);
    for (var e = 0; e < count; e++) {
        var bytes = [io.GetMidiInEvent(e, 2, 0) + ":"];
        for (var i = 0; i < io.GetMidiInEvent(e, 3, 0); i++)
            bytes.push(io.GetMidiInEvent(e, 4, i));
        received += bytes.join(" ") + ";";
    }
    io.DeleteMidiInEvents(0, count);
}

function Midi_OnTimer() {
    if (++ticks == 3)
        io.KillTimer();
}

var io = WScript.CreateObject("TAVRO.MidiIOCtrl.1", "Midi_");
check(io.OpenMidiOutPort(1) === true && io.OpenMidiInPort(1) === true, "open cable 1", "");
check(io.SendMidiEvent(1, 0, message([0x90, 60, 100])) === true, "send now", "");
check(io.SendMidiEvent(1, io.GetMasterClockTime() + 1000, message([0xF0, 0x7D, 0x11, 0xF7])) === true,
      "send in 100 ms", "");
for (var n = 0; n < 500 && received.length < 28; n++)
    WScript.Sleep(20);
check(received == "1: 144 60 100;1: 240 125 17 247;", "the handler read both messages", received);
check(io.GetMidiInEventCount(0) == 0, "the handler emptied the store", io.GetMidiInEventCount(0));

check(io.CreateTimer(30) === true, "CreateTimer(30)", "");
for (var n = 0; n < 500 && ticks < 3; n++)
    WScript.Sleep(20);
WScript.Sleep(200);
check(ticks == 3, "KillTimer inside OnTimer stops the ticks", ticks);
WScript.Quit(failures);

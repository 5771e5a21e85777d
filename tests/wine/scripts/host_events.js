// Events of the test event source reach JScript functions named prefix +
// event name, with their arguments; posted events arrive only while
// WScript.Sleep dispatches messages; DisconnectObject stops them. Several
// objects and the class-info fallback are in host_events.vbs.
var failures = 0;
var ticks = 0, tickText = "", later = 0, laterOrder = "";

function check(ok, what, actual) {
    if (!ok) {
        WScript.Echo("FAIL: " + what + " (got: " + actual + ")");
        failures++;
    }
}

function Src_OnTick(index, text) {
    ticks++;
    check(index == ticks, "OnTick indexes count from 1", index);
    tickText += text;
    src.Poke(index); // a handler may call back into the object
}
function Src_OnLater(index) {
    later++;
    laterOrder += index;
}

// Sleeps in short steps until `count` OnLater events arrived (20 s at most).
function waitForLater(count) {
    for (var n = 0; n < 400 && later < count; n++)
        WScript.Sleep(50);
}

var src = WScript.CreateObject("TavroTest.EventSource", "Src_");
src.FireNow(3, "ab");
check(ticks == 3, "FireNow 3 raises OnTick 3 times", ticks);
check(tickText == "ababab", "OnTick receives the text", tickText);
check(src.Total() == 6, "handlers poked 1 + 2 + 3", src.Total());

src.FireLater(2);
check(later == 0, "posted events wait until the host dispatches messages", later);
waitForLater(2);
check(later == 2, "Sleep delivers the posted events", later);
check(laterOrder == "12", "posted events arrive in order", laterOrder);

WScript.DisconnectObject(src);
src.FireNow(2, "x");
src.FireLater(1);
WScript.Sleep(200);
check(ticks == 3, "no OnTick after DisconnectObject", ticks);
check(later == 2, "no OnLater after DisconnectObject", later);

WScript.Quit(failures);

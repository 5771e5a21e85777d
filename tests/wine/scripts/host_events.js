// Events of the test event source reach JScript functions named prefix +
// event name, with their arguments; posted events arrive only while
// WScript.Sleep dispatches messages; DisconnectObject stops them.
var failures = 0;
var ticks = 0, tickText = "", later = 0, laterOrder = "";
var aTicks = 0, aText = "", bTicks = 0, bText = "";

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
function A_OnTick(index, text) { aTicks++; aText += text; }
function B_OnTick(index, text) { bTicks++; bText += text; }

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

// Two objects, two prefixes; the second one offers no IProvideClassInfo2.
var a = WScript.CreateObject("TavroTest.EventSource", "A_");
var b = new ActiveXObject("TavroTest.EventSourceClassInfo");
WScript.ConnectObject(b, "B_");
a.FireNow(2, "a");
b.FireNow(3, "b");
a.FireLater(1); // A_OnLater does not exist: the event is ignored
WScript.Sleep(100);
check(aTicks == 2 && aText == "aa", "object A raises its events to A_ handlers", aTicks + " " + aText);
check(bTicks == 3 && bText == "bbb", "object B raises its events to B_ handlers", bTicks + " " + bText);
check(ticks == 3, "Src_ handlers see no events of A and B", ticks);

WScript.Quit(failures);

// An error in an event handler (line 4) ends a long Sleep with exit code 1.
function Src_OnLater(index) {
    var missing = null;
    missing.member = index;
}
var src = WScript.CreateObject("TavroTest.EventSource", "Src_");
src.FireLater(1);
WScript.Sleep(60000);
WScript.Quit(99);

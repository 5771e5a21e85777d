// tavrorun basics from JScript: Echo, Arguments, script names, errors of
// the WScript methods. Run with the arguments: one "two words" 3
var failures = 0;
function check(ok, what, actual) {
    if (!ok) {
        WScript.Echo("FAIL: " + what + " (got: " + actual + ")");
        failures++;
    }
}
function errorOf(f) {
    try { f(); } catch (e) { return e.number & 0xFFFF || e.number || -1; }
    return 0;
}

WScript.Echo("alpha", 42, "beta");

var args = WScript.Arguments;
check(args.Count() == 3 && args.length == 3, "Arguments.Count() and length", args.length);
check(args(0) == "one" && WScript.Arguments(1) == "two words" && args.Item(2) == "3", "Arguments(i)", args(1));
check(WScript.ScriptName == "host_basics.js", "ScriptName", WScript.ScriptName);
var full = WScript.ScriptFullName.toLowerCase();
check(full.substr(full.length - 15) == "\\host_basics.js", "ScriptFullName", WScript.ScriptFullName);

var n = errorOf(function () { return args(3); });
check(n == 9, "Arguments(3) raises subscript out of range (9)", n);
n = errorOf(function () { return WScript.CreateObject("TavroTest.NoSuchProgId"); });
check(n != 0, "CreateObject of an unknown ProgID raises an error", n);
n = errorOf(function () { WScript.ConnectObject(args, "Args_"); });
check(n != 0, "ConnectObject of an object without events raises an error", n);
n = errorOf(function () { WScript.Sleep(0); WScript.Sleep(-5); });
check(n == 0, "Sleep(0) and Sleep(-5) return", n);

WScript.Quit(failures);

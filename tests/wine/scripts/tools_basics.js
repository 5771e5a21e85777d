// MidiTools basics from JScript under cscript: creation, results, errors.
var passed = 0, failed = 0;
function check(ok, what) {
    if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + what); }
}

var ids = ["TAVRO.MidiIOCtrl.1", "TAVRO.MidiFileCtrl.1", "TAVRO.MidiToolsCtrl.1"];
for (var i = 0; i < ids.length; i++) {
    try {
        var o = new ActiveXObject(ids[i]);
        check(typeof o == "object" && o != null, "create " + ids[i]);
    } catch (e) {
        check(false, "create " + ids[i] + ": " + e.number + " " + e.description);
    }
}

var t = null;
try { t = new ActiveXObject("TAVRO.MidiToolsCtrl.1"); } catch (e) { }
check(t != null, "MidiTools object");
if (t != null) {
    try {
        check(t.Scale(0.25, 0, 1, 0, 10) === 3, "Scale rounds half away from zero");
        check(t.Scale(-0.25, 0, 1, 0, 10) === -3, "Scale negative");
        check(t.Scale(3, 4, 4, 2.9, 100) === 2, "Scale degenerate range");
        check(t.IsLike("ABC", "a*C") === true, "IsLike true is a boolean true");
        check(t.IsLike("abc", "a?") === false, "IsLike false");
        check(typeof t.ShowEditor(true) == "boolean", "BOOL result is boolean");
        check(typeof t.GetTickCount() == "number", "GetTickCount is a number");
    } catch (e) {
        check(false, "unexpected error " + e.number + " " + e.description);
    }

    var errors = [
        [function () { t.Assert(0); }, "Assertion Failed"],
        [function () { t.TerminateScriptNOW(); }, "Programm Stopped by TerminateScriptNOW() function"]
    ];
    for (var k = 0; k < errors.length; k++) {
        var caught = null;
        try { errors[k][0](); } catch (e) { caught = e; }
        check(caught != null, "error raised: " + errors[k][1]);
        if (caught != null) {
            check((caught.number & 0xFFFF) == 2012, "error number " + (caught.number & 0xFFFF));
            check(caught.description == errors[k][1], "error text " + caught.description);
        }
    }
    var noError = true;
    try { t.Assert(5); } catch (e) { noError = false; }
    check(noError, "Assert(5) passes");
}

WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);

// MidiTools driving the test application from another process: foreground
// waits, menus read through the application's thread, the dialog's controls
// with their notifications (read back from the application's log), records
// passed by pointer, a hung application, and failure results instead of errors. Argument: the Unix path of tools_app.exe.
var passed = 0, failed = 0;
function check(ok, what) {
    if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + what); }
}
function same(actual, expected, what) {
    check(actual === expected, what + ": got [" + actual + "] expected [" + expected + "]");
}
var t = new ActiveXObject("TAVRO.MidiToolsCtrl.1");
var app = "Z:" + WScript.Arguments(0).replace(/\//g, "\\");
var logFile = app + ".log";
t.FileDelete(logFile);
// The application's log, waiting up to 10 s for `line` to appear in it.
function logHas(line) {
    for (var i = 0; i < 200 && t.FileRead(logFile).indexOf(line + "\n") < 0; i++) t.Sleep(50);
    return t.FileRead(logFile).indexOf(line + "\n") >= 0;
}

try {
    same(t.WaitForegroundWindow("tavro tools test", 0), false, "no look with no time");
    check(t.RunApp(app, logFile), "start the application");
    same(t.WaitForegroundWindow("tavro tools test", 30000), true, "the application comes up");
    same(t.WaitForegroundWindow("TAVRO Tools", 100), false, "part of a title is no match");
    var start = t.GetTickCount();
    same(t.WaitForegroundWindowChanged("TAVRO TOOLS TEST", 120), false, "no change");
    check(t.GetTickCount() - start >= 140, "three looks of 50 ms");
    same(t.GetForegroundClassName(), "TavroToolsApp", "foreground class");

    // Menus of another process.
    same(t.SetCurrentHost("TavroToolsApp", ""), true, "SetCurrentHost");
    same(t.GetMenusFromHost("view"), "\"View\\Recent\\Alpha\"\r\n\"View\\Recent\\Beta\"\r\n", "listing filled on opening");
    same(t.GetHostSubMenuCount("File"), 10, "items of File");
    same(t.IsHostMenuChecked("file\\checked"), true, "checked item");
    same(t.IsHostMenuEnabled("File\\Disabled"), false, "disabled item");
    same(t.CallHostMenu("File\\Refuse", true), false, "the host answered 1");
    same(t.CallHostMenu("File\\New", true), true, "the host answered 0");
    check(logHas("COMMAND 208 0"), "sent command arrived");
    same(t.CallHostMenu("Tools\\Controls", false), true, "post the dialog command");
    same(t.WaitForegroundWindow("Controls", 10000), true, "the dialog comes up");

    // The dialog: one control of each type, the edit has the focus.
    var rows = [["PushButton", 0, "&Apply"], ["PushButton", 1, "Apply..."], ["CheckBox", 1, "Check"],
        ["RadioButton", 1, "Radio"], ["3StateButton", 1, "Three"], ["GroupBox", 1, "Group"],
        ["EditSingle", 1, ""], ["EditMulti", 1, ""], ["ListBoxSingleSel", 1, ""],
        ["ListBoxMultiSel", 1, ""], ["ComboSimple", 1, ""], ["ComboDropDown", 1, ""],
        ["ComboDropList", 1, ""], ["ScrollBarH", 1, ""], ["ScrollBarV", 1, ""], ["Static", 1, "Label"],
        ["RichEdit", 1, "rich"], ["TabControl", 1, ""], ["TreeView", 1, ""], ["ListView", 1, ""],
        ["TavroPanel", 1, ""], ["ListBoxSingleSel", 1, ""], ["EditSingle", 1, ""]];
    var listing = "\r\n0\t#32770\tControls\r\nIndex\tCtrlType\tEnabled\tVisible\tText(partial)\r\n";
    for (var i = 0; i < rows.length; i++) {
        var n = i + 1;
        listing += (n == 7 ? "[7]*" : n) + "\t" + rows[i][0] + (rows[i][1] ? "\tTrue" : "\tFalse") + "\tTrue\t" + rows[i][2] + "\r\n";
        same(t.GetControlType(n), rows[i][0], "type of control " + n);
    }
    same(t.EnumControls(), listing, "EnumControls");
    same(t.GetControlText(16), "Label\r\nsecond", "whole text");
    same(t.GetControlClass(17), "RICHEDIT50W", "class");
    check(t.EnumAllControls().indexOf("\r\n21)\tTavroPanel\r\nIndex\tCtrlType\tEnabled\tVisible\tText(partial)\r\n" +
        "1\tPushButton\tTrue\tTrue\tInner\r\n2\tStatic\tTrue\tTrue\tinner text\r\n") > 0, "EnumAllControls panel");
    // No control: indexes 0, negative and too large.
    var none = [0, -1, 99];
    for (var i = 0; i < none.length; i++) {
        var k = none[i];
        same(t.GetControlText(k) + t.GetControlType(k) + t.GetControlItemText(k, 0), "", "texts of " + k);
        same(t.IsControlEnabled(k) || t.IsControlVisible(k) || t.SetControlText(k, "x"), false, "states of " + k);
        same(t.GetControlItemData(k, 3) + t.SetControlCurSel(k, 1) + t.GetControlCheckState(k), 0, "numbers of " + k);
    }
    same(t.GetNumControls(99), 0, "children of no control");
    same(t.GetNumControls(0), 23, "children of the dialog");

    // Changes notify the dialog as a user's would.
    same(t.ClickButton("apply"), true, "click the enabled twin");
    check(logHas("COMMAND 102 0"), "click arrived");
    same(t.ClickButton("Nothing"), false, "no such button");
    same(t.SetControlText(7, "hello"), true, "SetControlText");
    check(logHas("COMMAND 107 768"), "edit change notified");
    same(t.SetControlCheckState(3, 3), false, "check state 3");
    same(t.SetControlCheckState(5, 2), true, "indeterminate");
    same(t.GetControlCheckState(5), 2, "indeterminate read back");
    check(logHas("COMMAND 105 0"), "check notified");
    same(t.GetControlCurSel(9), -1, "no selection");
    same(t.SetControlCurSel(9, 1), 1, "select in a list");
    same(t.GetControlCurSel(9) + ":" + t.GetControlItemText(9, 2) + ":" + t.GetControlItemData(9, 1), "1:three:20", "list");
    check(logHas("COMMAND 109 1"), "selection notified");
    same(t.GetControlItemText(9, 7), "", "item past the end");
    same(t.GetControlCurSel(10) + ":" + t.SetControlCurSel(10, 1) + ":" + t.GetControlItemsCount(10), "0:-1:2", "multiple selection");
    same(t.GetControlItemText(10, 1) + t.GetControlItemData(10, 1), "b6", "multiple-selection items");
    for (var c = 11; c <= 13; c++) {
        same(t.SetControlCurSel(c, 1) + ":" + t.GetControlCurSel(c) + ":" + t.GetControlItemsCount(c) + ":" +
            t.GetControlItemText(c, 0) + ":" + t.GetControlItemData(c, 1), "1:1:2:m:8", "combo " + c);
    }
    same(t.GetControlItemData(7, 5), 5, "item data of an edit");
    // Extended selection (0x800) types as single selection; the list refuses LB_SETCURSEL.
    same(t.GetControlItemsCount(22) + ":" + t.GetControlItemText(22, 1) + ":" + t.SetControlCurSel(22, 1), "2:two:-1", "extended selection");
    check(logHas("COMMAND 122 1"), "extended selection notified");
    // Records passed by pointer live in the application's memory.
    same(t.GetControlItemsCount(18) + ":" + t.GetControlItemText(18, 1) + ":" + t.GetControlItemText(18, 5), "2:Second:", "tab texts");
    same(t.SetControlCurSel(18, 1) + ":" + t.GetControlCurSel(18), "77:1", "tab selection");
    check(logHas("NOTIFY 118 -551"), "tab selection notified");
    same(t.GetControlItemsCount(20) + ":" + t.GetControlItemText(20, 0) + ":" + t.GetControlItemText(20, 1), "2:a\t\tc:b\tc", "list-view rows");
    // What a control holds, not the caption it was created with.
    same(t.GetControlText(23), "changed", "edit changed by the application");
    same(t.SetControlText(23, "set") && t.GetControlText(23), "set", "edit set and read back");
    same(t.SetControlText(16, "Label2") && t.GetControlText(16), "Label2", "text of a static");
    check(logHas("COMMAND 116 768"), "the change notification comes from the method");
    // A hung application: a reading query gives its failure result before
    // the application answers again (it stalls for longer than the bound).
    same(t.CallHostMenu("Tools\\Stall", false), true, "stall the application");
    check(logHas("COMMAND 302 0"), "the application stalls");
    same(t.GetControlItemsCount(9), 0, "no answer from a hung application");
    for (var i = 0; i < 50 && t.GetControlItemsCount(9) != 3; i++) t.Sleep(100);
    same(t.GetControlItemsCount(9), 3, "the application answers again");
    same(t.SetControlWindow(21) && t.GetNumControls(0) == 2 && t.GetControlText(1) == "Inner", true, "into the panel");
    same(t.SetControlWindow(0) && t.GetNumControls(0) == 23, true, "back to the dialog");
    check(t.GetMouseControl().indexOf("\t") >= 0 || t.GetMouseControl() === "", "GetMouseControl");
    same(t.MsgListBox("a", "b", "c", "d", true, true), "", "MsgListBox");
    same(t.GetControlText("x") + t.IsHostMenuEnabled(null), "true", "wrong types give failure results (-1: not found)");

    same(t.SetControlFocus(2), true, "focus moves");

    // The host goes away.
    same(t.SetHostToForeground(), true, "host forward");
    same(t.GetForegroundWindowName(), "TAVRO Tools Test", "host is the foreground window");
    same(t.CallHostMenu("File\\Exit", false), true, "exit");
    for (var i = 0; i < 100 && t.GetHostWindowText() != "?"; i++) t.Sleep(50);
    same(t.GetHostWindowText(), "?", "no host after it closed");
    same(t.IsHostMenu("File"), false, "no menus after it closed");
} catch (e) {
    check(false, "unexpected error " + e.number + " " + e.description);
}
t.FileDelete(logFile);
WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);

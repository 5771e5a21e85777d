// WScript.Quit ends the run at once with its code, even inside try.
try {
    WScript.Quit(5);
} catch (e) {
}
WScript.Quit(99);

// An uncaught runtime error on line 4 ends the run with exit code 1.
var x = null;
WScript.Echo("running");
x.member = 1;
WScript.Quit(99);

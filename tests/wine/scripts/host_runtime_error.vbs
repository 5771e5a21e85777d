' An uncaught runtime error on line 5 ends the run with exit code 1.
Dim x
x = 1
WScript.Echo "running"
x = x + "not a number"
WScript.Quit 99

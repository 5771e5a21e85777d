' A syntax error on line 4 ends the run before anything runs.
Dim x
WScript.Quit 99
x = (1 +

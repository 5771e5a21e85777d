// The test application of the window-driving methods, run as its own
// process (tools_app.exe) or created inside a test.
#pragma once

#include <windows.h>

#include <string>

namespace toolsapp {

// Every WM_COMMAND and WM_NOTIFY the windows received, one line each:
// "COMMAND <id> <code>" or "NOTIFY <id> <code>".
extern std::string log;

// The main window "TAVRO Tools Test" (class "TavroToolsApp") with its menu;
// lines of the log are also appended to `logFile` when it is not empty.
HWND CreateMainWindow(const std::string& logFile);
// The "Controls" dialog, owned by `owner`.
HWND CreateControlsDialog(HWND owner);

} // namespace toolsapp

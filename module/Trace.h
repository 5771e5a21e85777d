// The diagnostic trace: one line per failure result, sent to the debug output
// when TAVRO_TRACE=1 is in the environment or HKCU\Software\TAVRO\Trace is 1.
// Off by default; then a failure path costs one branch and builds no text.
#pragma once

#include <windows.h>

#include <string>

namespace tavro {

// Whether the trace is on; read once, at the first call.
bool TraceOn();

// Writes "TAVRO <control>.<method>(<args>): <reason>" and a line end to the
// debug output.
void TraceWrite(const char* control, const char* method, const std::string& args,
                const std::string& reason);

// A script text as the trace shows it: in double quotes.
std::string TraceQuote(const std::string& text);

// The system's text for a Win32 error code (FormatMessage), without the line
// end, followed by the code: "Access is denied. (error 5)".
std::string ErrorText(DWORD error);
inline std::string LastErrorText() { return ErrorText(GetLastError()); }

} // namespace tavro

// Traces one failure; the argument and reason expressions are evaluated only
// while the trace is on.
#define TAVRO_TRACE(control, method, args, reason)                               \
    do {                                                                         \
        if (::tavro::TraceOn())                                                  \
            ::tavro::TraceWrite((control), (method), (args), (reason));          \
    } while (0)

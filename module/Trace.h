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
void TraceWrite(const char* control, const char* method, const std::string& args, const std::string& reason);

// A script text as the trace shows it: in double quotes.
std::string TraceQuote(const std::string& text);

// The system's text for a Win32 error code (FormatMessage), without the line
// end, followed by the code: "Access is denied. (error 5)".
std::string ErrorText(DWORD error);
inline std::string LastErrorText()
{
    return ErrorText(GetLastError());
}
// An HRESULT in hex with the system's text when it has one:
// "0x80070005 Access is denied.".
std::string HresultText(HRESULT hr);

// A lower layer (a port, a file stream) notes why it failed for the caller
// that traces the result: per thread, like GetLastError, so a port called on
// the send timer's thread cannot overwrite the script thread's note.
void NoteFailure(const std::string& reason);
// This thread's note (which is then cleared), or `fallback` without one.
std::string TakeFailure(const char* fallback);

} // namespace tavro

// Notes a lower layer's failure reason while the trace is on.
#define TAVRO_NOTE(reason)                                                                                             \
    do {                                                                                                               \
        if (::tavro::TraceOn())                                                                                        \
            ::tavro::NoteFailure(reason);                                                                              \
    } while (0)

// Traces one failure; the argument and reason expressions are evaluated only
// while the trace is on.
#define TAVRO_TRACE(control, method, args, reason)                                                                     \
    do {                                                                                                               \
        if (::tavro::TraceOn())                                                                                        \
            ::tavro::TraceWrite((control), (method), (args), (reason));                                                \
    } while (0)

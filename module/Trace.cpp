// The diagnostic trace's switch and its one output routine.
#include "module/Trace.h"

#include <cstdlib>
#include <cstring>

namespace tavro {

namespace {

// Plain characters, no destructor: a thread-local with one would need
// clean-up at thread exit, also after the module is unloaded.
thread_local char t_note[512];

bool ReadTraceSetting()
{
    char value[8] = {};
    DWORD n = GetEnvironmentVariableA("TAVRO_TRACE", value, sizeof value);
    if (n > 0 && n < sizeof value)
        return std::strcmp(value, "1") == 0;
    DWORD data = 0, size = sizeof data;
    return RegGetValueW(HKEY_CURRENT_USER, L"Software\\TAVRO", L"Trace", RRF_RT_REG_DWORD, nullptr, &data, &size) ==
               ERROR_SUCCESS &&
           data == 1;
}

} // namespace

bool TraceOn()
{
    // The first call comes from a failure path whose error is still to be
    // read: reading the setting must not change it.
    static const bool on = [] {
        const DWORD error = GetLastError();
        const bool set = ReadTraceSetting();
        SetLastError(error);
        return set;
    }();
    return on;
}

void TraceWrite(const char* control, const char* method, const std::string& args, const std::string& reason)
{
    std::string line = "TAVRO ";
    line += control;
    line += '.';
    line += method;
    line += '(';
    line += args;
    line += "): ";
    line += reason;
    line += "\r\n";
    OutputDebugStringA(line.c_str());
}

std::string TraceQuote(const std::string& text)
{
    return '"' + text + '"';
}

std::string ErrorText(DWORD error)
{
    char* buffer = nullptr;
    DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer ? buffer : "", n);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "system error";
    return text + " (error " + std::to_string(error) + ")";
}

std::string HresultText(HRESULT hr)
{
    char hex[16];
    wsprintfA(hex, "0x%08lX", static_cast<unsigned long>(hr));
    char* buffer = nullptr;
    DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer ? buffer : "", n);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? hex : std::string(hex) + " " + text;
}

void NoteFailure(const std::string& reason)
{
    const size_t n = reason.size() < sizeof t_note - 1 ? reason.size() : sizeof t_note - 1;
    reason.copy(t_note, n);
    t_note[n] = '\0';
}

std::string TakeFailure(const char* fallback)
{
    std::string note = t_note[0] ? t_note : fallback;
    t_note[0] = '\0';
    return note;
}

} // namespace tavro

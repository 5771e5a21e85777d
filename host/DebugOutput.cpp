// The debugger loop of tavrorun //debug. Being the script's debugger, rather
// than a listener on the machine-wide debug-output buffer, shows exactly this
// script's output, also while another monitor runs.
#include "host/DebugOutput.h"

#include "host/Console.h"

#include <windows.h>

#include <cstring>

namespace tavro::host {

namespace {

// One argument quoted so that the child's CommandLineToArgvW gives it back.
std::wstring Quote(const std::wstring& arg)
{
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote (and before the closing one) are doubled.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

void WriteDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info, const char* only)
{
    const size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
    std::string bytes(info.nDebugStringLength * unit, '\0');
    SIZE_T read = 0;
    ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size(), &read);
    bytes.resize(read);
    if (info.fUnicode) {
        std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / unit);
        const int n =
            WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        bytes.assign(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, nullptr, nullptr);
    }
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    if (only && bytes.compare(0, std::strlen(only), only) != 0)
        return;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

int RunWithDebugOutput(const std::vector<std::wstring>& args, const char* only)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = Quote(self);
    for (const std::wstring& arg : args)
        commandLine += L" " + Quote(arg);

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                        &si, &pi)) {
        WriteLine(STD_ERROR_HANDLE, L"tavrorun: cannot start the script process");
        return 1;
    }
    DWORD exitCode = 1;
    for (;;) {
        DEBUG_EVENT ev = {};
        if (!WaitForDebugEvent(&ev, INFINITE))
            break;
        // Exceptions go back to the script process, which handles them or dies.
        DWORD status = ev.dwDebugEventCode == EXCEPTION_DEBUG_EVENT ? DBG_EXCEPTION_NOT_HANDLED : DBG_CONTINUE;
        if (ev.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT)
            WriteDebugString(pi.hProcess, ev.u.DebugString, only);
        else if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT)
            CloseHandle(ev.u.CreateProcessInfo.hFile);
        else if (ev.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT)
            CloseHandle(ev.u.LoadDll.hFile);
        else if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            exitCode = ev.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
        if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(exitCode);
}

} // namespace tavro::host

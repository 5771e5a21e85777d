// Print, PrintLN and Cls reach the system debug output: a script runs under
// this test acting as its debugger, which collects every debug string.
#include "module/ComUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring TempScript(const std::string& text)
{
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"dbg", 0, path);
    std::wstring script = std::wstring(path) + L".vbs";
    DeleteFileW(path);
    std::ofstream(tavro::ToAnsi(script.c_str(), script.size()), std::ios::binary) << text;
    return script;
}

// Runs `commandLine` as a debuggee and returns the debug strings it wrote.
std::vector<std::string> CaptureDebugOutput(std::wstring commandLine)
{
    std::vector<std::string> strings;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start the script host: " << GetLastError();
        return strings;
    }
    const DWORD deadline = GetTickCount() + 120000;
    for (;;) {
        DEBUG_EVENT ev = {};
        if (!WaitForDebugEvent(&ev, 1000)) {
            if (GetTickCount() > deadline) {
                ADD_FAILURE() << "script host did not finish";
                TerminateProcess(pi.hProcess, 1);
                break;
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        if (ev.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT && !ev.u.DebugString.fUnicode) {
            const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
            std::string text(info.nDebugStringLength, '\0');
            SIZE_T read = 0;
            ReadProcessMemory(pi.hProcess, info.lpDebugStringData, text.data(), text.size(), &read);
            text.resize(read);
            if (!text.empty() && text.back() == '\0')
                text.pop_back();
            strings.push_back(text);
        } else if (ev.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            status = DBG_EXCEPTION_NOT_HANDLED;
        } else if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            CloseHandle(ev.u.CreateProcessInfo.hFile);
        } else if (ev.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            CloseHandle(ev.u.LoadDll.hFile);
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
        if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && ev.dwProcessId == pi.dwProcessId)
            break;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return strings;
}

TEST(DebugOutput, PrintPrintLnAndClsWriteExactTexts)
{
    std::wstring script = TempScript(
        "Set t = CreateObject(\"TAVRO.MidiToolsCtrl.1\")\r\n"
        "t.Print \"<begin>\"\r\n"
        "t.Print \"plain text\"\r\n"
        "t.PrintLN \"a line\"\r\n"
        "t.PrintLN \"\"\r\n"
        "t.Cls\r\n"
        "t.Print \"tab\" & Chr(9) & \"end\"\r\n"
        "t.Print \"<end>\"\r\n");
    std::vector<std::string> all = CaptureDebugOutput(L"cscript.exe //nologo \"" + script + L"\"");
    DeleteFileW(script.c_str());

    // Only what the script wrote between its markers; the system may add
    // strings of its own around them.
    std::vector<std::string> written;
    bool inside = false;
    for (const std::string& s : all) {
        if (s == "<end>")
            inside = false;
        if (inside)
            written.push_back(s);
        if (s == "<begin>")
            inside = true;
    }
    std::string tenLineBreaks;
    for (int i = 0; i < 10; ++i)
        tenLineBreaks += "\r\n";
    const std::vector<std::string> expected = {"plain text", "a line\r\n", "\r\n", tenLineBreaks, "tab\tend"};
    EXPECT_EQ(written, expected) << "captured " << all.size() << " strings in all";
}

} // namespace

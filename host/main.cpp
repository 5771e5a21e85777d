// tavrorun: runs a VBScript (.vbs) or JScript (.js) file with a WScript
// object that connects COM events to the script and pumps window messages.
#include "host/Console.h"
#include "host/DebugOutput.h"
#include "host/ScriptHost.h"

#include <objbase.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kUsage[] = L"usage: tavrorun [//nologo] [//debug] [//trace] script.vbs|script.js [arguments...]";

// The file as text: UTF-16 or UTF-8 when it starts with a byte order mark,
// the ANSI code page otherwise.
bool ReadScript(const std::wstring& path, std::wstring* text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    if (!ok)
        return false;

    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text->assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return true;
    }
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        codePage = CP_UTF8;
        skip = 3;
    }
    const int length = static_cast<int>(bytes.size() - skip);
    const int n = length ? MultiByteToWideChar(codePage, 0, bytes.data() + skip, length, nullptr, 0) : 0;
    text->assign(static_cast<size_t>(n), L'\0');
    if (n)
        MultiByteToWideChar(codePage, 0, bytes.data() + skip, length, text->data(), n);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Host options come before the script; everything after it is the script's.
    int first = 1;
    bool debugOutput = false;
    bool trace = false;
    for (; first < argc && argv[first][0] == L'/' && argv[first][1] == L'/'; ++first) {
        if (_wcsicmp(argv[first], L"//debug") == 0) {
            debugOutput = true;
        } else if (_wcsicmp(argv[first], L"//trace") == 0) {
            trace = true;
        } else if (_wcsicmp(argv[first], L"//nologo") != 0) {
            tavro::host::WriteLine(STD_ERROR_HANDLE, std::wstring(L"tavrorun: unknown option ") + argv[first]);
            tavro::host::WriteLine(STD_ERROR_HANDLE, kUsage);
            return 1;
        }
    }
    if (first >= argc) {
        tavro::host::WriteLine(STD_ERROR_HANDLE, kUsage);
        return 1;
    }
    if (debugOutput || trace) {
        // The controls read the switch when the module loads, in the child,
        // which inherits this environment.
        if (trace)
            SetEnvironmentVariableW(L"TAVRO_TRACE", L"1");
        std::vector<std::wstring> args;
        for (int i = 1; i < argc; ++i)
            if (i >= first || (_wcsicmp(argv[i], L"//debug") != 0 && _wcsicmp(argv[i], L"//trace") != 0))
                args.push_back(argv[i]);
        // //trace alone shows the trace lines only, not the script's Print output.
        return tavro::host::RunWithDebugOutput(args, debugOutput ? nullptr : "TAVRO ");
    }
    const std::wstring path = argv[first];
    std::wstring code;
    if (!ReadScript(path, &code)) {
        tavro::host::WriteLine(STD_ERROR_HANDLE, L"tavrorun: cannot read " + path);
        return 1;
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        tavro::host::WriteLine(STD_ERROR_HANDLE, L"tavrorun: cannot initialise COM");
        return 1;
    }
    int exitCode = 1;
    {
        tavro::ComPtr<tavro::host::ScriptHost> host(
            new tavro::host::ScriptHost(path, std::vector<std::wstring>(argv + first + 1, argv + argc)));
        host->Release(); // the ComPtr holds the creation reference now
        exitCode = host->Run(code);
    }
    CoUninitialize();
    return exitCode;
}

// Test helper of the MidiTools test. Started by RunApp: writes its own command
// line to the file named by TAVRO_PROBE_OUT (complete before the name appears).
// "hold <ms> <event>": holds the clipboard open for <ms> ms, as clipboard
// history or a remote-desktop session does after each change, and sets the
// named event once it holds it.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
        HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
        if (!held || !OpenClipboard(nullptr))
            return 4;
        SetEvent(held);
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        CloseClipboard();
        return 0;
    }
    char out[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("TAVRO_PROBE_OUT", out, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    const std::string temp = std::string(out) + ".part";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 2;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(h, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    CloseHandle(h);
    return MoveFileExA(temp.c_str(), out, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}

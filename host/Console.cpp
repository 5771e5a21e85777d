// Line output of the host to a console, a file or a pipe.
#include "host/Console.h"

#include "module/ComUtil.h"

namespace tavro::host {

void WriteLine(DWORD stdHandle, const std::wstring& text)
{
    HANDLE out = GetStdHandle(stdHandle);
    if (!out || out == INVALID_HANDLE_VALUE)
        return;
    const std::wstring line = text + L"\r\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetFileType(out) == FILE_TYPE_CHAR && GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    // Unbuffered: nothing is lost when the process ends with ExitProcess.
    const std::string bytes = ToAnsi(line.data(), line.size());
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace tavro::host

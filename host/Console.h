// Writes lines of text to standard output or standard error: wide text on a
// console, ANSI code page text on a file or pipe.
#pragma once

#include <windows.h>

#include <string>

namespace tavro::host {

void WriteLine(DWORD stdHandle, const std::wstring& text);

} // namespace tavro::host

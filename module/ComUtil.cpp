// BSTR <-> ANSI code page conversions used by the dispatch layer.
#include "module/ComUtil.h"

namespace tavro {

std::string ToAnsi(const wchar_t* s, size_t length)
{
    if (!s || length == 0)
        return {};
    int n = WideCharToMultiByte(CP_ACP, 0, s, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, s, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::string ToAnsi(BSTR s)
{
    return ToAnsi(s, s ? SysStringLen(s) : 0);
}

std::wstring ToWide(const std::string& s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

BSTR ToBstr(const std::string& s)
{
    std::wstring w = ToWide(s);
    return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

} // namespace tavro

// MidiTools foreground windows: titles and classes of the foreground window
// and of the window under the mouse, waits for a foreground title, the list
// of all top-level windows, and the list dialog that shows nothing.
#include "tools/MidiToolsCtrl.h"
#include "module/Trace.h"

#include <mbstring.h>

#include <vector>

namespace tavro {

std::string WindowTitle(HWND hwnd)
{
    const int length = hwnd ? GetWindowTextLengthA(hwnd) : 0;
    if (length <= 0)
        return {};
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(hwnd, text.data(), length + 1);
    return text.data();
}

std::string WindowClass(HWND hwnd, int bufferChars)
{
    std::vector<char> name(static_cast<size_t>(bufferChars), '\0');
    if (!hwnd || GetClassNameA(hwnd, name.data(), bufferChars) <= 0)
        return {};
    return name.data();
}

bool SameTitle(const std::string& a, const std::string& b)
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
}

} // namespace tavro

namespace {

constexpr int kWaitRoundMs = 50;
constexpr int kEnumTextBuffer = 1024;

// Looks at the foreground title every 50 ms, first after 50 ms, while the
// time lasts; no messages are dispatched meanwhile.
template <class Matches>
BOOL WaitForForegroundTitle(long msecWaitTime, Matches matches)
{
    for (long remaining = msecWaitTime; remaining > 0; remaining -= kWaitRoundMs) {
        ::Sleep(kWaitRoundMs);
        const std::string title = tavro::WindowTitle(GetForegroundWindow());
        if (!title.empty() && matches(title))
            return TRUE;
    }
    return FALSE;
}

std::string TextOf(HWND hwnd, bool className)
{
    char text[kEnumTextBuffer] = {};
    if (className)
        GetClassNameA(hwnd, text, kEnumTextBuffer);
    else
        GetWindowTextA(hwnd, text, kEnumTextBuffer);
    return text;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list)
{
    auto* texts = reinterpret_cast<std::vector<std::string>*>(list);
    texts->push_back(TextOf(hwnd, false));
    texts->push_back(TextOf(hwnd, true));
    return TRUE;
}

// A script array of BSTRs: every second text of `texts` from `first` on.
SAFEARRAY* TextArray(const std::vector<std::string>& texts, size_t first, LONG count)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
    for (LONG k = 0; array && k < count; ++k) {
        VARIANT element;
        element.vt = VT_BSTR;
        element.bstrVal = tavro::ToBstr(texts[first + 2 * static_cast<size_t>(k)]);
        SafeArrayPutElement(array, &k, &element); // copies the element
        VariantClear(&element);
    }
    return array;
}

} // namespace

std::string CMidiToolsCtrl::GetForegroundWindowName()
{
    return tavro::WindowTitle(GetForegroundWindow());
}

std::string CMidiToolsCtrl::GetForegroundClassName()
{
    return tavro::WindowClass(GetForegroundWindow(), 250);
}

std::string CMidiToolsCtrl::GetMouseWindowName()
{
    POINT cursor;
    if (!GetCursorPos(&cursor))
        return {};
    HWND w = WindowFromPoint(cursor);
    while (w && !(GetWindowLongA(w, GWL_STYLE) & WS_SYSMENU))
        w = GetParent(w);
    return tavro::WindowTitle(w);
}

BOOL CMidiToolsCtrl::WaitForegroundWindow(const std::string& winName, long MsecWaitTime)
{
    if (WaitForForegroundTitle(MsecWaitTime,
                               [&](const std::string& title) { return tavro::SameTitle(title, winName); }))
        return TRUE;
    TAVRO_TRACE("MidiTools", "WaitForegroundWindow", tavro::TraceQuote(winName) + ", " + std::to_string(MsecWaitTime),
                "the foreground window is " + tavro::TraceQuote(tavro::WindowTitle(GetForegroundWindow())));
    return FALSE;
}

BOOL CMidiToolsCtrl::WaitForegroundWindowChanged(const std::string& oldwinName, long MsecWaitTime)
{
    if (WaitForForegroundTitle(MsecWaitTime,
                               [&](const std::string& title) { return !tavro::SameTitle(title, oldwinName); }))
        return TRUE;
    TAVRO_TRACE("MidiTools", "WaitForegroundWindowChanged",
                tavro::TraceQuote(oldwinName) + ", " + std::to_string(MsecWaitTime),
                "no other titled window came to the foreground");
    return FALSE;
}

long CMidiToolsCtrl::EnumWindows(VARIANT* classArray, VARIANT* nameArray)
{
    if (FAILED(VariantClear(nameArray)) || FAILED(VariantClear(classArray))) {
        TAVRO_TRACE("MidiTools", "EnumWindows", "", "the arrays passed in cannot be cleared");
        return 0;
    }
    std::vector<std::string> texts; // title, class, title, class, ...
    if (!::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&texts))) {
        TAVRO_TRACE("MidiTools", "EnumWindows", "", "the windows cannot be enumerated: " + tavro::LastErrorText());
        return 0;
    }
    const LONG count = static_cast<LONG>(texts.size() / 2);
    SAFEARRAY* titles = TextArray(texts, 0, count);
    SAFEARRAY* classes = TextArray(texts, 1, count);
    if (!titles || !classes) {
        TAVRO_TRACE("MidiTools", "EnumWindows", "", "no memory for " + std::to_string(count) + " windows");
        if (titles)
            SafeArrayDestroy(titles);
        if (classes)
            SafeArrayDestroy(classes);
        return 0;
    }
    // One variable passed for both keeps the classes, written last.
    if (nameArray == classArray)
        SafeArrayDestroy(titles);
    else {
        nameArray->vt = VT_ARRAY | VT_VARIANT;
        nameArray->parray = titles;
    }
    classArray->vt = VT_ARRAY | VT_VARIANT;
    classArray->parray = classes;
    return count;
}

std::string CMidiToolsCtrl::MsgListBox(const std::string&, const std::string&, const std::string&, const std::string&,
                                       long, long)
{
    return {};
}

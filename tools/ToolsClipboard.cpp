// MidiTools clipboard methods: text, and any format chosen by name with its
// data carried as one script character per byte.
#include "tools/MidiToolsCtrl.h"

#include "module/Clipboard.h"
#include "module/Trace.h"

#include <cstring>

namespace {

using tavro::ClipboardSession;
using tavro::GlobalLockGuard;
using tavro::TraceQuote;

// Standard clipboard format names; the row number is the format id. The
// last row is empty, so an empty name means format 18.
constexpr char kFormatNames[18][13] = {
    "TEXT",    "BITMAP", "METAFILEPICT", "SYLK",        "DIF",         "TIFF",  "OEMTEXT", "DIB",   "PALETTE",
    "PENDATA", "RIFF",   "WAVE",         "UNICODETEXT", "ENHMETAFILE", "HDROP", "LOCALE",  "DIBV5", "",
};

constexpr UINT kFirstRegisteredFormat = 0xC000;
constexpr UINT kLastRegisteredFormat = 0xFFFE;
constexpr int kFormatNameBuffer = 255;
constexpr UINT kClipboardAllocFlags = GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT;

bool SameName(const char* a, const std::string& b)
{
    return _stricmp(a, b.c_str()) == 0;
}

UINT FindStandardFormat(const std::string& name)
{
    for (UINT row = 0; row < 18; ++row)
        if (SameName(kFormatNames[row], name))
            return row + 1;
    return 0;
}

// A registered format of that name, registering the name when none has it.
UINT FindOrRegisterFormat(const std::string& name)
{
    if (UINT id = FindStandardFormat(name))
        return id;
    char buffer[kFormatNameBuffer];
    for (UINT id = kFirstRegisteredFormat; id <= kLastRegisteredFormat; ++id) {
        if (GetClipboardFormatNameA(id, buffer, kFormatNameBuffer) > 0 && SameName(buffer, name))
            return id;
    }
    return RegisterClipboardFormatA(name.c_str());
}

// A format now on the (open) clipboard with that name, or 0.
UINT FindFormatOnClipboard(const std::string& name)
{
    if (UINT id = FindStandardFormat(name))
        return id;
    const int count = CountClipboardFormats();
    char buffer[kFormatNameBuffer];
    UINT id = 0;
    for (int i = 0; i < count; ++i) {
        id = EnumClipboardFormats(id);
        if (id == 0)
            break;
        if (GetClipboardFormatNameA(id, buffer, kFormatNameBuffer) > 0 && SameName(buffer, name))
            return id;
    }
    return 0;
}

// Formats whose data handle is a GDI object or an owner-drawn placeholder,
// not global memory: their size cannot be asked, their data is empty text.
bool HasNonMemoryHandle(UINT id)
{
    return id == CF_BITMAP || id == CF_PALETTE || id == CF_ENHMETAFILE || id == CF_OWNERDISPLAY || id == CF_DSPBITMAP ||
           id == CF_DSPENHMETAFILE || (id >= CF_GDIOBJFIRST && id <= CF_GDIOBJLAST);
}

// A new movable block holding the bytes (plus `extraZeros` zero bytes),
// or null when it cannot be allocated or locked.
HGLOBAL MakeBlock(const char* bytes, size_t length, size_t extraZeros)
{
    HGLOBAL h = GlobalAlloc(kClipboardAllocFlags, length + extraZeros);
    if (!h)
        return nullptr;
    {
        GlobalLockGuard lock(h);
        if (!lock.data()) {
            GlobalFree(h);
            return nullptr;
        }
        if (length)
            std::memcpy(lock.data(), bytes, length);
    }
    return h;
}

// The zero-terminated text of format 1, never read past its block.
std::string ReadClipboardText(const char* method)
{
    std::string text;
    if (!::IsClipboardFormatAvailable(CF_TEXT)) {
        TAVRO_TRACE("MidiTools", method, "", "no text on the clipboard");
        return text;
    }
    ClipboardSession clipboard;
    if (!clipboard.IsOpen()) {
        TAVRO_TRACE("MidiTools", method, "", clipboard.FailureText());
        return text;
    }
    HGLOBAL h = ::GetClipboardData(CF_TEXT);
    const size_t size = h ? GlobalSize(h) : 0;
    GlobalLockGuard lock(size ? h : nullptr);
    if (lock.data())
        text.assign(lock.data(), strnlen(lock.data(), size));
    else
        TAVRO_TRACE("MidiTools", method, "", "cannot read the clipboard's text: " + tavro::LastErrorText());
    return text;
}

// Empties the (open) clipboard and places the block; the system owns it
// from then on, or it is freed when the system refuses it.
void PlaceBlock(UINT id, HGLOBAL h, const char* method, const std::string& args)
{
    EmptyClipboard();
    if (!::SetClipboardData(id, h)) {
        TAVRO_TRACE("MidiTools", method, args, "the clipboard refused the data: " + tavro::LastErrorText());
        GlobalFree(h);
    }
}

} // namespace

long CMidiToolsCtrl::GetClipboardTextLength()
{
    return static_cast<long>(ReadClipboardText("GetClipboardTextLength").size());
}

std::string CMidiToolsCtrl::GetClipboardText()
{
    return ReadClipboardText("GetClipboardText");
}

void CMidiToolsCtrl::SetClipboardText(const std::string& strData)
{
    ClipboardSession clipboard;
    if (!clipboard.IsOpen()) {
        TAVRO_TRACE("MidiTools", "SetClipboardText", TraceQuote(strData), clipboard.FailureText());
        return;
    }
    if (strData.empty()) {
        EmptyClipboard();
        return;
    }
    // Text ends at its first zero byte; the block keeps a terminating zero.
    const size_t length = strnlen(strData.c_str(), strData.size());
    if (HGLOBAL h = MakeBlock(strData.data(), length, 1))
        PlaceBlock(CF_TEXT, h, "SetClipboardText", tavro::TraceOn() ? TraceQuote(strData) : std::string());
    else
        TAVRO_TRACE("MidiTools", "SetClipboardText", TraceQuote(strData),
                    "no memory for " + std::to_string(length + 1) + " bytes");
}

std::string CMidiToolsCtrl::GetClipboardData(const std::string& formatName)
{
    std::string data;
    ClipboardSession clipboard;
    if (!clipboard.IsOpen()) {
        TAVRO_TRACE("MidiTools", "GetClipboardData", TraceQuote(formatName), clipboard.FailureText());
        return data;
    }
    const UINT id = FindFormatOnClipboard(formatName);
    if (id == 0 || !::IsClipboardFormatAvailable(id)) {
        TAVRO_TRACE("MidiTools", "GetClipboardData", TraceQuote(formatName),
                    "no " + TraceQuote(formatName) + " data on the clipboard");
        return data;
    }
    if (HasNonMemoryHandle(id)) {
        TAVRO_TRACE("MidiTools", "GetClipboardData", TraceQuote(formatName),
                    "the " + TraceQuote(formatName) + " data is a handle, not bytes");
        return data;
    }
    HGLOBAL h = ::GetClipboardData(id);
    const size_t size = h ? GlobalSize(h) : 0;
    GlobalLockGuard lock(size ? h : nullptr);
    if (lock.data())
        data.assign(lock.data(), size);
    else
        TAVRO_TRACE("MidiTools", "GetClipboardData", TraceQuote(formatName),
                    "cannot read the " + TraceQuote(formatName) + " data: " + tavro::LastErrorText());
    return data;
}

void CMidiToolsCtrl::SetClipboardData(const std::string& formatName, const std::string& strData)
{
    auto args = [&] { return TraceQuote(formatName) + ", " + TraceQuote(strData); };
    const UINT id = FindOrRegisterFormat(formatName);
    if (id == 0) {
        TAVRO_TRACE("MidiTools", "SetClipboardData", args(), "cannot register the format: " + tavro::LastErrorText());
        return;
    }
    ClipboardSession clipboard;
    if (!clipboard.IsOpen()) {
        TAVRO_TRACE("MidiTools", "SetClipboardData", args(), clipboard.FailureText());
        return;
    }
    if (strData.empty()) {
        EmptyClipboard();
        return;
    }
    // Exactly the bytes given: no terminating zero is added.
    if (HGLOBAL h = MakeBlock(strData.data(), strData.size(), 0))
        PlaceBlock(id, h, "SetClipboardData", tavro::TraceOn() ? args() : std::string());
    else
        TAVRO_TRACE("MidiTools", "SetClipboardData", args(),
                    "no memory for " + std::to_string(strData.size()) + " bytes");
}

BOOL CMidiToolsCtrl::IsClipboardFormatAvailable(const std::string& formatName)
{
    if (formatName.empty())
        return CountClipboardFormats() != 0;
    ClipboardSession clipboard;
    if (!clipboard.IsOpen()) {
        TAVRO_TRACE("MidiTools", "IsClipboardFormatAvailable", TraceQuote(formatName), clipboard.FailureText());
        return FALSE;
    }
    const UINT id = FindFormatOnClipboard(formatName);
    return id != 0 && ::IsClipboardFormatAvailable(id);
}

// MidiTools window controls: the target window and control numbering, the
// control listings, the windows under the mouse, buttons by caption and the
// keyboard focus.
#include "tools/MidiToolsCtrl.h"
#include "tools/ControlListing.h"
#include "module/Trace.h"
#include "tools/MenuPath.h"

namespace {

constexpr int kTextBuffer = 255;

HWND FirstChild(HWND parent)
{
    return parent ? FindWindowExA(parent, nullptr, nullptr, nullptr) : nullptr;
}

HWND NextChild(HWND parent, HWND child)
{
    return FindWindowExA(parent, child, nullptr, nullptr);
}

long CountChildren(HWND parent)
{
    long count = 0;
    for (HWND c = FirstChild(parent); c; c = NextChild(parent, c))
        ++count;
    return count;
}

std::string ShortText(HWND hwnd)
{
    char text[kTextBuffer] = {};
    GetWindowTextA(hwnd, text, kTextBuffer);
    return text;
}

std::string TypeName(HWND hwnd)
{
    return tavro::ClassifyControl(tavro::WindowClass(hwnd, kTextBuffer), GetWindowLongA(hwnd, GWL_STYLE)).typeName;
}

std::string ListingLine(const std::string& indexField, HWND hwnd)
{
    return tavro::ControlListingLine(indexField, TypeName(hwnd), IsWindowEnabled(hwnd) != FALSE,
                                     IsWindowVisible(hwnd) != FALSE, ShortText(hwnd));
}

// The focus window of the foreground window's thread, read with this
// thread's input attached to that thread for the moment.
HWND ForegroundFocus()
{
    const DWORD self = GetCurrentThreadId();
    const DWORD other = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const bool attached = other && other != self && AttachThreadInput(self, other, TRUE);
    HWND focus = GetFocus();
    if (attached)
        AttachThreadInput(self, other, FALSE);
    return focus;
}

std::string ListOneLevel(HWND parent, HWND focus)
{
    std::string out;
    int i = 1;
    for (HWND c = FirstChild(parent); c; c = NextChild(parent, c), ++i)
        out += ListingLine(tavro::ControlIndexField(i, c == focus, focus && IsChild(c, focus)), c);
    return out;
}

void ListRecursively(HWND parent, HWND focus, std::string& out)
{
    out += tavro::kControlListingHeader;
    out += ListOneLevel(parent, focus);
    int i = 1;
    for (HWND c = FirstChild(parent); c; c = NextChild(parent, c), ++i) {
        if (!FirstChild(c))
            continue;
        out += "\r\n" + std::to_string(i) + ")\t" + TypeName(c) + "\r\n";
        ListRecursively(c, focus, out);
    }
}

// The child of `w` at the screen point, with ChildWindowFromPointEx flags.
HWND ChildAt(HWND w, POINT screen, UINT flags)
{
    ScreenToClient(w, &screen);
    return ChildWindowFromPointEx(w, screen, flags);
}

} // namespace

HWND CMidiToolsCtrl::GetTargetWindow()
{
    HWND foreground = GetForegroundWindow();
    if (m_hCtrlParent && m_hCtrlAnchor && foreground == m_hCtrlAnchor && IsWindow(m_hCtrlParent)) {
        for (HWND p = GetParent(m_hCtrlParent); p; p = GetParent(p))
            if (p == m_hCtrlAnchor)
                return m_hCtrlParent;
    }
    m_hCtrlParent = m_hCtrlAnchor = nullptr;
    return foreground;
}

HWND CMidiToolsCtrl::GetControlByIndex(long index)
{
    if (index < 1)
        return nullptr;
    HWND parent = GetTargetWindow();
    HWND c = FirstChild(parent);
    for (long i = 1; c && i < index; ++i)
        c = NextChild(parent, c);
    return c;
}

HWND CMidiToolsCtrl::FindControl(const char* method, const std::string& args, long index)
{
    HWND c = GetControlByIndex(index);
    if (!c && tavro::TraceOn()) {
        HWND target = GetTargetWindow();
        TAVRO_TRACE("MidiTools", method, args,
                    "no control " + std::to_string(index) +
                        (target ? " (the window has " + std::to_string(CountChildren(target)) + ")"
                                : " (no foreground window)"));
    }
    return c;
}

BOOL CMidiToolsCtrl::SetControlWindow(long controlIndex)
{
    if (controlIndex == -1) {
        HWND current = GetTargetWindow();
        HWND foreground = GetForegroundWindow();
        if (current == foreground) {
            TAVRO_TRACE("MidiTools", "SetControlWindow", "-1", "already at the foreground window");
            return FALSE;
        }
        HWND parent = GetParent(current);
        if (!parent || parent == foreground) {
            m_hCtrlParent = m_hCtrlAnchor = nullptr;
            if (!parent)
                TAVRO_TRACE("MidiTools", "SetControlWindow", "-1", "the control window has no parent");
            return parent != nullptr;
        }
        m_hCtrlParent = parent;
        return TRUE;
    }
    if (controlIndex == 0) {
        m_hCtrlParent = m_hCtrlAnchor = nullptr;
        return TRUE;
    }
    HWND c = FindControl("SetControlWindow", std::to_string(controlIndex), controlIndex);
    if (!c)
        return FALSE;
    if (!FirstChild(c)) {
        m_hCtrlParent = m_hCtrlAnchor = nullptr;
        TAVRO_TRACE("MidiTools", "SetControlWindow", std::to_string(controlIndex),
                    "control " + std::to_string(controlIndex) + " has no controls of its own");
        return FALSE;
    }
    m_hCtrlAnchor = GetForegroundWindow();
    m_hCtrlParent = c;
    return TRUE;
}

long CMidiToolsCtrl::GetNumControls(long controlIndex)
{
    HWND w = controlIndex == 0 ? GetTargetWindow()
                               : FindControl("GetNumControls", std::to_string(controlIndex), controlIndex);
    return w ? CountChildren(w) : 0;
}

std::string CMidiToolsCtrl::EnumControls()
{
    HWND target = GetTargetWindow();
    std::string out = "\r\n0\t" + TypeName(target) + "\t" + ShortText(target) + "\r\n";
    out += tavro::kControlListingHeader;
    return out + ListOneLevel(target, ForegroundFocus());
}

std::string CMidiToolsCtrl::EnumAllControls()
{
    HWND target = GetTargetWindow();
    std::string out = "0\t" + TypeName(target) + "\t" + ShortText(target) + "\r\n";
    if (FirstChild(target))
        ListRecursively(target, ForegroundFocus(), out);
    return out;
}

std::string CMidiToolsCtrl::GetMouseControl()
{
    POINT cursor;
    if (!GetCursorPos(&cursor))
        return {};
    HWND w = WindowFromPoint(cursor);
    HWND candidates[5] = {w, w ? ChildAt(w, cursor, CWP_ALL) : nullptr};
    if (candidates[1] == w) {
        w = candidates[0] = GetForegroundWindow();
        candidates[1] = w ? ChildAt(w, cursor, CWP_ALL) : nullptr;
    }
    const UINT flags[3] = {CWP_SKIPINVISIBLE, CWP_SKIPDISABLED, CWP_SKIPTRANSPARENT};
    for (int k = 0; k < 3; ++k)
        candidates[2 + k] = w ? ChildAt(w, cursor, flags[k]) : nullptr;
    std::string out;
    for (int k = 0; k < 5; ++k) {
        bool repeated = !candidates[k];
        for (int j = 0; j < k && !repeated; ++j)
            repeated = candidates[j] == candidates[k];
        if (!repeated)
            out += ListingLine("\t", candidates[k]);
    }
    return out;
}

BOOL CMidiToolsCtrl::ClickButton(const std::string& buttonName)
{
    HWND parent = GetTargetWindow();
    if (!parent)
        return FALSE;
    for (HWND b = FindWindowExA(parent, nullptr, "Button", nullptr); b;
         b = FindWindowExA(parent, b, "Button", nullptr)) {
        if (!IsWindowVisible(b) || !IsWindowEnabled(b))
            continue;
        const std::string text = ShortText(b);
        if (!text.empty() && tavro::SameTitle(tavro::MenuItemName(text), buttonName)) {
            // No waiting for the click; a refused post (a window of higher
            // integrity) is a failure.
            if (PostMessageA(b, BM_CLICK, 0, 0))
                return TRUE;
            TAVRO_TRACE("MidiTools", "ClickButton", tavro::TraceQuote(buttonName),
                        "the click was refused: " + tavro::LastErrorText());
            return FALSE;
        }
    }
    TAVRO_TRACE("MidiTools", "ClickButton", tavro::TraceQuote(buttonName), "no enabled visible button of that name");
    return FALSE;
}

BOOL CMidiToolsCtrl::SetControlFocus(long Index)
{
    HWND c = FindControl("SetControlFocus", std::to_string(Index), Index);
    if (!c)
        return FALSE;
    const DWORD self = GetCurrentThreadId();
    const DWORD owner = GetWindowThreadProcessId(c, nullptr);
    HWND previous = nullptr;
    if (owner == self) {
        previous = SetFocus(c);
    } else {
        if (!AttachThreadInput(owner, self, TRUE)) {
            TAVRO_TRACE("MidiTools", "SetControlFocus", std::to_string(Index),
                        "cannot share the control's input: " + tavro::LastErrorText());
            return FALSE;
        }
        previous = SetFocus(c);
        AttachThreadInput(owner, self, FALSE);
    }
    if (!previous)
        TAVRO_TRACE("MidiTools", "SetControlFocus", std::to_string(Index), "no window had the focus before");
    return previous != nullptr;
}

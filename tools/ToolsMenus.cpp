// MidiTools host window and host menus: choosing the host, its title and
// activation, and listing, inspecting and invoking its menu items by path.
#include "tools/MidiToolsCtrl.h"
#include "tools/MenuPath.h"
#include "module/Trace.h"
#include "tools/RemoteMenu.h"
#include "tools/RemoteProcess.h"

#include <mbstring.h>
#include <optional>
#include <vector>

namespace {

// This process's own menu calls: any menu on Windows, only this process's
// menus under Wine (which keeps menus per process).
class DirectMenuSource : public tavro::MenuSource {
public:
    bool ReadItem(uintptr_t menu, int position, size_t textBuffer, tavro::MenuItemData& item) override
    {
        HMENU m = reinterpret_cast<HMENU>(menu);
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = 0x3F; // state, id, submenu, check marks, type, data
        if (textBuffer == tavro::kWholeText) {
            // The text's length first (dwTypeData null), then the text.
            if (!GetMenuItemInfoA(m, static_cast<UINT>(position), TRUE, &info))
                return false;
            textBuffer = static_cast<size_t>(info.cch) + 1;
        }
        std::vector<char> text(textBuffer, '\0');
        info.dwTypeData = text.data();
        info.cch = static_cast<UINT>(textBuffer);
        if (!GetMenuItemInfoA(m, static_cast<UINT>(position), TRUE, &info))
            return false;
        // Separators, bitmaps and items the application draws have no text.
        item.text = (info.fType & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW)) ? "" : text.data();
        item.state = info.fState;
        item.id = info.wID;
        item.submenu = reinterpret_cast<uintptr_t>(info.hSubMenu);
        return true;
    }

    int ItemCount(uintptr_t menu) override { return GetMenuItemCount(reinterpret_cast<HMENU>(menu)); }
};

// Menus of another process read in that process (RemoteMenu.h).
class RemoteMenuSource : public tavro::MenuSource {
public:
    explicit RemoteMenuSource(HWND owner) : owner_(owner) {}
    bool ReadItem(uintptr_t menu, int position, size_t textBuffer, tavro::MenuItemData& item) override
    {
        return tavro::ReadRemoteMenuItem(owner_, menu, position, textBuffer, item);
    }
    int ItemCount(uintptr_t menu) override { return tavro::RemoteMenuItemCount(owner_, menu); }

private:
    HWND owner_;
};

// Reads the host window's menus: directly whenever this process can, and
// through the host's process only for a menu this process does not know (a
// menu of another process under Wine), so that nothing is loaded into the
// host where the direct read works. Windows reads every process's menus, so
// there a failed read (a popup the host rebuilt meanwhile) stays a failure.
class HostMenuReader : public tavro::TwoSourceMenuReader {
public:
    explicit HostMenuReader(HWND host)
        : TwoSourceMenuReader(direct_, tavro::OfOtherProcess(host) && tavro::RunningUnderWine() ? &remote_ : nullptr),
          host_(host),
          remote_(host)
    {}

    void OpenForInspection(uintptr_t menu, int position) override
    {
        HMENU m = reinterpret_cast<HMENU>(menu);
        Send(WM_INITMENU, reinterpret_cast<WPARAM>(m), 0);
        Send(WM_MENUSELECT, MAKEWPARAM(position, 0x8090), reinterpret_cast<LPARAM>(m));
        Send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(SubMenu(menu, position)), MAKELPARAM(position, 0));
        Send(WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    }

    bool SameName(const std::string& a, const std::string& b) override
    {
        return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                        reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
    }

private:
    // A host of another process that hangs cannot hold the walk for good.
    void Send(UINT message, WPARAM wParam, LPARAM lParam)
    {
        LRESULT reply = 0;
        tavro::SendBounded(host_, message, wParam, lParam, reply);
    }

    HMENU SubMenu(uintptr_t menu, int position)
    {
        tavro::MenuItemData item;
        return ReadItem(menu, position, 1, item) ? reinterpret_cast<HMENU>(item.submenu) : nullptr;
    }

    DirectMenuSource direct_;
    HWND host_;
    RemoteMenuSource remote_;
};

uintptr_t MenuBar(HWND host)
{
    return host ? reinterpret_cast<uintptr_t>(GetMenu(host)) : 0;
}

// Resolves a path in the host's menu bar, after letting an MDI host show
// the active document's menu.
tavro::MenuMatch FindHostMenuItem(HWND host, HostMenuReader& reader, const std::string& path)
{
    if (!host)
        return {};
    if (HWND client = FindWindowExA(host, nullptr, "MDIClient", nullptr)) {
        LRESULT reply = 0;
        tavro::SendBounded(client, WM_MDIREFRESHMENU, 0, 0, reply);
        DrawMenuBar(host);
    }
    return tavro::FindMenuItem(reader, MenuBar(host), path);
}

// The menu whose items a listing method walks, and the path of that menu:
// the menu bar for an empty (trimmed) root, else the root item's submenu.
// A failure traces its reason for `method`.
bool FindRootMenu(const char* method, const std::string& args, HWND host, HostMenuReader& reader,
                  const std::string& rootMenuName, uintptr_t& menu, std::string& prefix)
{
    const std::string root = tavro::TrimWhiteSpace(rootMenuName);
    prefix.clear();
    if (root.empty()) {
        menu = MenuBar(host);
        if (!menu)
            TAVRO_TRACE("MidiTools", method, args, host ? "the host window has no menu bar" : "no host window");
        return menu != 0;
    }
    const tavro::MenuMatch match = FindHostMenuItem(host, reader, root);
    menu = match.item.submenu;
    prefix = match.path;
    if (!match.found)
        TAVRO_TRACE("MidiTools", method, args, "root menu not found: " + (host ? match.failure : "no host window"));
    else if (!menu)
        TAVRO_TRACE("MidiTools", method, args, "the root menu \"" + match.path + "\" does not contain any submenu");
    return match.found && menu;
}

bool IsDisabled(unsigned state)
{
    return (state & 3) == 3;
}

// The menu state flags of the command at path; none when the path names no
// command (a missing item or a submenu), traced for `method`.
std::optional<unsigned> HostCommandState(const char* method, HWND host, const std::string& path)
{
    HostMenuReader reader(host);
    const tavro::MenuMatch match = FindHostMenuItem(host, reader, path);
    if (!match.found || match.item.id == 0) {
        TAVRO_TRACE("MidiTools", method, tavro::TraceQuote(path),
                    "the menu was not found: " + (!host         ? "no host window"
                                                  : match.found ? "\"" + match.path + "\" is no command"
                                                                : match.failure));
        return std::nullopt;
    }
    return match.item.state;
}

} // namespace

HWND CMidiToolsCtrl::GetHostWindow() const
{
    return m_hHostWnd && IsWindow(m_hHostWnd) ? m_hHostWnd : nullptr;
}

BOOL CMidiToolsCtrl::SetCurrentHost(const std::string& strClassName, const std::string& strWindowName)
{
    m_hHostWnd = m_hCtrlParent = m_hCtrlAnchor = nullptr;
    if (strClassName.empty() && strWindowName.empty())
        return TRUE;
    m_hHostWnd = FindWindowA(strClassName.empty() ? nullptr : strClassName.c_str(),
                             strWindowName.empty() ? nullptr : strWindowName.c_str());
    if (!m_hHostWnd)
        TAVRO_TRACE("MidiTools", "SetCurrentHost",
                    tavro::TraceQuote(strClassName) + ", " + tavro::TraceQuote(strWindowName),
                    "no top-level window of that class and title");
    return m_hHostWnd != nullptr;
}

std::string CMidiToolsCtrl::GetHostWindowText()
{
    const std::string title = tavro::WindowTitle(GetHostWindow());
    return title.empty() ? "?" : title;
}

BOOL CMidiToolsCtrl::SetHostToForeground()
{
    HWND host = GetHostWindow();
    if (host && IsIconic(host))
        ShowWindow(host, SW_SHOWNORMAL);
    auto attempt = [host] { return host && SetForegroundWindow(host) && GetForegroundWindow() == host; };
    if (attempt())
        return TRUE;
    ::Sleep(100);
    if (attempt())
        return TRUE;
    ::Sleep(200);
    if (attempt())
        return TRUE;
    TAVRO_TRACE("MidiTools", "SetHostToForeground", "",
                host ? "the host window did not come to the foreground in three attempts" : "no host window");
    return FALSE;
}

std::string CMidiToolsCtrl::GetMenusFromHost(const std::string& rootMenuName)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    uintptr_t menu = 0;
    std::string prefix;
    if (!FindRootMenu("GetMenusFromHost", tavro::TraceQuote(rootMenuName), host, reader, rootMenuName, menu, prefix))
        return {};
    std::string out;
    tavro::ListMenuLeaves(reader, menu, prefix, out);
    return out;
}

BOOL CMidiToolsCtrl::CallHostMenu(const std::string& menuName, long bWait)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    const tavro::MenuMatch match = FindHostMenuItem(host, reader, menuName);
    const std::string args = tavro::TraceQuote(menuName);
    if (!match.found || match.item.id == 0 || IsDisabled(match.item.state)) {
        TAVRO_TRACE("MidiTools", "CallHostMenu", args,
                    !host                ? std::string("no host window")
                    : !match.found       ? match.failure
                    : match.item.id == 0 ? "\"" + match.path + "\" is no command"
                                         : "\"" + match.path + "\" is disabled (grayed), see IsHostMenuEnabled()");
        return FALSE;
    }
    if (!bWait) {
        if (PostMessageA(host, WM_COMMAND, match.item.id, 0))
            return TRUE;
        TAVRO_TRACE("MidiTools", "CallHostMenu", args, "the command was refused: " + tavro::LastErrorText());
        return FALSE;
    }
    // Waits for the host as long as it takes. A handled command may answer 0
    // with the last error untouched; a refused send (a window of higher
    // integrity) answers 0 and sets it. A window of this process can run the
    // command inline, which may set the last error itself.
    SetLastError(ERROR_SUCCESS);
    const LRESULT reply = SendMessageA(host, WM_COMMAND, match.item.id, 0);
    if (reply == 0 && tavro::OfOtherProcess(host) && GetLastError() != ERROR_SUCCESS) {
        TAVRO_TRACE("MidiTools", "CallHostMenu", args, "the command was refused: " + tavro::LastErrorText());
        return FALSE;
    }
    if (reply != 0)
        TAVRO_TRACE("MidiTools", "CallHostMenu", args, "the host answered " + std::to_string(reply));
    return reply == 0;
}

BOOL CMidiToolsCtrl::IsHostMenu(const std::string& menuName)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    const tavro::MenuMatch match = FindHostMenuItem(host, reader, menuName);
    if (!match.found)
        TAVRO_TRACE("MidiTools", "IsHostMenu", tavro::TraceQuote(menuName), host ? match.failure : "no host window");
    return match.found;
}

long CMidiToolsCtrl::IsHostMenuEnabled(const std::string& menuName)
{
    const std::optional<unsigned> state = HostCommandState("IsHostMenuEnabled", GetHostWindow(), menuName);
    return !state ? -1 : IsDisabled(*state) ? 0 : 1;
}

long CMidiToolsCtrl::IsHostMenuChecked(const std::string& menuName)
{
    const std::optional<unsigned> state = HostCommandState("IsHostMenuChecked", GetHostWindow(), menuName);
    return !state ? -1 : (*state & MFS_CHECKED) ? 1 : 0;
}

long CMidiToolsCtrl::GetHostSubMenuCount(const std::string& rootMenuName)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    uintptr_t menu = 0;
    std::string prefix;
    if (!FindRootMenu("GetHostSubMenuCount", tavro::TraceQuote(rootMenuName), host, reader, rootMenuName, menu, prefix))
        return 0;
    const int count = reader.ItemCount(menu);
    return count > 0 ? count : 0;
}

std::string CMidiToolsCtrl::GetHostSubMenuName(const std::string& mainMenu, long submenuIndex)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    uintptr_t menu = 0;
    std::string prefix;
    const std::string args = tavro::TraceQuote(mainMenu) + ", " + std::to_string(submenuIndex);
    if (!FindRootMenu("GetHostSubMenuName", args, host, reader, mainMenu, menu, prefix))
        return {};
    if (submenuIndex < 1) {
        TAVRO_TRACE("MidiTools", "GetHostSubMenuName", args, "the index starts at 1");
        return {};
    }
    tavro::MenuItemData item;
    if (!reader.ReadItem(menu, static_cast<int>(submenuIndex - 1), 255, item))
        return prefix;
    return prefix + (prefix.empty() ? "" : "\\") + tavro::MenuItemName(item.text);
}

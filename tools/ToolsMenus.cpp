// MidiTools host window and host menus: choosing the host, its title and
// activation, and listing, inspecting and invoking its menu items by path.
#include "tools/MidiToolsCtrl.h"
#include "tools/MenuPath.h"
#include "tools/RemoteMenu.h"

#include <mbstring.h>
#include <optional>

namespace {

// Reads the host window's menus: directly when this process can (its own
// menus, or any menu on Windows), otherwise through the host's process.
class HostMenuReader : public tavro::MenuReader {
public:
    explicit HostMenuReader(HWND host) : host_(host)
    {
        DWORD process = 0;
        remote_ = host && GetWindowThreadProcessId(host, &process) && process != GetCurrentProcessId();
    }

    bool ReadItem(uintptr_t menu, int position, size_t textBuffer, tavro::MenuItemData& item) override
    {
        char text[256] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = 0x3F; // state, id, submenu, check marks, type, data
        info.dwTypeData = text;
        info.cch = static_cast<UINT>(textBuffer);
        if (!GetMenuItemInfoA(reinterpret_cast<HMENU>(menu), static_cast<UINT>(position), TRUE, &info))
            return remote_ && tavro::ReadRemoteMenuItem(host_, menu, position, textBuffer, item);
        // Separators, bitmaps and items the application draws have no text.
        item.text = (info.fType & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW)) ? "" : text;
        item.state = info.fState;
        item.id = info.wID;
        item.submenu = reinterpret_cast<uintptr_t>(info.hSubMenu);
        return true;
    }

    void OpenForInspection(uintptr_t menu, int position) override
    {
        HMENU m = reinterpret_cast<HMENU>(menu);
        SendMessageA(host_, WM_INITMENU, reinterpret_cast<WPARAM>(m), 0);
        SendMessageA(host_, WM_MENUSELECT, MAKEWPARAM(position, 0x8090), reinterpret_cast<LPARAM>(m));
        SendMessageA(host_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(SubMenu(menu, position)),
                     MAKELPARAM(position, 0));
        SendMessageA(host_, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    }

    bool SameName(const std::string& a, const std::string& b) override
    {
        return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                        reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
    }

    // The number of items of a menu, -1 when it cannot be read.
    int ItemCount(uintptr_t menu)
    {
        const int count = GetMenuItemCount(reinterpret_cast<HMENU>(menu));
        return count >= 0 || !remote_ ? count : tavro::RemoteMenuItemCount(host_, menu);
    }

private:
    HMENU SubMenu(uintptr_t menu, int position)
    {
        tavro::MenuItemData item;
        return ReadItem(menu, position, 1, item) ? reinterpret_cast<HMENU>(item.submenu) : nullptr;
    }

    HWND host_;
    bool remote_ = false; // the host belongs to another process
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
        SendMessageA(client, WM_MDIREFRESHMENU, 0, 0);
        DrawMenuBar(host);
    }
    return tavro::FindMenuItem(reader, MenuBar(host), path);
}

// The menu whose items a listing method walks, and the path of that menu:
// the menu bar for an empty (trimmed) root, else the root item's submenu.
bool FindRootMenu(HWND host, HostMenuReader& reader, const std::string& rootMenuName, uintptr_t& menu,
                  std::string& prefix)
{
    const std::string root = tavro::TrimWhiteSpace(rootMenuName);
    prefix.clear();
    if (root.empty()) {
        menu = MenuBar(host);
        return menu != 0;
    }
    const tavro::MenuMatch match = FindHostMenuItem(host, reader, root);
    menu = match.item.submenu;
    prefix = match.path;
    return match.found && menu;
}

bool IsDisabled(unsigned state)
{
    return (state & 3) == 3;
}

// The menu state flags of the command at path; none when the path names no
// command (a missing item or a submenu).
std::optional<unsigned> HostCommandState(HWND host, const std::string& path)
{
    HostMenuReader reader(host);
    const tavro::MenuMatch match = FindHostMenuItem(host, reader, path);
    if (!match.found || match.item.id == 0)
        return std::nullopt;
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
    return attempt();
}

std::string CMidiToolsCtrl::GetMenusFromHost(const std::string& rootMenuName)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    uintptr_t menu = 0;
    std::string prefix;
    if (!FindRootMenu(host, reader, rootMenuName, menu, prefix))
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
    if (!match.found || match.item.id == 0 || IsDisabled(match.item.state))
        return FALSE;
    if (bWait)
        return SendMessageA(host, WM_COMMAND, match.item.id, 0) == 0;
    return PostMessageA(host, WM_COMMAND, match.item.id, 0);
}

BOOL CMidiToolsCtrl::IsHostMenu(const std::string& menuName)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    return FindHostMenuItem(host, reader, menuName).found;
}

long CMidiToolsCtrl::IsHostMenuEnabled(const std::string& menuName)
{
    const std::optional<unsigned> state = HostCommandState(GetHostWindow(), menuName);
    return !state ? -1 : IsDisabled(*state) ? 0 : 1;
}

long CMidiToolsCtrl::IsHostMenuChecked(const std::string& menuName)
{
    const std::optional<unsigned> state = HostCommandState(GetHostWindow(), menuName);
    return !state ? -1 : (*state & MFS_CHECKED) ? 1 : 0;
}

long CMidiToolsCtrl::GetHostSubMenuCount(const std::string& rootMenuName)
{
    HWND host = GetHostWindow();
    HostMenuReader reader(host);
    uintptr_t menu = 0;
    std::string prefix;
    if (!FindRootMenu(host, reader, rootMenuName, menu, prefix))
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
    if (!FindRootMenu(host, reader, mainMenu, menu, prefix) || submenuIndex < 1)
        return {};
    tavro::MenuItemData item;
    if (!reader.ReadItem(menu, static_cast<int>(submenuIndex - 1), 255, item))
        return prefix;
    return prefix + (prefix.empty() ? "" : "\\") + tavro::MenuItemName(item.text);
}

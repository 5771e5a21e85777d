// Menu paths: item names, path resolution and leaf listings.
#include "tools/MenuPath.h"

namespace tavro {

namespace {
constexpr size_t kFindTextBuffer = 255;
// Listings give whole item texts, however long.
constexpr size_t kListTextBuffer = kWholeText;
} // namespace

std::string MenuItemName(const std::string& text)
{
    std::string name;
    for (char c : text) {
        if (c == '\t')
            break;
        if (c != '&' && c != '.')
            name += c;
    }
    return name;
}

std::string TrimWhiteSpace(const std::string& text)
{
    const char* white = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(white);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(white) - first + 1);
}

std::string JoinMenuPath(const std::string& prefix, const std::string& name)
{
    return prefix.empty() ? name : prefix + "\\" + name;
}

MenuSource& TwoSourceMenuReader::SourceOf(uintptr_t menu)
{
    return fallback_ && direct_.ItemCount(menu) < 0 ? *fallback_ : direct_;
}

bool TwoSourceMenuReader::ReadItem(uintptr_t menu, int position, size_t textBuffer, MenuItemData& item)
{
    return SourceOf(menu).ReadItem(menu, position, textBuffer, item);
}

int TwoSourceMenuReader::ItemCount(uintptr_t menu)
{
    return SourceOf(menu).ItemCount(menu);
}

MenuMatch FindMenuItem(MenuReader& reader, uintptr_t menuBar, const std::string& path)
{
    MenuMatch match;
    std::string remaining = path;
    std::string component = remaining.substr(0, remaining.find('\\'));
    uintptr_t menu = menuBar;
    MenuItemData item;
    for (int position = 0; menu && reader.ReadItem(menu, position, kFindTextBuffer, item); ++position) {
        const std::string name = MenuItemName(item.text);
        // An empty component (a leading or doubled backslash) matches nothing.
        if (name.empty() || component.empty() || !reader.SameName(name, component))
            continue;
        match.item = item;
        match.path = JoinMenuPath(match.path, name);
        remaining.erase(0, component.size());
        if (item.submenu)
            reader.OpenForInspection(menu, position);
        if (!remaining.empty() && remaining[0] == '\\')
            remaining.erase(0, 1);
        if (remaining.empty()) {
            match.found = true;
            match.menu = menu;
            return match;
        }
        component = remaining.substr(0, remaining.find('\\'));
        if (!item.submenu)
            break;
        menu = item.submenu;
        position = -1; // the next round reads position 0 of the submenu
    }
    MenuMatch missing;
    if (!menuBar)
        missing.failure = "the window has no menu bar";
    else if (match.path.empty())
        missing.failure = "no menu item \"" + component + "\"";
    else
        missing.failure = "\"" + match.path + "\" found, no item \"" + component + "\" under it";
    return missing;
}

void ListMenuLeaves(MenuReader& reader, uintptr_t menu, const std::string& prefix, std::string& out)
{
    MenuItemData item;
    for (int position = 0; reader.ReadItem(menu, position, kListTextBuffer, item); ++position) {
        const std::string name = MenuItemName(item.text);
        if (name.empty())
            continue;
        const std::string path = JoinMenuPath(prefix, name);
        if (item.submenu) {
            reader.OpenForInspection(menu, position);
            ListMenuLeaves(reader, item.submenu, path, out);
        } else {
            out += "\"" + path + "\"\r\n";
        }
    }
}

} // namespace tavro

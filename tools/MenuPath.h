// Menu item names, menu paths and the leaf listing of a menu tree, on any
// menu source: the host's own menus or another process's, read item by item.
#pragma once

#include <cstdint>
#include <string>

namespace tavro {

// The name of a menu item or button caption: every "&" and "." removed, cut
// at the first tab ("Save &As...\tCtrl+S" is "Save As").
std::string MenuItemName(const std::string& text);

// Text without leading and trailing white space (space, \t, \r, \n, \v, \f).
std::string TrimWhiteSpace(const std::string& text);

// prefix + "\" + name, or name alone when the prefix is empty.
std::string JoinMenuPath(const std::string& prefix, const std::string& name);

struct MenuItemData {
    std::string text; // empty for separators and items drawn by the application
    unsigned state = 0;
    unsigned id = 0;
    uintptr_t submenu = 0;
};

// `textBuffer` of ReadItem that asks for the whole text.
constexpr size_t kWholeText = 0;

// One way of reading menus: this process's own calls, or a helper in the
// process that owns the menu.
class MenuSource {
public:
    virtual ~MenuSource() = default;
    // The item at `position` with its text cut to `textBuffer` - 1
    // characters (kWholeText: not cut); false past the last item or when
    // the menu cannot be read.
    virtual bool ReadItem(uintptr_t menu, int position, size_t textBuffer, MenuItemData& item) = 0;
    // The number of items, -1 when this source does not know the menu.
    virtual int ItemCount(uintptr_t menu) = 0;
};

// The menus a path is resolved in; menus are opaque handle values.
class MenuReader {
public:
    virtual ~MenuReader() = default;
    // As MenuSource::ReadItem.
    virtual bool ReadItem(uintptr_t menu, int position, size_t textBuffer, MenuItemData& item) = 0;
    // Lets the menu's owner fill or enable the popup at `position`.
    virtual void OpenForInspection(uintptr_t menu, int position) = 0;
    // Whole-name comparison ignoring letter case.
    virtual bool SameName(const std::string& a, const std::string& b) = 0;
};

// Reads each menu directly when the direct source knows it, and through the
// fallback source (may be null) only when it does not: a failed read of a
// known menu, such as past its last item, never reaches the fallback.
class TwoSourceMenuReader : public MenuReader {
public:
    TwoSourceMenuReader(MenuSource& direct, MenuSource* fallback) : direct_(direct), fallback_(fallback) {}
    bool ReadItem(uintptr_t menu, int position, size_t textBuffer, MenuItemData& item) override;
    int ItemCount(uintptr_t menu);

private:
    MenuSource& SourceOf(uintptr_t menu);
    MenuSource& direct_;
    MenuSource* fallback_;
};

struct MenuMatch {
    bool found = false;
    MenuItemData item;   // the item the last path component named
    std::string path;    // the path as the menu writes its names
    uintptr_t menu = 0;  // the menu that holds the item
    std::string failure; // when not found: how far the path resolved
};

// Resolves "File\Save As" from `menuBar` down: each component names the
// first item of its menu with that name; one trailing backslash is allowed.
MenuMatch FindMenuItem(MenuReader& reader, uintptr_t menuBar, const std::string& path);

// Appends "\"<path>\"\r\n" for every named leaf item below `menu`, depth
// first in position order, opening each popup for inspection before it is read.
void ListMenuLeaves(MenuReader& reader, uintptr_t menu, const std::string& prefix, std::string& out);

} // namespace tavro

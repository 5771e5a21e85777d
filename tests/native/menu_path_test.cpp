// Menu paths on a fake menu tree (names, matching, canonical paths, the
// listing bytes, inspection before reading) and the control listing rules.
#include "tools/ControlListing.h"
#include "tools/ControlRecords.h"
#include "tools/MenuPath.h"

#include <gtest/gtest.h>

#include <map>
#include <strings.h>
#include <vector>

namespace {

using tavro::MenuItemData;

// Menus are numbered; item submenus name other menus. Menu 3 is filled
// only once it was opened for inspection.
class FakeMenus : public tavro::MenuReader, public tavro::MenuSource {
public:
    std::map<uintptr_t, std::vector<MenuItemData>> menus = {
        {1, {{"&File", 0, 0, 2}, {"&View", 0, 0, 4}}},
        {2,
         {{"&New\tCtrl+N", 0, 101, 0},
          {"", 0, 0, 0},
          {"Save &As...\tCtrl+S", 3, 102, 0},
          {"&Open", 8, 103, 0},
          {"Open", 0, 104, 3}}},
        {4, {{"Recent", 0, 0, 3}}},
        {5, {{std::string(300, 'x') + "\tCtrl+L", 0, 501, 0}}},
    };
    std::string opened;
    int reads = 0;

    bool ReadItem(uintptr_t menu, int position, size_t textBuffer, MenuItemData& item) override
    {
        ++reads;
        const auto& items = menus[menu];
        if (position < 0 || static_cast<size_t>(position) >= items.size())
            return false;
        item = items[static_cast<size_t>(position)];
        item.text = item.text.substr(0, textBuffer - 1);
        return true;
    }
    void OpenForInspection(uintptr_t menu, int position) override
    {
        opened += std::to_string(menu) + ":" + std::to_string(position) + " ";
        if (menus[menu][static_cast<size_t>(position)].submenu == 3)
            menus[3] = {{"Alpha", 0, 201, 0}};
    }
    bool SameName(const std::string& a, const std::string& b) override { return strcasecmp(a.c_str(), b.c_str()) == 0; }
    int ItemCount(uintptr_t menu) override
    {
        ++reads;
        return menus.count(menu) ? static_cast<int>(menus[menu].size()) : -1;
    }
};

// The host's reader shape: menus from a direct source, a fallback for the
// menus it does not know.
class TwoSources : public tavro::TwoSourceMenuReader {
public:
    TwoSources(FakeMenus& direct, FakeMenus& fallback, FakeMenus& owner)
        : TwoSourceMenuReader(direct, &fallback), owner_(owner)
    {}
    void OpenForInspection(uintptr_t menu, int position) override { owner_.OpenForInspection(menu, position); }
    bool SameName(const std::string& a, const std::string& b) override { return owner_.SameName(a, b); }

private:
    FakeMenus& owner_;
};

TEST(MenuPath, ItemNamesAndTrimming)
{
    EXPECT_EQ(tavro::MenuItemName("Save &As...\tCtrl+S"), "Save As");
    EXPECT_EQ(tavro::MenuItemName("a.b&&c\td\te"), "abc");
    EXPECT_EQ(tavro::MenuItemName("\tx"), "");
    EXPECT_EQ(tavro::TrimWhiteSpace(" \t\r\nFile\\New \v\f"), "File\\New");
    EXPECT_EQ(tavro::TrimWhiteSpace(" \t "), "");
}

TEST(MenuPath, ResolvesWholeNamesIgnoringCase)
{
    const struct {
        const char* path;
        bool found;
        const char* canonical;
        unsigned id;
    } cases[] = {
        {"file\\save as", true, "File\\Save As", 102},
        {"FILE\\SAVE AS", true, "File\\Save As", 102},
        {"File\\Save As...", false, "", 0},
        {"File\\Save", false, "", 0},
        {"File\\", true, "File", 0},
        {"File\\\\", false, "", 0},
        {"\\File", false, "", 0},
        {"File\\\\Open", false, "", 0},
        {" File", false, "", 0},
        {"", false, "", 0},
        {"File\\Open", true, "File\\Open", 103}, // the first of two
        {"File\\Open\\Alpha", false, "", 0},     // the second would lead on
        {"File\\New\\x", false, "", 0},
        {"view\\recent\\alpha", true, "View\\Recent\\Alpha", 201},
    };
    for (const auto& c : cases) {
        FakeMenus menus;
        const tavro::MenuMatch m = tavro::FindMenuItem(menus, 1, c.path);
        EXPECT_EQ(m.found, c.found) << c.path;
        EXPECT_EQ(m.path, c.canonical) << c.path;
        EXPECT_EQ(m.item.id, c.id) << c.path;
    }
    const struct {
        const char* path;
        const char* failure;
    } failures[] = {{"Xyz", "no menu item \"Xyz\""},
                    {"file\\Sav", "\"File\" found, no item \"Sav\" under it"},
                    {"File\\New\\x", "\"File\\New\" found, no item \"x\" under it"}};
    for (const auto& f : failures) {
        FakeMenus menus;
        EXPECT_EQ(tavro::FindMenuItem(menus, 1, f.path).failure, f.failure) << f.path;
    }
    FakeMenus menus;
    EXPECT_EQ(tavro::FindMenuItem(menus, 1, "View\\Recent\\Alpha").menu, 3u);
    EXPECT_EQ(menus.opened, "1:1 4:0 ");
    EXPECT_FALSE(tavro::FindMenuItem(menus, 0, "File").found);
}

TEST(MenuPath, ListsLeavesDepthFirstByteForByte)
{
    FakeMenus menus;
    std::string out;
    tavro::ListMenuLeaves(menus, 1, "", out);
    EXPECT_EQ(out, "\"File\\New\"\r\n\"File\\Save As\"\r\n\"File\\Open\"\r\n\"File\\Open\\Alpha\"\r\n"
                   "\"View\\Recent\\Alpha\"\r\n");
    EXPECT_EQ(menus.opened, "1:0 2:4 1:1 4:0 ");
    out.clear();
    tavro::ListMenuLeaves(menus, 4, "Pre\\fix", out);
    EXPECT_EQ(out, "\"Pre\\fix\\Recent\\Alpha\"\r\n");
    out.clear();
    tavro::ListMenuLeaves(menus, 5, "", out); // a long text is listed whole
    EXPECT_EQ(out, "\"" + std::string(300, 'x') + "\"\r\n");
}

// The fallback reads only menus the direct source does not know: where every
// menu reads directly (Windows), no walk asks it, not even past a menu's
// last item; where none does (another process's menus under Wine), the
// fallback gives the same results.
TEST(MenuPath, FallbackOnlyForMenusNotReadableDirectly)
{
    for (bool directKnowsAll : {true, false}) {
        FakeMenus known, unknown;
        unknown.menus.clear();
        FakeMenus& direct = directKnowsAll ? known : unknown;
        FakeMenus& fallback = directKnowsAll ? unknown : known;
        TwoSources reader(direct, fallback, known);
        std::string out;
        tavro::ListMenuLeaves(reader, 1, "", out);
        EXPECT_EQ(out, "\"File\\New\"\r\n\"File\\Save As\"\r\n\"File\\Open\"\r\n\"File\\Open\\Alpha\"\r\n"
                       "\"View\\Recent\\Alpha\"\r\n")
            << directKnowsAll;
        EXPECT_EQ(tavro::FindMenuItem(reader, 1, "view\\recent\\alpha").path, "View\\Recent\\Alpha");
        EXPECT_FALSE(tavro::FindMenuItem(reader, 1, "File\\Nothing").found);
        EXPECT_EQ(reader.ItemCount(2), 5);
        if (directKnowsAll)
            EXPECT_EQ(unknown.reads, 0);
        else
            EXPECT_GT(known.reads, 0);
    }
}

// The records of the tab, list-view and notification messages, for a target
// of either bitness: the fields sit where the system's headers put them
// (the Windows builds check their own bitness against the headers).
TEST(ControlRecords, LayoutsOfBothBitnesses)
{
    const struct {
        bool target64;
        unsigned tabText, tabMax, tabSize, listSub, listText, listMax, listSize, nmId, nmCode, nmSize;
    } rows[] = {{false, 12, 16, 28, 8, 20, 24, 60, 4, 8, 12}, {true, 16, 24, 40, 8, 24, 32, 88, 8, 16, 24}};
    auto at = [](const std::vector<unsigned char>& r, unsigned offset, unsigned size) {
        uint64_t v = 0;
        for (unsigned k = 0; k < size; ++k)
            v |= static_cast<uint64_t>(r.at(offset + k)) << (8 * k);
        return v;
    };
    for (const auto& row : rows) {
        const tavro::ControlRecordLayout& l = tavro::RecordLayoutFor(row.target64);
        const unsigned ptr = row.target64 ? 8 : 4;
        const auto tab = tavro::TabTextRecord(l, 0x7FFE1000, 255);
        ASSERT_EQ(tab.size(), row.tabSize) << row.target64;
        EXPECT_EQ(at(tab, 0, 4), 1u); // text only
        EXPECT_EQ(at(tab, row.tabText, ptr), 0x7FFE1000u);
        EXPECT_EQ(at(tab, row.tabMax, 4), 255u);
        const auto item = tavro::ListTextRecord(l, 2, 0x7FFE1000, 255);
        ASSERT_EQ(item.size(), row.listSize) << row.target64;
        EXPECT_EQ(at(item, row.listSub, 4), 2u);
        EXPECT_EQ(at(item, row.listText, ptr), 0x7FFE1000u);
        EXPECT_EQ(at(item, row.listMax, 4), 255u);
        const auto header = tavro::NotifyRecord(l, -2, 118, static_cast<uint32_t>(-551));
        ASSERT_EQ(header.size(), row.nmSize) << row.target64;
        EXPECT_EQ(at(header, 0, ptr), row.target64 ? ~uint64_t{1} : 0xFFFFFFFEu); // sign-extended handle
        EXPECT_EQ(at(header, row.nmId, ptr), 118u);
        EXPECT_EQ(at(header, row.nmCode, 4), static_cast<uint32_t>(-551));
    }
}

TEST(ControlListing, ClassificationTable)
{
    const struct {
        const char* cls;
        unsigned long style;
        const char* type;
        int code;
    } cases[] = {
        {"Button", 0, "PushButton", 1},
        {"Button", 0x50010001, "PushButton", 1},
        {"Button", 2, "CheckBox", 2},
        {"Button", 3, "CheckBox", 2},
        {"Button", 4, "RadioButton", 3},
        {"Button", 9, "RadioButton", 3},
        {"Button", 5, "3StateButton", 4},
        {"Button", 6, "3StateButton", 4},
        {"Button", 7, "GroupBox", 5},
        {"Button", 8, "PushButton", 1},
        {"Button", 15, "PushButton", 1},
        {"button", 2, "button", 0},
        {"Edit", 0, "EditSingle", 6},
        {"Edit", 4, "EditMulti", 7},
        {"ListBox", 0x1, "ListBoxSingleSel", 9},
        {"ListBox", 0x8, "ListBoxMultiSel", 10},
        {"ComboBox", 1, "ComboSimple", 11},
        {"ComboBox", 2, "ComboDropDown", 12},
        {"ComboBox", 0x13, "ComboDropList", 13},
        {"ComboBox", 0, "ComboBox", 0},
        {"ComboBox", 4, "ComboBox", 0},
        {"ScrollBar", 0, "ScrollBarH", 14},
        {"ScrollBar", 1, "ScrollBarV", 15},
        {"Static", 0xF, "Static", 16},
        {"RICHEDIT50W", 0, "RichEdit", 17},
        {"RICHEDIT", 0, "RichEdit", 17},
        {"RichEdit20A", 0, "RichEdit20A", 0},
        {"RICHEDI", 0, "RICHEDI", 0},
        {"SysTabControl32", 0, "TabControl", 18},
        {"SysTreeView32", 0, "TreeView", 19},
        {"SysListView32", 0, "ListView", 20},
        {"#32770", 0, "#32770", 0},
        {"", 0, "", 0},
    };
    for (const auto& c : cases) {
        const tavro::ControlKind kind = tavro::ClassifyControl(c.cls, c.style);
        EXPECT_EQ(kind.typeName, c.type) << c.cls << " " << c.style;
        EXPECT_EQ(kind.code, c.code) << c.cls << " " << c.style;
    }
}

TEST(ControlListing, LinesAndIndexFields)
{
    EXPECT_EQ(tavro::ControlIndexField(3, false, false), "3\t");
    EXPECT_EQ(tavro::ControlIndexField(12, true, true), "[12]*\t");
    EXPECT_EQ(tavro::ControlIndexField(1, false, true), "[1]\t");
    EXPECT_EQ(tavro::ControlListingLine("1\t", "EditMulti", true, false, "a\nb\rc"),
              "1\tEditMulti\tTrue\tFalse\ta\r\n");
    EXPECT_EQ(tavro::ControlListingLine("\t", "Static", false, true, "x\r\ny"), "\tStatic\tFalse\tTrue\tx\r\n");
    EXPECT_EQ(tavro::ControlListingLine("2\t", "Button", true, true, "p\rq\nr"), "2\tButton\tTrue\tTrue\tp\r\n");
    EXPECT_STREQ(tavro::kControlListingHeader, "Index\tCtrlType\tEnabled\tVisible\tText(partial)\r\n");
}

} // namespace

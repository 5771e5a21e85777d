// MidiTools window driving inside the host application's own process, the
// way a script running in the host uses it: host menus, tab texts and
// list-view rows (records in the caller's memory), the target-window rule
// and window enumeration. Needs a display; skipped without one.
#include "tests/wine/tools_app.h"
#include "tools/MidiToolsCtrl.h"
#include "tests/wine/test_util.h"

#include <gtest/gtest.h>

namespace {

using wt::Call;
using wt::Pump;
using Tools = wt::Made<CMidiToolsCtrl>;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_ = toolsapp::CreateMainWindow("");
        if (!main_)
            GTEST_SKIP() << "no window system";
        Pump();
        toolsapp::log.clear();
    }
    void TearDown() override
    {
        if (dialog_)
            DestroyWindow(dialog_);
        if (main_)
            DestroyWindow(main_);
        Pump();
    }
    void OpenDialog()
    {
        dialog_ = toolsapp::CreateControlsDialog(main_);
        SetForegroundWindow(dialog_);
        Pump();
        ASSERT_EQ(GetForegroundWindow(), dialog_);
        toolsapp::log.clear();
    }
    Tools tools_;
    HWND main_ = nullptr;
    HWND dialog_ = nullptr;
};

TEST_F(WindowTest, MenuPathsStatesAndCommands)
{
    ASSERT_TRUE(tools_->SetCurrentHost("TavroToolsApp", ""));
    EXPECT_EQ(tools_->GetHostWindowText(), "TAVRO Tools Test");
    // Disabled means both low state bits. An inactive item has only bit 2; a
    // grayed item has both on Windows, only bit 1 under Wine.
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    const struct {
        const char* path;
        BOOL exists;
        long enabled, checked;
    } paths[] = {
        {"file\\save as", TRUE, 1, 0},
        {"FILE\\SAVE AS", TRUE, 1, 0},
        {"File\\Save As...", FALSE, -1, -1},
        {"File\\", TRUE, 1, 0},
        {"\\File", FALSE, -1, -1},
        {"File\\\\Open", FALSE, -1, -1},
        {" File", FALSE, -1, -1},
        {"File\\Disabled", TRUE, 0, 0},
        {"File\\Checked", TRUE, 1, 1},
        {"File\\Zero", TRUE, -1, -1},
        {"File\\New\\x", FALSE, -1, -1},
        {"View\\Recent\\Beta", TRUE, 1, 0},
        {"Tools\\Grayed", TRUE, wine ? 1 : 0, 0},
        {"Tools\\Inactive", TRUE, 1, 0},
    };
    for (const auto& p : paths) {
        EXPECT_EQ(tools_->IsHostMenu(p.path), p.exists) << p.path;
        EXPECT_EQ(tools_->IsHostMenuEnabled(p.path), p.enabled) << p.path;
        EXPECT_EQ(tools_->IsHostMenuChecked(p.path), p.checked) << p.path;
    }
    // Sent commands run before the call returns; the first "Open" is used.
    EXPECT_TRUE(tools_->CallHostMenu("file\\open", TRUE));
    EXPECT_FALSE(tools_->CallHostMenu("File\\Refuse", TRUE)); // the host answered 1
    EXPECT_FALSE(tools_->CallHostMenu("File\\Disabled", TRUE));
    EXPECT_FALSE(tools_->CallHostMenu("File\\Zero", TRUE));
    EXPECT_TRUE(tools_->CallHostMenu("File\\Checked", TRUE));
    EXPECT_EQ(tools_->IsHostMenuChecked("File\\Checked"), 0);
    EXPECT_TRUE(tools_->CallHostMenu("File\\New", FALSE)); // posted: runs when messages are handled
    EXPECT_EQ(toolsapp::log, "COMMAND 202 0\nCOMMAND 208 0\nCOMMAND 206 0\n");
    Pump();
    EXPECT_EQ(toolsapp::log.substr(toolsapp::log.size() - 14), "COMMAND 201 0\n");
}

TEST_F(WindowTest, MenuListingsNamesAndCounts)
{
    ASSERT_TRUE(tools_->SetCurrentHost("", "TAVRO Tools Test"));
    EXPECT_EQ(tools_->GetMenusFromHost(""),
              "\"File\\New\"\r\n\"File\\Open\"\r\n\"File\\Save As\"\r\n\"File\\Open\"\r\n\"File\\Disabled\"\r\n"
              "\"File\\Checked\"\r\n\"File\\Zero\"\r\n\"File\\Refuse\"\r\n\"File\\Exit\"\r\n"
              "\"View\\Recent\\Alpha\"\r\n\"View\\Recent\\Beta\"\r\n\"Tools\\Controls\"\r\n\"Tools\\Stall\"\r\n"
              "\"Tools\\Grayed\"\r\n\"Tools\\Inactive\"\r\n");
    EXPECT_EQ(tools_->GetMenusFromHost(" view\\recent\t"), "\"View\\Recent\\Alpha\"\r\n\"View\\Recent\\Beta\"\r\n");
    EXPECT_EQ(tools_->GetMenusFromHost("File\\New"), "");
    EXPECT_EQ(tools_->GetMenusFromHost("Nothing"), "");
    const struct {
        const char* root;
        long count;
    } counts[] = {{"", 3}, {"file", 10}, {"File\\New", 0}, {"View\\Recent", 3}, {"Nothing", 0}};
    for (const auto& c : counts)
        EXPECT_EQ(tools_->GetHostSubMenuCount(c.root), c.count) << c.root;
    const struct {
        const char* root;
        long index;
        const char* name;
    } names[] = {{"", 1, "File"},
                 {"file", 0, ""},
                 {"file", 99, "File"},
                 {"File", 4, "File\\"},
                 {"file", 3, "File\\Save As"},
                 {"view\\recent", 2, "View\\Recent\\Alpha"},
                 {"Nothing", 1, ""}};
    for (const auto& n : names)
        EXPECT_EQ(tools_->GetHostSubMenuName(n.root, n.index), n.name) << n.root << " " << n.index;

    // No host: failure results, and a host that went away is no host.
    EXPECT_FALSE(tools_->SetCurrentHost("NoSuchClass", ""));
    EXPECT_TRUE(tools_->SetCurrentHost("", ""));
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(tools_->GetHostWindowText(), "?");
        EXPECT_EQ(tools_->GetMenusFromHost(""), "");
        EXPECT_EQ(tools_->GetHostSubMenuName("", 1), "");
        EXPECT_EQ(tools_->GetHostSubMenuCount(""), 0);
        EXPECT_EQ(tools_->IsHostMenuEnabled("File\\New"), -1);
        EXPECT_FALSE(tools_->CallHostMenu("File\\New", TRUE));
        EXPECT_FALSE(tools_->SetHostToForeground());
        if (pass == 0) {
            ASSERT_TRUE(tools_->SetCurrentHost("TavroToolsApp", ""));
            DestroyWindow(main_);
            main_ = nullptr;
        }
    }
}

TEST_F(WindowTest, TabsListViewRowsAndNotifications)
{
    OpenDialog();
    EXPECT_EQ(tools_->GetControlType(18), "TabControl");
    EXPECT_EQ(tools_->GetControlItemsCount(18), 2);
    EXPECT_EQ(tools_->GetControlItemText(18, 1), "Second");
    EXPECT_EQ(tools_->GetControlItemText(18, 5), "");
    EXPECT_EQ(tools_->SetControlCurSel(18, 1), 77); // the dialog's WM_NOTIFY reply
    EXPECT_EQ(tools_->GetControlCurSel(18), 1);
    EXPECT_EQ(toolsapp::log, "NOTIFY 118 -551\n");
    EXPECT_EQ(tools_->GetControlItemsCount(20), 2);
    EXPECT_EQ(tools_->GetControlItemText(20, 0), "a\t\tc");
    EXPECT_EQ(tools_->GetControlItemText(20, 1), "b\tc");
    EXPECT_EQ(tools_->GetControlItemData(20, 9), 9);
    EXPECT_EQ(tools_->GetControlCurSel(20), 0);
    EXPECT_EQ(tools_->SetControlCurSel(20, 1), -1);
}

// A chosen control parent holds while its window stays in the foreground,
// and is forgotten for good once another window came forward.
TEST_F(WindowTest, ControlParentFollowsTheForegroundWindow)
{
    OpenDialog();
    EXPECT_FALSE(tools_->SetControlWindow(-1)); // already at the top
    EXPECT_FALSE(tools_->SetControlWindow(7));  // an edit without children
    EXPECT_FALSE(tools_->SetControlWindow(99));
    ASSERT_TRUE(tools_->SetControlWindow(21));
    EXPECT_EQ(tools_->GetNumControls(0), 2);
    EXPECT_EQ(tools_->GetControlText(2), "inner text");
    EXPECT_TRUE(tools_->SetControlFocus(2));
    EXPECT_TRUE(tools_->SetControlWindow(-1)); // the dialog again
    EXPECT_EQ(tools_->GetNumControls(0), 23);
    EXPECT_NE(tools_->EnumControls().find("\r\n[21]\tTavroPanel\tTrue\tTrue\t\r\n"), std::string::npos);
    ASSERT_TRUE(tools_->SetControlWindow(21));
    SetForegroundWindow(main_);
    EXPECT_EQ(tools_->GetNumControls(0), 0); // the main window has no children
    SetForegroundWindow(dialog_);
    EXPECT_EQ(tools_->GetNumControls(0), 23);
    EXPECT_EQ(tools_->GetForegroundClassName(), "#32770");
    EXPECT_EQ(tools_->GetForegroundWindowName(), "Controls");
}

TEST_F(WindowTest, EnumWindowsFillsTwoArraysByReference)
{
    VARIANT classes, names;
    VariantInit(&classes);
    names.vt = VT_ARRAY | VT_VARIANT; // an old array to be replaced
    names.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    Call call(tools_.dispatch(), 70);
    ASSERT_EQ(call.Ref(&classes).Ref(&names).Run(), S_OK);
    ASSERT_EQ(call.result->vt, VT_I4);
    const LONG count = call.result->lVal;
    ASSERT_EQ(names.vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(classes.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(static_cast<LONG>(names.parray->rgsabound[0].cElements), count);
    EXPECT_EQ(static_cast<LONG>(classes.parray->rgsabound[0].cElements), count);
    bool found = false;
    for (LONG k = 0; k < count; ++k) {
        VARIANT title, cls;
        SafeArrayGetElement(names.parray, &k, &title);
        SafeArrayGetElement(classes.parray, &k, &cls);
        ASSERT_EQ(title.vt, VT_BSTR);
        found = found ||
                (tavro::ToAnsi(title.bstrVal) == "TAVRO Tools Test" && tavro::ToAnsi(cls.bstrVal) == "TavroToolsApp");
        VariantClear(&title);
        VariantClear(&cls);
    }
    EXPECT_TRUE(found);
    // Arguments of the wrong type give the failure result, not an error.
    Call checked(tools_.dispatch(), 13); // IsHostMenuChecked(an array)
    ASSERT_EQ(checked.Ref(&names).Run(), S_OK);
    EXPECT_EQ(checked.result->vt, VT_BOOL); // -1, "not found", is nonzero: True
    EXPECT_EQ(checked.result->boolVal, VARIANT_TRUE);
    Call text(tools_.dispatch(), 42); // GetControlItemText("x", 0)
    ASSERT_EQ(text.Text("x").Long(0).Run(), S_OK);
    EXPECT_EQ(wt::ResultText(*text.result.get()), "");
    VariantClear(&classes);
    VariantClear(&names);
}

} // namespace

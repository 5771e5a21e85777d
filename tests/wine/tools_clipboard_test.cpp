// MidiTools clipboard methods: text with and without terminating zero,
// formats by table name, registered name and the empty name, raw bytes.
#include "tests/wine/tools_test_util.h"

#include <gtest/gtest.h>

namespace {

using toolstest::Call;
using toolstest::Tools;

constexpr DISPID kGetClipboardData = 51;
constexpr DISPID kSetClipboardData = 52;
constexpr DISPID kIsClipboardFormatAvailable = 64;

// The clipboard's raw block of a format, read with plain Win32 calls.
std::string RawClipboard(UINT id)
{
    std::string bytes = "<absent>";
    if (!OpenClipboard(nullptr))
        return "<cannot open>";
    if (HGLOBAL h = GetClipboardData(id)) {
        bytes.assign(static_cast<const char*>(GlobalLock(h)), GlobalSize(h));
        GlobalUnlock(h);
    }
    CloseClipboard();
    return bytes;
}

// Through IDispatch, as scripts call them: one BSTR character per byte.
TEST(ToolsClipboard, FormatRoundTrips)
{
    Tools tools;
    const std::string bytes = toolstest::AllBytes();
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::string fresh = "TAVRO fresh " + pid;
    const struct {
        std::string setName, data, getName;
        UINT id; // 0: a registered format, looked up by name
    } cases[] = {
        // Wine makes sure text formats end in a zero, so the bytes as placed
        // (no zero added) show in other formats.
        {"TEXT", std::string("abc\0", 4), "text", CF_TEXT},
        {"Riff", std::string("a\0b", 3), "RIFF", CF_RIFF},
        {"", "empty name", "", 18},
        {"dib", bytes, "DIB", CF_DIB},
        {fresh, bytes, "tavro FRESH " + pid, 0}, // registered by the control on first use
    };
    for (const auto& c : cases) {
        Call set(tools.dispatch(), kSetClipboardData);
        ASSERT_EQ(set.Text(c.setName).Text(c.data).Run(), S_OK) << c.setName;
        const UINT id = c.id ? c.id : RegisterClipboardFormatA(c.getName.c_str());
        EXPECT_EQ(RawClipboard(id), c.data) << "placed as \"" << c.setName << "\"";
        Call get(tools.dispatch(), kGetClipboardData);
        ASSERT_EQ(get.Text(c.getName).Run(), S_OK) << c.getName;
        EXPECT_EQ(toolstest::ResultText(get.result), c.data) << "read as \"" << c.getName << "\"";
        Call available(tools.dispatch(), kIsClipboardFormatAvailable);
        ASSERT_EQ(available.Text(c.getName).Run(), S_OK) << c.getName;
        EXPECT_EQ(available.result.vt, VT_BOOL);
        EXPECT_EQ(available.result.boolVal, VARIANT_TRUE) << c.getName;
        EXPECT_TRUE(tools->IsClipboardFormatAvailable(""));
    }
    // Only the last placed format is there now.
    EXPECT_EQ(tools->GetClipboardData("TEXT"), "");
    EXPECT_FALSE(tools->IsClipboardFormatAvailable("text"));
    EXPECT_FALSE(tools->IsClipboardFormatAvailable("TAVRO never placed"));

    // Empty data empties the clipboard.
    tools->SetClipboardData(fresh, "");
    EXPECT_FALSE(tools->IsClipboardFormatAvailable(""));
}

TEST(ToolsClipboard, TextEndsAtItsFirstZero)
{
    Tools tools;
    const struct {
        std::string set, text;
    } cases[] = {
        {"hello", "hello"},
        {std::string("cut\0here", 8), "cut"},
        {"\xE4\xF6\xFC line\r\n", "\xE4\xF6\xFC line\r\n"},
        {"", ""},
    };
    for (const auto& c : cases) {
        tools->SetClipboardText(c.set);
        if (!c.text.empty()) {
            EXPECT_EQ(RawClipboard(CF_TEXT).substr(0, c.text.size() + 1), c.text + '\0') << c.text;
        }
        EXPECT_EQ(tools->GetClipboardText(), c.text);
        EXPECT_EQ(tools->GetClipboardTextLength(), static_cast<long>(c.text.size()));
        EXPECT_EQ(tools->IsClipboardFormatAvailable("") != 0, !c.text.empty()) << c.text;
    }
}

TEST(ToolsClipboard, BitmapIsAvailableButHasNoBytes)
{
    Tools tools;
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, CreateBitmap(4, 4, 1, 1, nullptr));
    CloseClipboard();
    EXPECT_TRUE(tools->IsClipboardFormatAvailable("Bitmap"));
    EXPECT_EQ(tools->GetClipboardData("BITMAP"), "");
}

} // namespace

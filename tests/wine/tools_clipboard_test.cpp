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
        const char* p = static_cast<const char*>(GlobalLock(h));
        bytes.assign(p, GlobalSize(h));
        GlobalUnlock(h);
    }
    CloseClipboard();
    return bytes;
}

TEST(ToolsClipboard, FormatRoundTrips)
{
    Tools tools;
    const std::string bytes = toolstest::AllBytes();
    const struct {
        const char* setName;
        std::string data;
        const char* getName;
        UINT id; // 0: a registered format, looked up by name
    } cases[] = {
        // Wine makes sure text formats end in a zero, so the bytes as placed
        // (no zero added) show in other formats.
        {"TEXT", std::string("abc\0", 4), "text", CF_TEXT},
        {"wave", "abc", "WAVE", CF_WAVE},
        {"Riff", std::string("a\0b", 3), "RIFF", CF_RIFF},
        {"", "empty name", "", 18},
        {"dib", bytes, "DIB", CF_DIB},
        {"TAVRO Test Bytes", bytes, "tavro test bytes", 0},
    };
    for (const auto& c : cases) {
        tools->SetClipboardData(c.setName, c.data);
        const UINT id = c.id ? c.id : RegisterClipboardFormatA(c.getName);
        EXPECT_EQ(RawClipboard(id), c.data) << "placed as \"" << c.setName << "\"";
        EXPECT_EQ(tools->GetClipboardData(c.getName), c.data) << "read as \"" << c.getName << "\"";
        EXPECT_TRUE(tools->IsClipboardFormatAvailable(c.getName)) << c.getName;
        EXPECT_TRUE(tools->IsClipboardFormatAvailable(""));
    }
    // Only the last placed format is there now.
    EXPECT_EQ(tools->GetClipboardData("TEXT"), "");
    EXPECT_FALSE(tools->IsClipboardFormatAvailable("text"));
    EXPECT_FALSE(tools->IsClipboardFormatAvailable("TAVRO never placed"));
    EXPECT_EQ(tools->GetClipboardData("TAVRO never placed"), "");
}

TEST(ToolsClipboard, TextEndsAtItsFirstZero)
{
    Tools tools;
    const struct {
        std::string set;
        std::string text;
    } cases[] = {
        {"hello", "hello"},
        {std::string("cut\0here", 8), "cut"},
        {"\xE4\xF6\xFC line\r\n", "\xE4\xF6\xFC line\r\n"},
    };
    for (const auto& c : cases) {
        tools->SetClipboardText(c.set);
        EXPECT_EQ(RawClipboard(CF_TEXT).substr(0, c.text.size() + 1), c.text + '\0') << c.text;
        EXPECT_EQ(tools->GetClipboardText(), c.text);
        EXPECT_EQ(tools->GetClipboardTextLength(), static_cast<long>(c.text.size()));
    }
}

TEST(ToolsClipboard, EmptyDataEmptiesTheClipboard)
{
    Tools tools;
    tools->SetClipboardText("something");
    ASSERT_TRUE(tools->IsClipboardFormatAvailable(""));
    tools->SetClipboardText("");
    EXPECT_FALSE(tools->IsClipboardFormatAvailable(""));
    EXPECT_EQ(tools->GetClipboardTextLength(), 0);

    tools->SetClipboardText("something");
    tools->SetClipboardData("TAVRO Test Bytes", "");
    EXPECT_FALSE(tools->IsClipboardFormatAvailable(""));
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

TEST(ToolsClipboard, NewNamesAreRegistered)
{
    Tools tools;
    const std::string name = "TAVRO fresh " + std::to_string(GetCurrentProcessId());
    tools->SetClipboardData(name, "data");
    const UINT id = RegisterClipboardFormatA(name.c_str());
    EXPECT_TRUE(IsClipboardFormatAvailable(id));
    EXPECT_EQ(RawClipboard(id), "data");
}

TEST(ToolsClipboard, ScriptStringsAreOneCharacterPerByte)
{
    Tools tools;
    const std::string bytes = toolstest::AllBytes();
    Call set(tools.dispatch(), kSetClipboardData);
    ASSERT_EQ(set.Text("TAVRO Test Bytes").Text(bytes).Run(), S_OK);
    EXPECT_EQ(RawClipboard(RegisterClipboardFormatA("TAVRO Test Bytes")), bytes);

    Call get(tools.dispatch(), kGetClipboardData);
    ASSERT_EQ(get.Text("TAVRO Test Bytes").Run(), S_OK);
    ASSERT_EQ(get.result.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(get.result.bstrVal), bytes.size());
    EXPECT_EQ(toolstest::ResultText(get.result), bytes);

    Call available(tools.dispatch(), kIsClipboardFormatAvailable);
    ASSERT_EQ(available.Text("tavro test BYTES").Run(), S_OK);
    EXPECT_EQ(available.result.vt, VT_BOOL);
    EXPECT_EQ(available.result.boolVal, VARIANT_TRUE);
}

} // namespace

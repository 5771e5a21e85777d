// MidiTools.SendKeys typing into an edit control of a focused test window
// (needs a display; skipped without one), and its errors through Invoke.
#include "tests/wine/tools_test_util.h"

#include <gtest/gtest.h>

namespace {

using toolstest::Call;
using toolstest::Tools;

constexpr DISPID kSendKeys = 63;

// F16 ends every batch of keys the tests send; the edit control ignores
// it, and its release shows that all keys before it have been handled.
bool g_sawEndMarker = false;
WNDPROC g_editProc = nullptr;

LRESULT CALLBACK MarkerEditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_KEYUP && wParam == VK_F16)
        g_sawEndMarker = true;
    return CallWindowProcA(g_editProc, hwnd, msg, wParam, lParam);
}

class SendKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame_ = CreateWindowExA(0, "STATIC", "TAVRO SendKeys test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400,
                                 200, nullptr, nullptr, nullptr, nullptr);
        if (!frame_)
            GTEST_SKIP() << "no window system (error " << GetLastError() << ")";
        edit_ = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 380, 150,
                                frame_, nullptr, nullptr, nullptr);
        ASSERT_NE(edit_, nullptr);
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MarkerEditProc)));
        SetForegroundWindow(frame_);
        SetFocus(edit_);
        HandlePendingMessages();
        ASSERT_EQ(GetFocus(), edit_);
    }

    void TearDown() override
    {
        if (frame_)
            DestroyWindow(frame_);
    }

    static void HandlePendingMessages()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    // Clears the edit control, sends the keys and the end marker, handles
    // messages until the marker arrives (bounded) and returns the text.
    std::string Typed(const std::string& keys)
    {
        SetWindowTextA(edit_, "");
        g_sawEndMarker = false;
        tools_->SendKeys(keys + "{F16}");
        for (const DWORD start = GetTickCount(); !g_sawEndMarker;) {
            if (GetTickCount() - start > 20000)
                return "<end marker not seen>";
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            HandlePendingMessages();
        }
        char text[512] = {};
        GetWindowTextA(edit_, text, sizeof(text));
        return text;
    }

    Tools tools_;
    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
};

TEST_F(SendKeysTest, TypesIntoTheFocusedControl)
{
    const struct {
        const char* keys;
        const char* text;
    } cases[] = {
        {"Hello World!", "Hello World!"},
        {"+a+(bc)d(e+)f", "ABCdef"},
        {"ab{bs}c", "ac"},
        {"{a 3}{b 0}c{LEFT 2}X", "aaXac"},
        {"abcd+{LEFT 2}x", "abx"},
        // Wine's keyboard under Xvfb has no key for "(" and ")": not typed here.
        {"{{}{}}{+}{^}{%}{~}{ }", "{}+^%~ "},
        {"{065}", "a"},
        {"a~b{ENTER}c", "a\r\nb\r\nc"},
        {"xyz+{HOME}^c{END}^v", "xyzxyz"}, // Ctrl+C and Ctrl+V
    };
    for (const auto& c : cases)
        EXPECT_EQ(Typed(c.keys), c.text) << "SendKeys(\"" << c.keys << "\")";
}

// Errors are dispatch exceptions with code 2000 and send nothing (the
// texts and the limits are tested natively).
TEST_F(SendKeysTest, FailedOrOversizedStringsSendNothing)
{
    const struct {
        std::string keys;
        const char* description;
    } cases[] = {
        {"+(ab", "( without )"},
        {"ab{nokey}", "NOKEY\r\nInvalid key name"},
        {std::string(511, 'a'), "Sendkeys overflow"},
    };
    for (const auto& c : cases) {
        Call call(tools_.dispatch(), kSendKeys);
        EXPECT_EQ(call.Text(c.keys).Run(), DISP_E_EXCEPTION) << c.keys;
        EXPECT_EQ(static_cast<unsigned long>(call.excep.scode), 0x800A0000ul | 2000) << c.keys;
        EXPECT_EQ(tavro::ToAnsi(call.excep.bstrDescription), c.description) << c.keys.substr(0, 20);
    }
    // Fits the key limit but not the event buffer: no error, no keys.
    Call call(tools_.dispatch(), kSendKeys);
    EXPECT_EQ(call.Text(std::string(503, 'q')).Run(), S_OK);
    EXPECT_EQ(Typed("z"), "z");
}

} // namespace

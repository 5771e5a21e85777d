// MidiTools through IDispatch where a script cannot look: files and the
// clipboard byte for byte against plain Win32 calls, a clipboard held by
// another program, FileFind on a generated tree, RunApp's command line,
// SendKeys typing into a focused window, and the debug output of a script
// that runs under this test as its debugger.
#include "tests/wine/test_util.h"
#include "tools/MidiToolsCtrl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace wt;
using Tools = Made<CMidiToolsCtrl>;

enum : DISPID { kGetClipboardData = 51, kSetClipboardData = 52, kFileRead = 53, kFileWrite = 54, kFileFind = 67 };

std::string AllBytes()
{
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[size_t(i)] = char(i);
    return bytes;
}

// One BSTR character per byte, both ways.
TEST(ToolsFiles, WriteThenReadKeepsEveryByte)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string name = dir / "data.bin";
    for (const std::string& data : {std::string(), AllBytes(), std::string(100000, 'x') + '\0'}) {
        WriteRaw(name, "previous, longer content");
        Call write(tools.dispatch(), kFileWrite);
        EXPECT_EQ(write.Text(name).Text(data).Bool(), "true") << data.size();
        EXPECT_EQ(ReadRaw(name), data) << data.size() << " bytes on disk";
        Call read(tools.dispatch(), kFileRead);
        ASSERT_EQ(read.Text(name).Run(), S_OK);
        EXPECT_EQ(ResultText(*read.result.get()), data) << data.size() << " bytes read";
        EXPECT_EQ(tools->GetFileSize(name), long(data.size()));
    }
}

TEST(ToolsFiles, AppendCopyMoveAndFailures)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string a = dir / "a.txt", b = dir / "b.txt", c = dir / "c.txt", missing = dir / "missing.txt";
    auto state = [&] { return ReadRaw(a) + "|" + ReadRaw(b) + "|" + ReadRaw(c); };
    EXPECT_TRUE(tools->FileAppend(a, "o")); // a missing file is created
    EXPECT_TRUE(tools->FileAppend(a, std::string("n\0", 2)));
    EXPECT_TRUE(tools->FileAppend(a, "e"));
    WriteRaw(b, "two");
    EXPECT_EQ(state(), std::string("on\0e|two|<missing>", 18));
    WriteRaw(a, "one");
    EXPECT_FALSE(tools->FileCopy(a, b, 0));
    EXPECT_EQ(state(), "one|two|<missing>");
    EXPECT_TRUE(tools->FileCopy(a, b, 1));
    EXPECT_EQ(state(), "one|one|<missing>");
    WriteRaw(b, "two");
    EXPECT_FALSE(tools->FileMove(a, b, 0));
    EXPECT_TRUE(tools->FileMove(a, b, 1));
    EXPECT_EQ(state(), "<missing>|one|<missing>");
    EXPECT_TRUE(tools->FileMove(b, c, 0));
    EXPECT_EQ(state(), "<missing>|<missing>|one");

    // Held open for writing by someone else: not readable.
    HANDLE h = CreateFileA(c.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(tools->FileRead(c), "");
    CloseHandle(h);
    EXPECT_TRUE(tools->FileDelete(c));

    const std::string nowhere = dir / "no folder\\x.txt";
    EXPECT_FALSE(tools->FileAppend(nowhere, "x") || tools->FileWrite(nowhere, "x"));
    EXPECT_EQ(tools->FileRead(missing) + std::to_string(tools->GetFileSize(missing)), "0");
    EXPECT_FALSE(tools->FileDelete(missing) || tools->FileCopy(missing, c, 1) || tools->FileMove(missing, c, 1));

    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    const struct {
        std::string path;
        bool file, folder;
    } cases[] = {{b, true, false}, {dir / "sub", false, true}, {dir / "sub\\", false, true}, {"", false, false}};
    WriteRaw(b, "b");
    for (const auto& k : cases) {
        EXPECT_EQ(tools->FileExist(k.path) != 0, k.file) << "FileExist(" << k.path << ")";
        EXPECT_EQ(tools->FolderExist(k.path) != 0, k.folder) << "FolderExist(" << k.path << ")";
    }
    EXPECT_FALSE(tools->FileDelete(dir / "sub"));
    const std::string title = tools->GetFileTitle("C:\\some folder\\name.part.txt");
    EXPECT_TRUE(title == "name.part.txt" || title == "name.part") << title; // known extensions may be hidden
    EXPECT_EQ(tools->GetFileTitle("C:\\some folder\\"), "");
    // A name that cannot fit 260 characters gives empty text, also where the
    // platform's 16-bit lengths would wrap (65,537 gave "A").
    EXPECT_EQ(tools->GetFileTitle(std::string(259, 'A')), std::string(259, 'A'));
    for (size_t n : {260u, 32767u, 65537u})
        EXPECT_EQ(tools->GetFileTitle("C:\\" + std::string(n, 'A')), "") << n << " characters";
}

// RunApp starts the probe program, which writes the command line it saw to
// the file named by TAVRO_PROBE_OUT; "<not started>" when RunApp refuses.
TEST(ToolsRunApp, QuotesProgramAndWholeParameterText)
{
    Tools tools;
    ScratchFolder dir("runapp");
    char self[MAX_PATH];
    const std::string exe(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    const std::string probe = exe.substr(0, exe.find_last_of('\\') + 1) + "runapp_probe.exe";
    const struct {
        std::string app, params, commandLine;
    } cases[] = {
        {"  " + probe + "\t", "\r\n two  words \n", "\"" + probe + "\" \"two  words\""},
        {probe, "   ", "\"" + probe + "\""},
        {" \t", "\r\n ", "<not started>"},
        {dir / "no such program.exe", "x", "<not started>"},
    };
    int serial = 0;
    for (const auto& c : cases) {
        const std::string out = dir / ("cmdline" + std::to_string(++serial) + ".txt");
        SetEnvironmentVariableA("TAVRO_PROBE_OUT", out.c_str());
        std::string seen = "<not started>";
        if (tools->RunApp(c.app, c.params)) {
            // Generous bound: the first process start in a Wine prefix is slow,
            // and the file may be visible a moment before it can be opened.
            for (int i = 0; i < 600 && (seen = ReadRaw(out)) == "<missing>"; ++i)
                Sleep(100);
        }
        EXPECT_EQ(seen, c.commandLine) << "RunApp(" << c.app << ", " << c.params << ")";
    }
}

// ---- FileFind ----

class FileFind : public ::testing::Test {
protected:
    FileFind()
    {
        // Relative path and size; folders end in a backslash.
        const std::pair<const char*, size_t> tree[] = {
            {"A.txt", 10},
            {"b.txt", 5},
            {"c.dat", 5},
            {"sub1\\", 0},
            {"sub1\\x.txt", 7},
            {"sub1\\deep\\", 0},
            {"sub1\\deep\\y.txt", 0},
            {"Sub2\\", 0},
            {"Sub2\\z.txt", 10},
            {"Sub2\\w.TXT", 3},
        };
        for (const auto& [name, size] : tree) {
            if (name[std::strlen(name) - 1] == '\\')
                CreateDirectoryA((dir_ / name).c_str(), nullptr);
            else
                WriteRaw(dir_ / name, std::string(size, 'x'));
        }
    }
    // The paths found, relative to the scratch folder, as "p; p; ".
    std::string Find(const std::string& folder, const std::string& pattern, long subDirs, long sort,
                     bool sorted = false)
    {
        Variant out;
        Call call(tools_.dispatch(), kFileFind);
        EXPECT_EQ(call.Ref(out.get()).Text(folder).Text(pattern).Long(subDirs).Long(sort).Run(), S_OK);
        if (out->vt != (VT_ARRAY | VT_VARIANT))
            return "<vt " + std::to_string(out->vt) + ">";
        LONG lower = -1, upper = -2;
        SafeArrayGetLBound(out->parray, 1, &lower);
        SafeArrayGetUBound(out->parray, 1, &upper);
        EXPECT_EQ(lower, 0);
        EXPECT_EQ(call.result->lVal, upper + 1) << "count and elements";
        const std::string prefix = folder.empty() ? "" : dir_.path();
        std::vector<std::string> paths;
        for (LONG i = 0; i <= upper; ++i) {
            Variant element;
            SafeArrayGetElement(out->parray, &i, element.get());
            const std::string path = ResultText(*element.get());
            EXPECT_EQ(path.compare(0, prefix.size(), prefix), 0) << path;
            paths.push_back(path.substr(std::min(prefix.size(), path.size())));
        }
        if (sorted)
            std::sort(paths.begin(), paths.end());
        std::string text;
        for (const std::string& p : paths)
            text += p + "; ";
        return text;
    }
    std::string Folder(bool trailingBackslash) const
    {
        return trailingBackslash ? dir_.path() : dir_.path().substr(0, dir_.path().size() - 1);
    }

    Tools tools_;
    ScratchFolder dir_{"find"};
};

TEST_F(FileFind, TreeWalkSortModesAndFolders)
{
    // Files of a folder come after everything in its sub-folders, and
    // entries of equal size come with the one found last first, so these
    // orders do not depend on the order the file system lists names in.
    for (bool slash : {false, true}) {
        EXPECT_EQ(Find(Folder(slash), "*.txt", 1, 2),
                  "sub1\\deep\\y.txt; Sub2\\w.TXT; b.txt; sub1\\x.txt; A.txt; Sub2\\z.txt; ");
        EXPECT_EQ(Find(Folder(slash), "*.txt", 1, 5),
                  "sub1\\x.txt; sub1\\deep\\y.txt; b.txt; Sub2\\z.txt; Sub2\\w.TXT; A.txt; ");
    }
    // Other modes keep the order of discovery: the root's own files last.
    const std::string found = Find(Folder(true), "*.txt", 1, 0);
    EXPECT_EQ(Find(Folder(true), "*.txt", 1, 0, true),
              "A.txt; Sub2\\w.TXT; Sub2\\z.txt; b.txt; sub1\\deep\\y.txt; sub1\\x.txt; ");
    EXPECT_GE(std::min(found.find("A.txt"), found.find("b.txt")), found.size() - 14) << found;
    for (long sort : {1L, 6L, -1L})
        EXPECT_EQ(Find(Folder(false), "*.txt", 1, sort), found) << "nSort " << sort;

    // An empty pattern lists folders; each folder is followed by those below it.
    EXPECT_EQ(Find(Folder(false), "", 0, 0, true), "Sub2; sub1; ");
    const std::string all = Find(Folder(true), "", 1, 0);
    EXPECT_TRUE(all == "sub1; sub1\\deep; Sub2; " || all == "Sub2; sub1; sub1\\deep; ") << all;
    EXPECT_EQ(Find(Folder(false), "*", 0, 4), "A.txt; b.txt; c.dat; ");
    EXPECT_EQ(Find(Folder(true), "?.dat", 1, 0), "c.dat; ");
    EXPECT_EQ(Find(dir_ / "nowhere\\", "", 1, 4), "");
    // An empty folder is the current folder; the paths are then relative.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    EXPECT_EQ(Find("", "*.txt", 0, 5), "b.txt; A.txt; ");
    SetCurrentDirectoryA(previous);
}

TEST_F(FileFind, UnclearableResultRaisesError1000)
{
    VARIANT out = Of(VT_ARRAY | VT_VARIANT);
    out.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    ASSERT_EQ(SafeArrayLock(out.parray), S_OK);
    Call call(tools_.dispatch(), kFileFind);
    EXPECT_EQ(call.Ref(&out).Text(Folder(true)).Text("*").Long(0).Long(0).Run(), DISP_E_EXCEPTION);
    EXPECT_EQ(static_cast<unsigned long>(call.excep.scode), 0x800A0000ul | 1000);
    SafeArrayUnlock(out.parray);
    EXPECT_EQ(VariantClear(&out), S_OK);
}

// ---- clipboard ----

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

TEST(ToolsClipboard, FormatsByNameCarryExactBytes)
{
    Tools tools;
    const std::string pid = std::to_string(GetCurrentProcessId());
    const struct {
        std::string setName, data, getName;
        UINT id; // 0: a registered format, looked up by name
    } cases[] = {
        // Wine makes sure text formats end in a zero, so the bytes as placed
        // (no zero added) show in other formats.
        {"TEXT", std::string("abc\0", 4), "text", CF_TEXT},
        {"Riff", std::string("a\0b", 3), "RIFF", CF_RIFF},
        {"", "empty name", "", 18},
        {"dib", AllBytes(), "DIB", CF_DIB},
        {"TAVRO fresh " + pid, AllBytes(), "tavro FRESH " + pid, 0}, // registered on first use
    };
    for (const auto& c : cases) {
        Call set(tools.dispatch(), kSetClipboardData);
        ASSERT_EQ(set.Text(c.setName).Text(c.data).Run(), S_OK) << c.setName;
        EXPECT_EQ(RawClipboard(c.id ? c.id : RegisterClipboardFormatA(c.getName.c_str())), c.data) << c.setName;
        Call get(tools.dispatch(), kGetClipboardData);
        ASSERT_EQ(get.Text(c.getName).Run(), S_OK) << c.getName;
        EXPECT_EQ(ResultText(*get.result.get()), c.data) << "read as \"" << c.getName << "\"";
        EXPECT_TRUE(tools->IsClipboardFormatAvailable(c.getName)) << c.getName;
    }
    // Only the last placed format is there now.
    EXPECT_EQ(tools->GetClipboardData("TEXT"), "");
    EXPECT_FALSE(tools->IsClipboardFormatAvailable("text") || tools->IsClipboardFormatAvailable("TAVRO never placed"));
    tools->SetClipboardData("dib", ""); // empty data empties the clipboard
    EXPECT_FALSE(tools->IsClipboardFormatAvailable(""));

    // Text ends at its first zero and keeps a terminating zero.
    for (const std::string& set : {std::string("cut\0here", 8), std::string("\xE4\xF6 line\r\n"), std::string()}) {
        const std::string text = set.c_str();
        tools->SetClipboardText(set);
        if (!text.empty()) {
            EXPECT_EQ(RawClipboard(CF_TEXT).substr(0, text.size() + 1), text + '\0') << text;
        }
        EXPECT_EQ(tools->GetClipboardText() + std::to_string(tools->GetClipboardTextLength()),
                  text + std::to_string(text.size()));
        EXPECT_EQ(tools->IsClipboardFormatAvailable("") != 0, !text.empty()) << text;
    }
    // A bitmap is there but has no bytes.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, CreateBitmap(4, 4, 1, 1, nullptr));
    CloseClipboard();
    EXPECT_TRUE(tools->IsClipboardFormatAvailable("Bitmap"));
    EXPECT_EQ(tools->GetClipboardData("BITMAP"), "");
}

// Another program holding the clipboard for 200 ms delays a write and a read
// but fails neither.
TEST(ToolsClipboard, WaitsForAnotherProgramToLetGo)
{
    Tools tools;
    for (const bool write : {true, false}) {
        NamedEvent held("clipboard_held");
        Peer holder("hold 200 " + held.name(), "runapp_probe.exe");
        ASSERT_TRUE(held.WaitPumping()) << "the holder never opened the clipboard";
        if (write)
            tools->SetClipboardText("after the holder");
        else
            EXPECT_EQ(tools->GetClipboardText(), "after the holder");
        EXPECT_EQ(holder.Finish(), 0);
    }
}

// ---- SendKeys (needs a display; skipped without one) ----

// F16 ends every batch of keys; the edit control ignores it, and its release
// shows that all keys before it have been handled.
bool g_sawEndMarker = false;
WNDPROC g_editProc = nullptr;

LRESULT CALLBACK MarkerEditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_KEYUP && wParam == VK_F16)
        g_sawEndMarker = true;
    return CallWindowProcA(g_editProc, hwnd, msg, wParam, lParam);
}

TEST(ToolsSendKeys, TypesIntoTheFocusedControl)
{
    HWND frame = CreateWindowExA(0, "STATIC", "TAVRO SendKeys test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 200,
                                 nullptr, nullptr, nullptr, nullptr);
    if (!frame)
        GTEST_SKIP() << "no window system (error " << GetLastError() << ")";
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 380, 150,
                                frame, nullptr, nullptr, nullptr);
    g_editProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MarkerEditProc)));
    SetForegroundWindow(frame);
    SetFocus(edit);
    Pump();
    ASSERT_EQ(GetFocus(), edit);
    Tools tools;
    auto typed = [&](const std::string& keys) -> std::string {
        SetWindowTextA(edit, "");
        g_sawEndMarker = false;
        tools->SendKeys(keys + "{F16}");
        if (!PumpUntil([] { return g_sawEndMarker; }, 20000))
            return "<end marker not seen>";
        char text[512] = {};
        GetWindowTextA(edit, text, sizeof(text));
        return text;
    };
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
        {"{{}{}}{+}{^}{%}{~}{ }{065}", "{}+^%~ a"},
        {"a~b{ENTER}c", "a\r\nb\r\nc"},
        {"xyz+{HOME}^c{END}^v", "xyzxyz"}, // Ctrl+C and Ctrl+V
    };
    for (const auto& c : cases)
        EXPECT_EQ(typed(c.keys), c.text) << "SendKeys(\"" << c.keys << "\")";
    // Fits the key limit but not the event buffer: no error, no keys.
    tools->SendKeys(std::string(503, 'q'));
    EXPECT_EQ(typed("z"), "z");
    DestroyWindow(frame);
}

// ---- debug output ----

std::wstring TempScript(const std::string& text)
{
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"dbg", 0, path);
    std::wstring script = std::wstring(path) + L".vbs";
    DeleteFileW(path);
    std::ofstream(tavro::ToAnsi(script.c_str(), script.size()), std::ios::binary) << text;
    return script;
}

// Runs `commandLine` as a debuggee and returns the debug strings it wrote.
std::vector<std::string> CaptureDebugOutput(std::wstring commandLine)
{
    std::vector<std::string> strings;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                        &si, &pi)) {
        ADD_FAILURE() << "cannot start the script host: " << GetLastError();
        return strings;
    }
    const DWORD deadline = GetTickCount() + 120000;
    for (;;) {
        DEBUG_EVENT ev = {};
        if (!WaitForDebugEvent(&ev, 1000)) {
            if (GetTickCount() > deadline) {
                ADD_FAILURE() << "script host did not finish";
                TerminateProcess(pi.hProcess, 1);
                break;
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        if (ev.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT && !ev.u.DebugString.fUnicode) {
            const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
            std::string text(info.nDebugStringLength, '\0');
            SIZE_T read = 0;
            ReadProcessMemory(pi.hProcess, info.lpDebugStringData, text.data(), text.size(), &read);
            text.resize(read);
            if (!text.empty() && text.back() == '\0')
                text.pop_back();
            strings.push_back(text);
        } else if (ev.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            status = DBG_EXCEPTION_NOT_HANDLED;
        } else if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            CloseHandle(ev.u.CreateProcessInfo.hFile);
        } else if (ev.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            CloseHandle(ev.u.LoadDll.hFile);
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
        if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && ev.dwProcessId == pi.dwProcessId)
            break;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return strings;
}

TEST(DebugOutput, PrintPrintLnAndClsWriteExactTexts)
{
    std::wstring script = TempScript("Set t = CreateObject(\"TAVRO.MidiToolsCtrl.1\")\r\n"
                                     "t.Print \"<begin>\"\r\n"
                                     "t.Print \"plain text\"\r\n"
                                     "t.PrintLN \"a line\"\r\n"
                                     "t.PrintLN \"\"\r\n"
                                     "t.Cls\r\n"
                                     "t.Print \"tab\" & Chr(9) & \"end\"\r\n"
                                     "t.Print \"<end>\"\r\n");
    std::vector<std::string> all = CaptureDebugOutput(L"cscript.exe //nologo \"" + script + L"\"");
    DeleteFileW(script.c_str());

    // Only what the script wrote between its markers; the system may add
    // strings of its own around them.
    std::vector<std::string> written;
    bool inside = false;
    for (const std::string& s : all) {
        if (s == "<end>")
            inside = false;
        if (inside)
            written.push_back(s);
        if (s == "<begin>")
            inside = true;
    }
    std::string tenLineBreaks;
    for (int i = 0; i < 10; ++i)
        tenLineBreaks += "\r\n";
    const std::vector<std::string> expected = {"plain text", "a line\r\n", "\r\n", tenLineBreaks, "tab\tend"};
    EXPECT_EQ(written, expected) << "captured " << all.size() << " strings in all";
}

} // namespace

// MidiTools file methods and RunApp on a scratch folder, checked against
// plain Win32 reads and writes.
#include "tests/wine/tools_test_util.h"

#include <gtest/gtest.h>

namespace {

using toolstest::Call;
using toolstest::ReadRaw;
using toolstest::ScratchFolder;
using toolstest::Tools;
using toolstest::WriteRaw;

constexpr DISPID kFileRead = 53;
constexpr DISPID kFileWrite = 54;

// Through IDispatch, as scripts call them: one BSTR character per byte.
TEST(ToolsFiles, WriteThenReadKeepsEveryByte)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string name = dir / "data.bin";
    for (const std::string& data : {std::string(), std::string("a\0b\0", 4), toolstest::AllBytes(),
                                    std::string(100000, 'x') + '\0'}) {
        const std::string what = "size " + std::to_string(data.size());
        WriteRaw(name, "previous, longer content");
        Call write(tools.dispatch(), kFileWrite);
        ASSERT_EQ(write.Text(name).Text(data).Run(), S_OK) << what;
        EXPECT_EQ(write.result.vt, VT_BOOL) << what;
        EXPECT_EQ(write.result.boolVal, VARIANT_TRUE) << what;
        EXPECT_EQ(ReadRaw(name), data) << what << ": bytes on disk";
        Call read(tools.dispatch(), kFileRead);
        ASSERT_EQ(read.Text(name).Run(), S_OK) << what;
        EXPECT_EQ(toolstest::ResultText(read.result), data) << what << ": FileRead";
        EXPECT_EQ(tools->GetFileSize(name), static_cast<long>(data.size())) << what;
    }
}

TEST(ToolsFiles, AppendAndFailures)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string log = dir / "log.txt", missing = dir / "missing.txt", nowhere = dir / "no folder\\x.txt";
    EXPECT_TRUE(tools->FileAppend(log, "new")); // a missing file is created
    EXPECT_TRUE(tools->FileAppend(log, std::string("\0+", 2)));
    EXPECT_TRUE(tools->FileAppend(log, ""));
    EXPECT_EQ(ReadRaw(log), std::string("new\0+", 5));

    EXPECT_FALSE(tools->FileAppend(nowhere, "x"));
    EXPECT_FALSE(tools->FileWrite(nowhere, "x"));
    EXPECT_EQ(tools->FileRead(missing), "");
    EXPECT_EQ(tools->GetFileSize(missing), 0);
    EXPECT_FALSE(tools->FileDelete(missing));
    EXPECT_FALSE(tools->FileCopy(missing, dir / "copy.txt", 1));
    EXPECT_FALSE(tools->FileMove(missing, dir / "moved.txt", 1));

    // Held open for writing by someone else: not readable.
    HANDLE h = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tools->FileRead(log), "");
    CloseHandle(h);
}

TEST(ToolsFiles, ExistenceAndFileTitle)
{
    Tools tools;
    ScratchFolder dir("files");
    WriteRaw(dir / "f.txt", "f");
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    const struct {
        std::string path;
        bool file, folder;
    } cases[] = {
        {dir / "f.txt", true, false}, {dir / "sub", false, true}, {dir / "sub\\", false, true},
        {dir / "nothing", false, false}, {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tools->FileExist(c.path) != 0, c.file) << "FileExist(" << c.path << ")";
        EXPECT_EQ(tools->FolderExist(c.path) != 0, c.folder) << "FolderExist(" << c.path << ")";
    }
    EXPECT_FALSE(tools->FileDelete(dir / "sub"));

    const std::string title = tools->GetFileTitle("C:\\some folder\\name.part.txt");
    // The system may hide known extensions, by a user setting.
    EXPECT_TRUE(title == "name.part.txt" || title == "name.part") << title;
    EXPECT_EQ(tools->GetFileTitle("C:\\some folder\\"), "");
}

TEST(ToolsFiles, CopyAndMoveHonourReplace)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string a = dir / "a.txt", b = dir / "b.txt", c = dir / "c.txt";
    auto state = [&] { return ReadRaw(a) + "|" + ReadRaw(b) + "|" + ReadRaw(c); };
    WriteRaw(a, "one");
    WriteRaw(b, "two");
    EXPECT_FALSE(tools->FileCopy(a, b, 0));
    EXPECT_EQ(state(), "one|two|<missing>");
    EXPECT_TRUE(tools->FileCopy(a, b, 1));
    EXPECT_EQ(state(), "one|one|<missing>");
    WriteRaw(b, "two");
    EXPECT_FALSE(tools->FileMove(a, b, 0));
    EXPECT_EQ(state(), "one|two|<missing>");
    EXPECT_TRUE(tools->FileMove(a, b, 1));
    EXPECT_EQ(state(), "<missing>|one|<missing>");
    EXPECT_TRUE(tools->FileMove(b, c, 0));
    EXPECT_EQ(state(), "<missing>|<missing>|one");
    EXPECT_TRUE(tools->FileDelete(c));
    EXPECT_FALSE(tools->FileExist(c));
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
        {probe, "hello world", "\"" + probe + "\" \"hello world\""},
        {"  " + probe + "\t", "\r\n two  words \n", "\"" + probe + "\" \"two  words\""},
        {probe, "   ", "\"" + probe + "\""},
        {"", "", "<not started>"},
        {" \t", "\r\n ", "<not started>"},
        {dir / "no such program.exe", "x", "<not started>"},
    };
    int serial = 0;
    for (const auto& c : cases) {
        const std::string out = dir / ("cmdline" + std::to_string(++serial) + ".txt");
        SetEnvironmentVariableA("TAVRO_PROBE_OUT", out.c_str());
        std::string seen = "<not started>";
        if (tools->RunApp(c.app, c.params)) {
            // Generous bound: the first process start in a Wine prefix is slow.
            for (int i = 0; i < 600 && GetFileAttributesA(out.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
                Sleep(100);
            seen = ReadRaw(out);
        }
        EXPECT_EQ(seen, c.commandLine) << "RunApp(" << c.app << ", " << c.params << ")";
    }
}

} // namespace

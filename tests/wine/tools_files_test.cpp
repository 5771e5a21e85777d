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

TEST(ToolsFiles, WriteThenReadKeepsEveryByte)
{
    Tools tools;
    ScratchFolder dir("files");
    const struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"embedded zero", std::string("a\0b\0", 4)},
        {"all byte values", toolstest::AllBytes()},
        {"BOM and line ends", "\xEF\xBB\xBFone\r\ntwo\n\r"},
        {"larger than one read", std::string(100000, 'x') + '\0'},
    };
    for (const auto& c : cases) {
        const std::string name = dir / "data.bin";
        WriteRaw(name, "previous, longer content");
        EXPECT_TRUE(tools->FileWrite(name, c.data)) << c.what;
        EXPECT_EQ(ReadRaw(name), c.data) << c.what << ": bytes on disk";
        EXPECT_EQ(tools->FileRead(name), c.data) << c.what << ": FileRead";
        EXPECT_EQ(tools->GetFileSize(name), static_cast<long>(c.data.size())) << c.what;
    }
}

TEST(ToolsFiles, ScriptStringsAreOneCharacterPerByte)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string name = dir / "bytes.bin";
    const std::string bytes = toolstest::AllBytes();

    Call write(tools.dispatch(), kFileWrite);
    ASSERT_EQ(write.Text(name).Text(bytes).Run(), S_OK);
    EXPECT_EQ(write.result.vt, VT_BOOL);
    EXPECT_EQ(write.result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(ReadRaw(name), bytes);

    Call read(tools.dispatch(), kFileRead);
    ASSERT_EQ(read.Text(name).Run(), S_OK);
    ASSERT_EQ(read.result.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(read.result.bstrVal), bytes.size());
    EXPECT_EQ(toolstest::ResultText(read.result), bytes);
}

TEST(ToolsFiles, AppendKeepsExistingContent)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string name = dir / "log.txt";
    EXPECT_TRUE(tools->FileAppend(name, "new")); // a missing file is created
    EXPECT_TRUE(tools->FileAppend(name, std::string("\0+", 2)));
    EXPECT_TRUE(tools->FileAppend(name, ""));
    EXPECT_EQ(ReadRaw(name), std::string("new\0+", 5));
    EXPECT_FALSE(tools->FileAppend(dir / "no such folder\\x.txt", "x"));
}

TEST(ToolsFiles, FailuresAreEmptyFalseOrZero)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string missing = dir / "missing.txt";
    EXPECT_EQ(tools->FileRead(missing), "");
    EXPECT_EQ(tools->GetFileSize(missing), 0);
    EXPECT_FALSE(tools->FileWrite(dir / "no such folder\\x.txt", "x"));
    EXPECT_FALSE(tools->FileDelete(missing));
    EXPECT_FALSE(tools->FileCopy(missing, dir / "copy.txt", 1));
    EXPECT_FALSE(tools->FileMove(missing, dir / "moved.txt", 1));

    // Held open for writing by someone else: not readable.
    const std::string busy = dir / "busy.txt";
    WriteRaw(busy, "busy");
    HANDLE h = CreateFileA(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tools->FileRead(busy), "");
    EXPECT_EQ(tools->GetFileSize(busy), 0);
    CloseHandle(h);
    EXPECT_EQ(tools->FileRead(busy), "busy");
}

TEST(ToolsFiles, ExistenceOfFilesAndFolders)
{
    Tools tools;
    ScratchFolder dir("files");
    WriteRaw(dir / "f.txt", "f");
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    const struct {
        std::string path;
        bool file, folder;
    } cases[] = {
        {dir / "f.txt", true, false},
        {dir / "sub", false, true},
        {dir / "sub\\", false, true},
        {dir / "nothing", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tools->FileExist(c.path) != 0, c.file) << "FileExist(" << c.path << ")";
        EXPECT_EQ(tools->FolderExist(c.path) != 0, c.folder) << "FolderExist(" << c.path << ")";
    }
    EXPECT_FALSE(tools->FileDelete(dir / "sub"));
}

TEST(ToolsFiles, CopyAndMoveHonourReplace)
{
    Tools tools;
    ScratchFolder dir("files");
    const std::string a = dir / "a.txt", b = dir / "b.txt", c = dir / "c.txt";

    WriteRaw(a, "one");
    WriteRaw(b, "two");
    EXPECT_FALSE(tools->FileCopy(a, b, 0));
    EXPECT_EQ(ReadRaw(b), "two");
    EXPECT_TRUE(tools->FileCopy(a, b, 1));
    EXPECT_EQ(ReadRaw(b), "one");
    EXPECT_EQ(ReadRaw(a), "one");

    WriteRaw(b, "two");
    EXPECT_FALSE(tools->FileMove(a, b, 0));
    EXPECT_EQ(ReadRaw(a), "one");
    EXPECT_EQ(ReadRaw(b), "two");
    EXPECT_TRUE(tools->FileMove(a, b, 1));
    EXPECT_EQ(ReadRaw(a), "<missing>");
    EXPECT_EQ(ReadRaw(b), "one");
    EXPECT_TRUE(tools->FileMove(b, c, 0));
    EXPECT_EQ(ReadRaw(c), "one");

    EXPECT_TRUE(tools->FileDelete(c));
    EXPECT_FALSE(tools->FileExist(c));
}

TEST(ToolsFiles, FileTitleIsTheNamePart)
{
    Tools tools;
    const std::string title = tools->GetFileTitle("C:\\some folder\\name.part.txt");
    // The system may hide known extensions, by a user setting.
    EXPECT_TRUE(title == "name.part.txt" || title == "name.part") << title;
    EXPECT_EQ(tools->GetFileTitle("C:\\some folder\\"), "");
    EXPECT_EQ(tools->GetFileTitle(""), "");
}

// Starts the probe program and returns the command line it saw.
std::string CommandLineSeenBy(Tools& tools, const ScratchFolder& dir, const std::string& app,
                              const std::string& params, BOOL& started)
{
    static int serial = 0;
    const std::string out = dir / ("cmdline" + std::to_string(++serial) + ".txt");
    SetEnvironmentVariableA("TAVRO_PROBE_OUT", out.c_str());
    started = tools->RunApp(app, params);
    if (!started)
        return "<not started>";
    // Generous bound: the first process start in a Wine prefix is slow.
    for (int i = 0; i < 600 && GetFileAttributesA(out.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    return ReadRaw(out);
}

TEST(ToolsRunApp, QuotesProgramAndWholeParameterText)
{
    Tools tools;
    ScratchFolder dir("runapp");
    const std::string probe = toolstest::ProgramFolder() + "runapp_probe.exe";
    const struct {
        std::string app, params, commandLine;
    } cases[] = {
        {probe, "hello world", "\"" + probe + "\" \"hello world\""},
        {"  " + probe + "\t", "\r\n two  words \n", "\"" + probe + "\" \"two  words\""},
        {probe, "", "\"" + probe + "\""},
        {probe, "   ", "\"" + probe + "\""},
    };
    for (const auto& c : cases) {
        BOOL started = FALSE;
        EXPECT_EQ(CommandLineSeenBy(tools, dir, c.app, c.params, started), c.commandLine)
            << "RunApp(" << c.app << ", " << c.params << ")";
        EXPECT_TRUE(started);
    }
}

TEST(ToolsRunApp, RefusesEmptyAndMissingPrograms)
{
    Tools tools;
    ScratchFolder dir("runapp");
    const struct {
        std::string app, params;
    } cases[] = {
        {"", ""},
        {" \t", "\r\n "},
        {dir / "no such program.exe", "x"},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(tools->RunApp(c.app, c.params)) << "RunApp(" << c.app << ", " << c.params << ")";
}

} // namespace

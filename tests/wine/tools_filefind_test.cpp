// MidiTools.FileFind on a generated tree: every sort mode, folder listing,
// recursion, the folder's trailing backslash and the script-side array.
#include "tests/wine/tools_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

using toolstest::Call;
using toolstest::ScratchFolder;
using toolstest::Tools;

constexpr DISPID kFileFind = 67;

// Relative path -> size; folders end in a backslash.
const std::map<std::string, size_t> kTree = {
    {"A.txt", 10},       {"b.txt", 5},      {"c.dat", 5},    {"sub1\\", 0},      {"sub1\\x.txt", 7},
    {"sub1\\deep\\", 0}, {"sub1\\deep\\y.txt", 0},          {"Sub2\\", 0},       {"Sub2\\z.txt", 10},
    {"Sub2\\w.TXT", 3},
};

class FileFindTest : public ::testing::Test {
protected:
    FileFindTest() : dir_("find")
    {
        for (const auto& [name, size] : kTree) {
            if (name.back() == '\\')
                CreateDirectoryA((dir_ / name).c_str(), nullptr);
            else
                toolstest::WriteRaw(dir_ / name, std::string(size, 'x'));
        }
    }

    // The paths found, relative to the scratch folder, in result order.
    std::vector<std::string> Find(const std::string& folder, const std::string& pattern, long subDirs, long sort)
    {
        Call call(tools_.dispatch(), kFileFind);
        VARIANT out;
        VariantInit(&out);
        const HRESULT hr = call.Ref(&out).Text(folder).Text(pattern).Long(subDirs).Long(sort).Run();
        std::vector<std::string> paths;
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(call.result.vt, VT_I4);
        EXPECT_EQ(out.vt, VT_ARRAY | VT_VARIANT);
        if (out.vt != (VT_ARRAY | VT_VARIANT))
            return paths;
        LONG lower = -1, upper = -2;
        SafeArrayGetLBound(out.parray, 1, &lower);
        SafeArrayGetUBound(out.parray, 1, &upper);
        EXPECT_EQ(SafeArrayGetDim(out.parray), 1u);
        EXPECT_EQ(lower, 0);
        EXPECT_EQ(call.result.lVal, upper + 1) << "count and elements";
        const std::string prefix = folder.empty() ? "" : dir_.path();
        for (LONG i = 0; i <= upper; ++i) {
            VARIANT element;
            VariantInit(&element);
            SafeArrayGetElement(out.parray, &i, &element);
            EXPECT_EQ(element.vt, VT_BSTR);
            std::string path = toolstest::ResultText(element);
            EXPECT_EQ(path.compare(0, prefix.size(), prefix), 0) << path;
            paths.push_back(path.substr(std::min(prefix.size(), path.size())));
            VariantClear(&element);
        }
        VariantClear(&out);
        return paths;
    }

    std::string Folder(bool trailingBackslash) const
    {
        const std::string& p = dir_.path();
        return trailingBackslash ? p : p.substr(0, p.size() - 1);
    }

    Tools tools_;
    ScratchFolder dir_;
};

std::string Listing(const std::vector<std::string>& paths)
{
    std::string text;
    for (const std::string& p : paths)
        text += p + "; ";
    return text;
}

TEST_F(FileFindTest, SortModesOverTheWholeTree)
{
    // Files of a folder come after everything in its sub-folders, and
    // entries of equal size come with the one found last first, so these
    // orders do not depend on the order the file system lists names in.
    const struct {
        long sort;
        std::vector<std::string> expected;
    } cases[] = {
        {2, {"sub1\\deep\\y.txt", "Sub2\\w.TXT", "b.txt", "sub1\\x.txt", "A.txt", "Sub2\\z.txt"}},
        {3, {"A.txt", "Sub2\\z.txt", "sub1\\x.txt", "b.txt", "Sub2\\w.TXT", "sub1\\deep\\y.txt"}},
        {4, {"A.txt", "Sub2\\w.TXT", "Sub2\\z.txt", "b.txt", "sub1\\deep\\y.txt", "sub1\\x.txt"}},
        {5, {"sub1\\x.txt", "sub1\\deep\\y.txt", "b.txt", "Sub2\\z.txt", "Sub2\\w.TXT", "A.txt"}},
    };
    for (bool slash : {false, true}) {
        for (const auto& c : cases) {
            EXPECT_EQ(Listing(Find(Folder(slash), "*.txt", 1, c.sort)), Listing(c.expected))
                << "nSort " << c.sort << (slash ? " with" : " without") << " trailing backslash";
        }
    }
}

TEST_F(FileFindTest, OtherModesKeepDiscoveryOrder)
{
    const std::vector<std::string> found = Find(Folder(true), "*.txt", 1, 0);
    std::vector<std::string> sorted = found;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Listing(sorted), "A.txt; Sub2\\w.TXT; Sub2\\z.txt; b.txt; sub1\\deep\\y.txt; sub1\\x.txt; ");
    // The root's own files are found last.
    ASSERT_EQ(found.size(), 6u);
    EXPECT_EQ(sorted.size(), 6u);
    std::vector<std::string> lastTwo(found.end() - 2, found.end());
    std::sort(lastTwo.begin(), lastTwo.end());
    EXPECT_EQ(Listing(lastTwo), "A.txt; b.txt; ");
    for (long sort : {1L, 6L, -1L})
        EXPECT_EQ(Listing(Find(Folder(false), "*.txt", 1, sort)), Listing(found)) << "nSort " << sort;
}

TEST_F(FileFindTest, EmptyPatternListsFolders)
{
    std::vector<std::string> top = Find(Folder(false), "", 0, 0);
    std::sort(top.begin(), top.end());
    EXPECT_EQ(Listing(top), "Sub2; sub1; ");

    const std::vector<std::string> all = Find(Folder(true), "", 1, 0);
    ASSERT_EQ(all.size(), 3u) << Listing(all);
    // Each folder is followed by the folders below it.
    const auto sub1 = std::find(all.begin(), all.end(), "sub1");
    ASSERT_NE(sub1, all.end()) << Listing(all);
    ASSERT_NE(sub1 + 1, all.end()) << Listing(all);
    EXPECT_EQ(sub1[1], "sub1\\deep");
    EXPECT_NE(std::find(all.begin(), all.end(), "Sub2"), all.end()) << Listing(all);

    EXPECT_EQ(Listing(Find(Folder(true), "", 1, 5)), "sub1\\deep; sub1; Sub2; ");
}

TEST_F(FileFindTest, PatternWithoutSubFoldersAndCurrentFolder)
{
    EXPECT_EQ(Listing(Find(Folder(false), "*", 0, 4)), "A.txt; b.txt; c.dat; ");
    EXPECT_EQ(Listing(Find(Folder(true), "?.dat", 1, 0)), "c.dat; ");

    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    EXPECT_EQ(Listing(Find("", "*.txt", 0, 5)), "b.txt; A.txt; ");
    SetCurrentDirectoryA(previous);
}

TEST_F(FileFindTest, MissingFolderGivesAnEmptyArray)
{
    EXPECT_EQ(Find(dir_ / "nowhere", "*", 1, 0).size(), 0u);
    EXPECT_EQ(Find(dir_ / "nowhere\\", "", 1, 4).size(), 0u);
}

TEST_F(FileFindTest, UnclearableResultRaisesError1000)
{
    VARIANT out;
    VariantInit(&out);
    out.vt = VT_ARRAY | VT_VARIANT;
    out.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    ASSERT_EQ(SafeArrayLock(out.parray), S_OK);

    Call call(tools_.dispatch(), kFileFind);
    EXPECT_EQ(call.Ref(&out).Text(Folder(true)).Text("*").Long(0).Long(0).Run(), DISP_E_EXCEPTION);
    EXPECT_EQ(static_cast<unsigned long>(call.excep.scode), 0x800A0000ul | 1000);
    EXPECT_EQ(call.result.vt, VT_EMPTY);

    SafeArrayUnlock(out.parray);
    EXPECT_EQ(VariantClear(&out), S_OK);
}

} // namespace

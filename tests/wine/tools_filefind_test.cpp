// MidiTools.FileFind on a generated tree: every sort mode, folder listing,
// recursion, the folder's trailing backslash and the script-side array.
#include "tests/wine/tools_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using toolstest::Call;

constexpr DISPID kFileFind = 67;

class FileFindTest : public ::testing::Test {
protected:
    FileFindTest() : dir_("find")
    {
        // Relative path and size; folders end in a backslash.
        const std::pair<const char*, size_t> tree[] = {
            {"A.txt", 10},        {"b.txt", 5},        {"c.dat", 5}, {"sub1\\", 0}, {"sub1\\x.txt", 7},
            {"sub1\\deep\\", 0}, {"sub1\\deep\\y.txt", 0}, {"Sub2\\", 0}, {"Sub2\\z.txt", 10}, {"Sub2\\w.TXT", 3},
        };
        for (const auto& [name, size] : tree) {
            if (name[std::strlen(name) - 1] == '\\')
                CreateDirectoryA((dir_ / name).c_str(), nullptr);
            else
                toolstest::WriteRaw(dir_ / name, std::string(size, 'x'));
        }
    }

    // The paths found, relative to the scratch folder, as "p; p; ".
    std::string Find(const std::string& folder, const std::string& pattern, long subDirs, long sort,
                     bool sorted = false)
    {
        Call call(tools_.dispatch(), kFileFind);
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(call.Ref(&out).Text(folder).Text(pattern).Long(subDirs).Long(sort).Run(), S_OK);
        if (out.vt != (VT_ARRAY | VT_VARIANT))
            return "<vt " + std::to_string(out.vt) + ">";
        LONG lower = -1, upper = -2;
        SafeArrayGetLBound(out.parray, 1, &lower);
        SafeArrayGetUBound(out.parray, 1, &upper);
        EXPECT_EQ(lower, 0);
        EXPECT_EQ(call.result.lVal, upper + 1) << "count and elements";
        const std::string prefix = folder.empty() ? "" : dir_.path();
        std::vector<std::string> paths;
        for (LONG i = 0; i <= upper; ++i) {
            VARIANT element;
            VariantInit(&element);
            SafeArrayGetElement(out.parray, &i, &element);
            const std::string path = toolstest::ResultText(element);
            EXPECT_EQ(path.compare(0, prefix.size(), prefix), 0) << path;
            paths.push_back(path.substr(std::min(prefix.size(), path.size())));
            VariantClear(&element);
        }
        VariantClear(&out);
        if (sorted)
            std::sort(paths.begin(), paths.end());
        std::string text;
        for (const std::string& p : paths)
            text += p + "; ";
        return text;
    }

    std::string Folder(bool trailingBackslash) const
    {
        const std::string& p = dir_.path();
        return trailingBackslash ? p : p.substr(0, p.size() - 1);
    }

    toolstest::Tools tools_;
    toolstest::ScratchFolder dir_;
};

TEST_F(FileFindTest, SortModesOverTheWholeTree)
{
    // Files of a folder come after everything in its sub-folders, and
    // entries of equal size come with the one found last first, so these
    // orders do not depend on the order the file system lists names in.
    const struct {
        long sort;
        const char* expected;
    } cases[] = {
        {2, "sub1\\deep\\y.txt; Sub2\\w.TXT; b.txt; sub1\\x.txt; A.txt; Sub2\\z.txt; "},
        {3, "A.txt; Sub2\\z.txt; sub1\\x.txt; b.txt; Sub2\\w.TXT; sub1\\deep\\y.txt; "},
        {4, "A.txt; Sub2\\w.TXT; Sub2\\z.txt; b.txt; sub1\\deep\\y.txt; sub1\\x.txt; "},
        {5, "sub1\\x.txt; sub1\\deep\\y.txt; b.txt; Sub2\\z.txt; Sub2\\w.TXT; A.txt; "},
    };
    for (bool slash : {false, true}) {
        for (const auto& c : cases) {
            EXPECT_EQ(Find(Folder(slash), "*.txt", 1, c.sort), c.expected)
                << "nSort " << c.sort << (slash ? " with" : " without") << " trailing backslash";
        }
    }
    // Other modes keep the order of discovery: the root's own files last.
    const std::string found = Find(Folder(true), "*.txt", 1, 0);
    EXPECT_EQ(Find(Folder(true), "*.txt", 1, 0, true),
              "A.txt; Sub2\\w.TXT; Sub2\\z.txt; b.txt; sub1\\deep\\y.txt; sub1\\x.txt; ");
    EXPECT_GE(std::min(found.find("A.txt"), found.find("b.txt")), found.size() - 14) << found;
    for (long sort : {1L, 6L, -1L})
        EXPECT_EQ(Find(Folder(false), "*.txt", 1, sort), found) << "nSort " << sort;
}

TEST_F(FileFindTest, FoldersPatternsAndMissingFolders)
{
    // An empty pattern lists folders; each folder is followed by those below it.
    EXPECT_EQ(Find(Folder(false), "", 0, 0, true), "Sub2; sub1; ");
    const std::string all = Find(Folder(true), "", 1, 0);
    EXPECT_TRUE(all == "sub1; sub1\\deep; Sub2; " || all == "Sub2; sub1; sub1\\deep; ") << all;
    EXPECT_EQ(Find(Folder(true), "", 1, 5), "sub1\\deep; sub1; Sub2; ");

    EXPECT_EQ(Find(Folder(false), "*", 0, 4), "A.txt; b.txt; c.dat; ");
    EXPECT_EQ(Find(Folder(true), "?.dat", 1, 0), "c.dat; ");
    EXPECT_EQ(Find(dir_ / "nowhere", "*", 1, 0), "");
    EXPECT_EQ(Find(dir_ / "nowhere\\", "", 1, 4), "");

    // An empty folder is the current folder; the paths are then relative.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    EXPECT_EQ(Find("", "*.txt", 0, 5), "b.txt; A.txt; ");
    SetCurrentDirectoryA(previous);
}

TEST_F(FileFindTest, UnclearableResultRaisesError1000)
{
    VARIANT out;
    out.vt = VT_ARRAY | VT_VARIANT;
    out.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    ASSERT_EQ(SafeArrayLock(out.parray), S_OK);
    Call call(tools_.dispatch(), kFileFind);
    EXPECT_EQ(call.Ref(&out).Text(Folder(true)).Text("*").Long(0).Long(0).Run(), DISP_E_EXCEPTION);
    EXPECT_EQ(static_cast<unsigned long>(call.excep.scode), 0x800A0000ul | 1000);
    SafeArrayUnlock(out.parray);
    EXPECT_EQ(VariantClear(&out), S_OK);
}

} // namespace

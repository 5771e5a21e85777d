// MidiTools.FileFind: lists matching files, or folders, of a folder tree and
// hands their paths to the script as an array of strings.
#include "tools/MidiToolsCtrl.h"
#include "tools/FileFindOrder.h"

#include "module/ScriptArray.h"
#include "module/Trace.h"

#include <new>
#include <vector>

namespace {

// Closes a FindFirstFileA search.
class FindHandle {
public:
    FindHandle(const std::string& pattern, WIN32_FIND_DATAA& data) : h_(FindFirstFileA(pattern.c_str(), &data)) {}
    ~FindHandle()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            FindClose(h_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool Found() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA& data) const { return FindNextFileA(h_, &data) != FALSE; }

private:
    HANDLE h_;
};

bool IsFolder(const WIN32_FIND_DATAA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotEntry(const char* name)
{
    return (name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

tavro::FoundEntry MakeEntry(const std::string& folder, const WIN32_FIND_DATAA& data)
{
    return {folder + data.cFileName, tavro::CombineFileSize(data.nFileSizeHigh, data.nFileSizeLow)};
}

// Walks `folder` (empty or ending in a backslash): its sub-folders first
// (listed when listFolders, searched below when recursive), then its
// files matching the pattern. Appends in discovery order.
void Search(const std::string& folder, const std::string& pattern, bool recursive, bool listFolders,
            std::vector<tavro::FoundEntry>& found)
{
    WIN32_FIND_DATAA data;
    {
        FindHandle search(folder + "*", data);
        for (bool more = search.Found(); more; more = search.Next(data)) {
            if (!IsFolder(data) || IsDotEntry(data.cFileName))
                continue;
            if (listFolders)
                found.push_back(MakeEntry(folder, data));
            if (recursive)
                Search(folder + data.cFileName + "\\", pattern, recursive, listFolders, found);
        }
    }
    // With an empty pattern this searches the folder name itself, which
    // ends in a backslash and finds nothing: only folders are listed then.
    FindHandle search(folder + pattern, data);
    for (bool more = search.Found(); more; more = search.Next(data)) {
        if (!IsFolder(data))
            found.push_back(MakeEntry(folder, data));
    }
}

const tavro::LeadByteTable& AnsiLeadBytes()
{
    static const tavro::LeadByteTable table = [] {
        tavro::LeadByteTable t{};
        for (int b = 0; b < 256; ++b)
            t[static_cast<size_t>(b)] = IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
        return t;
    }();
    return table;
}

} // namespace

long CMidiToolsCtrl::FileFind(VARIANT* filesArray, const std::string& sFolder, const std::string& sFind, long bSubDir,
                              long nSort)
{
    if (FAILED(VariantClear(filesArray)))
        throw tavro::DispatchException{TOOLS_ERR_FILEFIND, "FileFind: the result variable cannot be cleared"};

    const tavro::LeadByteTable& leadBytes = AnsiLeadBytes();
    std::vector<tavro::FoundEntry> found;
    Search(tavro::FolderWithBackslash(sFolder, leadBytes), sFind, bSubDir != 0, sFind.empty(), found);
    tavro::OrderFoundEntries(found, nSort, leadBytes);

    tavro::NewScriptArray result(found.size());
    for (size_t i = 0; i < found.size(); ++i) {
        result[i].vt = VT_BSTR;
        result[i].bstrVal = tavro::ToBstr(found[i].path);
        if (!result[i].bstrVal)
            throw std::bad_alloc();
    }
    result.MoveInto(*filesArray);
    if (found.empty())
        TAVRO_TRACE("MidiTools", "FileFind",
                    "..., " + tavro::TraceQuote(sFolder) + ", " + tavro::TraceQuote(sFind) + ", " +
                        std::to_string(bSubDir) + ", " + std::to_string(nSort),
                    sFolder.empty() || GetFileAttributesA(sFolder.c_str()) != INVALID_FILE_ATTRIBUTES
                        ? "nothing matches"
                        : "the folder cannot be searched: " + tavro::LastErrorText());
    return static_cast<long>(found.size());
}

// MidiTools file methods and program launch: whole files as strings (one
// character per byte, nothing added or removed), tests, copy, move, delete.
#include "tools/MidiToolsCtrl.h"

#include "module/Trace.h"

#include <commdlg.h>
#undef GetFileTitle // the method's own name, not the A/W switch

#include <algorithm>
#include <climits>

namespace {

// Owns a file handle opened with no sharing, as the files have always been.
class FileHandle {
public:
    FileHandle(const std::string& name, DWORD access, DWORD disposition)
        : h_(CreateFileA(name.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~FileHandle()
    {
        if (IsOpen())
            CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

    bool Size(uint64_t& size) const
    {
        LARGE_INTEGER n;
        if (!GetFileSizeEx(h_, &n))
            return false;
        size = static_cast<uint64_t>(n.QuadPart);
        return true;
    }

    bool WriteAll(const std::string& data) const
    {
        size_t done = 0;
        while (done < data.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(h_, data.data() + done, chunk, &written, nullptr) || written == 0)
                return false;
            done += written;
        }
        return true;
    }

private:
    HANDLE h_;
};

// Largest file read into a script string: the wide copy of the text must
// still fit a BSTR and the code-page conversion's int lengths.
constexpr uint64_t kMaxReadSize = INT_MAX / 2;

DWORD Attributes(const std::string& name)
{
    return GetFileAttributesA(name.c_str());
}

// Trims the white space of the C library's isspace in the "C" locale.
std::string Trimmed(const std::string& text)
{
    const char* const space = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

} // namespace

std::string CMidiToolsCtrl::FileRead(const std::string& fileName)
{
    FileHandle file(fileName, GENERIC_READ, OPEN_EXISTING);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(size) || size > kMaxReadSize)
        return {};
    std::string data(static_cast<size_t>(size), '\0');
    DWORD read = 0;
    if (size && (!ReadFile(file.get(), data.data(), static_cast<DWORD>(size), &read, nullptr) || read != size))
        return {};
    return data;
}

BOOL CMidiToolsCtrl::FileWrite(const std::string& fileName, const std::string& strData)
{
    FileHandle file(fileName, GENERIC_WRITE, CREATE_ALWAYS);
    return file.IsOpen() && file.WriteAll(strData);
}

BOOL CMidiToolsCtrl::FileAppend(const std::string& fileName, const std::string& strData)
{
    // Keeps what the file holds and adds the data at its end; a missing
    // file is created.
    FileHandle file(fileName, GENERIC_WRITE, OPEN_ALWAYS);
    if (!file.IsOpen())
        return FALSE;
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file.get(), zero, nullptr, FILE_END) && file.WriteAll(strData);
}

BOOL CMidiToolsCtrl::FileExist(const std::string& fileName)
{
    const DWORD attributes = Attributes(fileName);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL CMidiToolsCtrl::FolderExist(const std::string& folderName)
{
    const DWORD attributes = Attributes(folderName);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

long CMidiToolsCtrl::GetFileSize(const std::string& fileName)
{
    FileHandle file(fileName, GENERIC_READ, OPEN_EXISTING);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(size))
        return 0;
    return static_cast<long>(static_cast<uint32_t>(size)); // the low 32 bits
}

BOOL CMidiToolsCtrl::FileCopy(const std::string& fileName, const std::string& newfileName, long bReplaceIfExist)
{
    return CopyFileA(fileName.c_str(), newfileName.c_str(), bReplaceIfExist ? FALSE : TRUE);
}

BOOL CMidiToolsCtrl::FileMove(const std::string& fileName, const std::string& newfileName, long bReplaceIfExist)
{
    // Across volumes the move is a copy and a delete, written through
    // before the call returns.
    DWORD flags = MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
    if (bReplaceIfExist)
        flags |= MOVEFILE_REPLACE_EXISTING;
    return MoveFileExA(fileName.c_str(), newfileName.c_str(), flags);
}

BOOL CMidiToolsCtrl::FileDelete(const std::string& fileName)
{
    return DeleteFileA(fileName.c_str());
}

std::string CMidiToolsCtrl::GetFileTitle(const std::string& fileName)
{
    // The platform call keeps lengths in 16 bits and can report success on a
    // name it failed to convert: a name part that cannot fit the buffer is
    // refused here, and so is a whole name beyond the longest path.
    const size_t namePart = fileName.size() - (fileName.find_last_of("\\/:") + 1);
    if (namePart >= MAX_PATH || fileName.size() >= 32767) {
        TAVRO_TRACE("MidiTools", "GetFileTitle", std::to_string(fileName.size()) + " characters",
                    "the name does not fit " + std::to_string(MAX_PATH) + " characters");
        return {};
    }
    char title[MAX_PATH] = {};
    if (GetFileTitleA(fileName.c_str(), title, MAX_PATH) != 0)
        return {};
    return title;
}

BOOL CMidiToolsCtrl::RunApp(const std::string& sAppName, const std::string& sParams)
{
    // The whole parameter text reaches the program as one quoted argument;
    // quotes inside either text are passed on as they are.
    std::string program = Trimmed(sAppName);
    std::string params = Trimmed(sParams);
    if (!params.empty())
        params = '"' + params + '"';
    if (!program.empty()) {
        program = '"' + program + '"';
        if (!params.empty())
            program += ' ';
    }
    const std::string commandLine = program + params;
    if (commandLine.empty())
        return FALSE;
    return WinExec(commandLine.c_str(), SW_SHOW) > 31;
}

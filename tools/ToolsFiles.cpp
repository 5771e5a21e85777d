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
    {}
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

void TraceFile(const char* method, const std::string& args)
{
    TAVRO_TRACE("MidiTools", method, args, tavro::LastErrorText());
}

std::string Quoted(const std::string& a, const std::string& b)
{
    return tavro::TraceQuote(a) + ", " + tavro::TraceQuote(b);
}

} // namespace

std::string CMidiToolsCtrl::FileRead(const std::string& fileName)
{
    FileHandle file(fileName, GENERIC_READ, OPEN_EXISTING);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(size)) {
        TraceFile("FileRead", tavro::TraceQuote(fileName));
        return {};
    }
    if (size > kMaxReadSize) {
        TAVRO_TRACE("MidiTools", "FileRead", tavro::TraceQuote(fileName),
                    "the file has " + std::to_string(size) + " bytes, more than a script string takes (" +
                        std::to_string(kMaxReadSize) + ")");
        return {};
    }
    std::string data(static_cast<size_t>(size), '\0');
    DWORD read = 0;
    if (size && (!ReadFile(file.get(), data.data(), static_cast<DWORD>(size), &read, nullptr) || read != size)) {
        TraceFile("FileRead", tavro::TraceQuote(fileName));
        return {};
    }
    return data;
}

BOOL CMidiToolsCtrl::FileWrite(const std::string& fileName, const std::string& strData)
{
    FileHandle file(fileName, GENERIC_WRITE, CREATE_ALWAYS);
    if (!file.IsOpen() || !file.WriteAll(strData)) {
        TraceFile("FileWrite", tavro::TraceQuote(fileName) + ", ...");
        return FALSE;
    }
    return TRUE;
}

BOOL CMidiToolsCtrl::FileAppend(const std::string& fileName, const std::string& strData)
{
    // Keeps what the file holds and adds the data at its end; a missing
    // file is created.
    FileHandle file(fileName, GENERIC_WRITE, OPEN_ALWAYS);
    LARGE_INTEGER zero{};
    if (!file.IsOpen() || !SetFilePointerEx(file.get(), zero, nullptr, FILE_END) || !file.WriteAll(strData)) {
        TraceFile("FileAppend", tavro::TraceQuote(fileName) + ", ...");
        return FALSE;
    }
    return TRUE;
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
    if (!file.IsOpen() || !file.Size(size)) {
        TraceFile("GetFileSize", tavro::TraceQuote(fileName));
        return 0;
    }
    return static_cast<long>(static_cast<uint32_t>(size)); // the low 32 bits
}

BOOL CMidiToolsCtrl::FileCopy(const std::string& fileName, const std::string& newfileName, long bReplaceIfExist)
{
    if (!CopyFileA(fileName.c_str(), newfileName.c_str(), bReplaceIfExist ? FALSE : TRUE)) {
        TraceFile("FileCopy", Quoted(fileName, newfileName) + ", " + std::to_string(bReplaceIfExist));
        return FALSE;
    }
    return TRUE;
}

BOOL CMidiToolsCtrl::FileMove(const std::string& fileName, const std::string& newfileName, long bReplaceIfExist)
{
    // Across volumes the move is a copy and a delete, written through
    // before the call returns.
    DWORD flags = MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
    if (bReplaceIfExist)
        flags |= MOVEFILE_REPLACE_EXISTING;
    if (!MoveFileExA(fileName.c_str(), newfileName.c_str(), flags)) {
        TraceFile("FileMove", Quoted(fileName, newfileName) + ", " + std::to_string(bReplaceIfExist));
        return FALSE;
    }
    return TRUE;
}

BOOL CMidiToolsCtrl::FileDelete(const std::string& fileName)
{
    if (!DeleteFileA(fileName.c_str())) {
        TraceFile("FileDelete", tavro::TraceQuote(fileName));
        return FALSE;
    }
    return TRUE;
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
    const short rc = GetFileTitleA(fileName.c_str(), title, MAX_PATH);
    if (rc != 0) {
        TAVRO_TRACE("MidiTools", "GetFileTitle", tavro::TraceQuote(fileName),
                    rc < 0 ? "not a valid file name" : "the title needs " + std::to_string(rc) + " characters");
        return {};
    }
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
    if (commandLine.empty()) {
        TAVRO_TRACE("MidiTools", "RunApp", Quoted(sAppName, sParams), "no program and no parameters");
        return FALSE;
    }
    const UINT rc = WinExec(commandLine.c_str(), SW_SHOW);
    if (rc <= 31) {
        // WinExec's small results are the system error codes of the start.
        TAVRO_TRACE("MidiTools", "RunApp", Quoted(sAppName, sParams),
                    "cannot start " + commandLine + ": " +
                        (rc ? tavro::ErrorText(rc) : std::string("out of memory or resources")));
        return FALSE;
    }
    return TRUE;
}

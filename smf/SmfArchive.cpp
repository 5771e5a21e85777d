// Memory and file streams behind the MIDI file reader and writer: the slow
// paths of the byte window and the refills and flushes of each kind.
#include "smf/SmfArchive.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <share.h> // _fsopen share modes (C runtime, no Windows header)
#endif

namespace tavro {

namespace {

std::FILE* OpenShared(const std::string& path, bool write)
{
#ifdef _WIN32
    // Readers let others read but not write; writers share nothing.
    return _fsopen(path.c_str(), write ? "wb" : "rb", write ? _SH_DENYRW : _SH_DENYWR);
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

// The size of an open regular file, or -1 (a pipe, a device, an error).
int64_t RegularFileSize(std::FILE* file)
{
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(_fileno(file), &st) != 0 || !(st.st_mode & _S_IFREG))
        return -1;
#else
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
#endif
    return static_cast<int64_t>(st.st_size);
}

} // namespace

void SmfArchive::SetFailed()
{
    failed_ = true;
    // Every later write takes the slow path, which refuses it.
    writeStart_ = writePos_ = writeEnd_ = nullptr;
}

bool SmfArchive::NextReadWindow()
{
    unreadAt_ = nullptr;
    const uint8_t* begin = nullptr;
    size_t n = Refill(begin);
    SetReadWindow(begin, n);
    return n > 0;
}

size_t SmfArchive::ReadSlow(uint8_t* dst, size_t n)
{
    if (n == 0 || !IsLoading())
        return 0;
    size_t got = 0;
    for (;;) {
        size_t take = size_t(readEnd_ - readPos_) < n - got ? size_t(readEnd_ - readPos_) : n - got;
        if (take) {
            std::memcpy(dst + got, readPos_, take);
            readPos_ += take;
            got += take;
        }
        if (got == n || !NextReadWindow())
            return got;
    }
}

bool SmfArchive::FlushWindow()
{
    size_t n = size_t(writePos_ - writeStart_);
    uint8_t* start = writeStart_;
    if (n && !Flush(start, n)) {
        SetFailed();
        return false;
    }
    writePos_ = start;
    return true;
}

bool SmfArchive::WriteSlow(const uint8_t* src, size_t n)
{
    if (failed_ || IsLoading())
        return false;
    while (n > 0) {
        if (writePos_ == writeEnd_ && !FlushWindow())
            return false;
        size_t room = size_t(writeEnd_ - writePos_);
        size_t take = room < n ? room : n;
        std::memcpy(writePos_, src, take);
        writePos_ += take;
        src += take;
        n -= take;
    }
    return true;
}

SmfMemorySource::SmfMemorySource(const void* data, size_t size)
{
    SetReadWindow(static_cast<const uint8_t*>(data), data ? size : 0);
}

SmfMemorySource::SmfMemorySource(const std::vector<uint8_t>& bytes) : SmfMemorySource(bytes.data(), bytes.size())
{}

SmfMemorySink::SmfMemorySink()
{
    SetWriteWindow(buffer_, sizeof buffer_);
}

bool SmfMemorySink::Flush(const uint8_t* data, size_t n)
{
    bytes_.insert(bytes_.end(), data, data + n);
    return true;
}

const std::vector<uint8_t>& SmfMemorySink::Bytes()
{
    FlushWindow();
    return bytes_;
}

SmfFileSource::SmfFileSource(const std::string& path) : file_(OpenShared(path, false))
{
    if (!file_) {
        SetFailed();
        return;
    }
    std::setvbuf(file_, nullptr, _IONBF, 0); // the window is the only buffer
    // A small file gets a buffer of its own size: most MIDI files are a few
    // kilobytes, and the whole file then arrives in one read.
    unread_ = RegularFileSize(file_);
    if (unread_ >= 0 && uint64_t(unread_) < kSmfArchiveBuffer)
        bufferSize_ = unread_ > 0 ? size_t(unread_) : 1;
    buffer_.reset(new uint8_t[bufferSize_]);
}

SmfFileSource::~SmfFileSource()
{
    if (file_)
        std::fclose(file_);
}

size_t SmfFileSource::Refill(const uint8_t*& begin)
{
    begin = buffer_.get();
    if (!file_ || unread_ == 0)
        return 0;
    size_t n = std::fread(buffer_.get(), 1, bufferSize_, file_);
    ++fills_;
    if (n == 0 && std::ferror(file_))
        SetFailed();
    if (unread_ > 0)
        unread_ = int64_t(n) < unread_ ? unread_ - int64_t(n) : 0;
    return n;
}

SmfFileSink::SmfFileSink(const std::string& path) : file_(OpenShared(path, true))
{
    if (!file_) {
        SetFailed();
        return;
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.reset(new uint8_t[kSmfArchiveBuffer]);
    SetWriteWindow(buffer_.get(), kSmfArchiveBuffer);
}

SmfFileSink::~SmfFileSink()
{
    Close();
}

bool SmfFileSink::Flush(const uint8_t* data, size_t n)
{
    return file_ && std::fwrite(data, 1, n, file_) == n;
}

bool SmfFileSink::Close()
{
    if (!file_)
        return !Failed(); // already closed, or never opened (Failed)
    bool ok = !Failed() && FlushWindow();
    if (std::fclose(file_) != 0)
        ok = false;
    file_ = nullptr;
    if (!ok)
        SetFailed();
    return ok;
}

} // namespace tavro

// Memory and file streams behind the MIDI file reader and writer.
#include "smf/SmfArchive.h"

#include <cstring>

namespace tavro {

size_t SmfArchive::Read(void* dst, size_t n)
{
    if (n == 0 || !IsLoading())
        return 0;
    auto* out = static_cast<uint8_t*>(dst);
    size_t got = 0;
    if (pushedBack_) {
        out[got++] = static_cast<uint8_t>(lastByte_);
        pushedBack_ = false;
    }
    if (got < n)
        got += ReadRaw(out + got, n - got);
    if (got > 0)
        lastByte_ = out[got - 1];
    return got;
}

bool SmfArchive::UnreadByte()
{
    if (!IsLoading() || lastByte_ < 0 || pushedBack_)
        return false;
    pushedBack_ = true;
    return true;
}

bool SmfArchive::Write(const void* src, size_t n)
{
    if (failed_ || IsLoading())
        return false;
    if (n == 0)
        return true;
    if (!WriteRaw(static_cast<const uint8_t*>(src), n)) {
        failed_ = true;
        return false;
    }
    return true;
}

size_t SmfArchive::ReadRaw(uint8_t*, size_t) { return 0; }
bool SmfArchive::WriteRaw(const uint8_t*, size_t) { return false; }

SmfMemorySource::SmfMemorySource(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0)
{
}

SmfMemorySource::SmfMemorySource(const std::vector<uint8_t>& bytes)
    : SmfMemorySource(bytes.data(), bytes.size())
{
}

size_t SmfMemorySource::ReadRaw(uint8_t* dst, size_t n)
{
    size_t take = size_ - pos_ < n ? size_ - pos_ : n;
    if (take)
        std::memcpy(dst, data_ + pos_, take);
    pos_ += take;
    return take;
}

bool SmfMemorySink::WriteRaw(const uint8_t* src, size_t n)
{
    bytes_.insert(bytes_.end(), src, src + n);
    return true;
}

SmfFileSource::SmfFileSource(const std::string& path)
    : file_(std::fopen(path.c_str(), "rb"))
{
    if (!file_)
        SetFailed();
}

SmfFileSource::~SmfFileSource()
{
    if (file_)
        std::fclose(file_);
}

size_t SmfFileSource::ReadRaw(uint8_t* dst, size_t n)
{
    size_t got = 0;
    while (got < n && file_) {
        if (begin_ == end_) {
            begin_ = 0;
            end_ = std::fread(buffer_, 1, sizeof buffer_, file_);
            ++fills_;
            if (end_ == 0) {
                if (std::ferror(file_))
                    SetFailed();
                break;
            }
        }
        size_t take = end_ - begin_ < n - got ? end_ - begin_ : n - got;
        std::memcpy(dst + got, buffer_ + begin_, take);
        begin_ += take;
        got += take;
    }
    return got;
}

SmfFileSink::SmfFileSink(const std::string& path)
    : file_(std::fopen(path.c_str(), "wb"))
{
    if (!file_)
        SetFailed();
}

SmfFileSink::~SmfFileSink() { Close(); }

bool SmfFileSink::Flush()
{
    if (used_ == 0)
        return true;
    bool ok = std::fwrite(buffer_, 1, used_, file_) == used_;
    used_ = 0;
    return ok;
}

bool SmfFileSink::WriteRaw(const uint8_t* src, size_t n)
{
    if (!file_)
        return false;
    while (n > 0) {
        if (used_ == sizeof buffer_ && !Flush())
            return false;
        size_t take = sizeof buffer_ - used_ < n ? sizeof buffer_ - used_ : n;
        std::memcpy(buffer_ + used_, src, take);
        used_ += take;
        src += take;
        n -= take;
    }
    return true;
}

bool SmfFileSink::Close()
{
    if (!file_)
        return !Failed(); // already closed, or never opened (Failed)
    bool ok = !Failed() && Flush();
    if (std::fclose(file_) != 0)
        ok = false;
    file_ = nullptr;
    if (!ok)
        SetFailed();
    return ok;
}

} // namespace tavro

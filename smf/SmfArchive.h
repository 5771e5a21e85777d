// Byte streams for reading and writing MIDI files: the reader needs "read n",
// "push back the last byte" and "loading or storing"; the writer needs "write n".
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tavro {

// Base of every source and sink: a window of buffered bytes (a pointer and
// an end) that reads and writes take from or fill inline; only refilling or
// flushing the window is virtual. A read or write error does not throw: a
// read returns fewer bytes (as at end of data) and Failed() turns true.
class SmfArchive {
public:
    virtual ~SmfArchive() = default;
    SmfArchive(const SmfArchive&) = delete;
    SmfArchive& operator=(const SmfArchive&) = delete;

    virtual bool IsLoading() const = 0;
    bool IsStoring() const { return !IsLoading(); }

    // Reads up to n bytes; returns how many were read (fewer at end of data).
    // (n - 1 < available is "0 < n <= available": n == 0 takes the slow path.)
    size_t Read(void* dst, size_t n)
    {
        if (n - 1 < size_t(readEnd_ - readPos_)) {
            std::memcpy(dst, readPos_, n);
            readPos_ += n;
            return n;
        }
        return ReadSlow(static_cast<uint8_t*>(dst), n);
    }
    bool ReadByte(uint8_t& b)
    {
        if (readPos_ != readEnd_) {
            b = *readPos_++;
            return true;
        }
        return ReadSlow(&b, 1) == 1;
    }
    // Makes the next Read return the last byte read again. Only one byte can
    // be pushed back; false when nothing was read or a byte is already back.
    // The reader only pushes back the byte it has just read, which is always
    // in the current window: a read never ends on an empty new window.
    bool UnreadByte()
    {
        if (readPos_ == readStart_ || readPos_ == unreadAt_)
            return false;
        unreadAt_ = --readPos_;
        return true;
    }
    // Writes n bytes; false (and Failed()) if the sink cannot take them.
    bool Write(const void* src, size_t n)
    {
        if (n - 1 < size_t(writeEnd_ - writePos_)) {
            std::memcpy(writePos_, src, n);
            writePos_ += n;
            return true;
        }
        return WriteSlow(static_cast<const uint8_t*>(src), n);
    }
    bool WriteByte(uint8_t b)
    {
        if (writePos_ != writeEnd_) {
            *writePos_++ = b;
            return true;
        }
        return WriteSlow(&b, 1);
    }

    bool Failed() const { return failed_; }

protected:
    SmfArchive() = default;
    // Loading: the next bytes of the stream, or 0 at end of data (or error).
    virtual size_t Refill(const uint8_t*& begin)
    {
        begin = nullptr;
        return 0;
    }
    // Storing: takes the bytes written since the last flush; false on error.
    virtual bool Flush(const uint8_t*, size_t) { return false; }
    // Storing: passes the window's bytes to Flush and starts a new window.
    bool FlushWindow();
    void SetReadWindow(const uint8_t* begin, size_t n)
    {
        readStart_ = readPos_ = begin;
        readEnd_ = begin + n;
    }
    void SetWriteWindow(uint8_t* begin, size_t n)
    {
        writeStart_ = writePos_ = begin;
        writeEnd_ = begin + n;
    }
    void SetFailed();

private:
    size_t ReadSlow(uint8_t* dst, size_t n);
    bool WriteSlow(const uint8_t* src, size_t n);
    bool NextReadWindow();

    const uint8_t* readStart_ = nullptr; // bytes before readPos_ in the window were read in order
    const uint8_t* readPos_ = nullptr;
    const uint8_t* readEnd_ = nullptr;
    const uint8_t* unreadAt_ = nullptr; // readPos_ right after an UnreadByte

    uint8_t* writeStart_ = nullptr;
    uint8_t* writePos_ = nullptr;
    uint8_t* writeEnd_ = nullptr;
    bool failed_ = false;
};

// Reads a block of memory that the caller keeps alive (a loaded file, a
// clipboard block): the whole block is the window.
class SmfMemorySource : public SmfArchive {
public:
    SmfMemorySource(const void* data, size_t size);
    explicit SmfMemorySource(const std::vector<uint8_t>& bytes);
    SmfMemorySource(std::vector<uint8_t>&&) = delete; // would dangle
    bool IsLoading() const override { return true; }
};

// Collects written bytes in memory.
class SmfMemorySink : public SmfArchive {
public:
    SmfMemorySink();
    bool IsLoading() const override { return false; }
    const std::vector<uint8_t>& Bytes();

protected:
    bool Flush(const uint8_t* data, size_t n) override;

private:
    std::vector<uint8_t> bytes_;
    uint8_t buffer_[4096];
};

// Disk files go through a buffer of this size: one system call per buffer.
constexpr size_t kSmfArchiveBuffer = 64 * 1024;

// Reads a disk file. On Windows the file is opened without sharing it for
// writing: a file that someone holds open for writing cannot be read.
class SmfFileSource : public SmfArchive {
public:
    explicit SmfFileSource(const std::string& path);
    ~SmfFileSource() override;
    bool IsOpen() const { return file_ != nullptr; }
    bool IsLoading() const override { return true; }
    // Number of times the underlying file was read (for measurements).
    size_t FillCount() const { return fills_; }

protected:
    size_t Refill(const uint8_t*& begin) override;

private:
    std::FILE* file_;
    std::unique_ptr<uint8_t[]> buffer_; // not zeroed: filled before use
    size_t bufferSize_ = kSmfArchiveBuffer;
    // Bytes of a regular file not read yet, as its size was at opening; -1
    // when unknown. At 0 the reader is at the end without asking the system.
    int64_t unread_ = -1;
    size_t fills_ = 0;
};

// Writes a disk file (created or truncated), on Windows for exclusive access.
// Close() flushes and reports whether everything reached the file.
class SmfFileSink : public SmfArchive {
public:
    explicit SmfFileSink(const std::string& path);
    ~SmfFileSink() override;
    bool IsOpen() const { return file_ != nullptr; }
    bool IsLoading() const override { return false; }
    bool Close();

protected:
    bool Flush(const uint8_t* data, size_t n) override;

private:
    std::FILE* file_;
    std::unique_ptr<uint8_t[]> buffer_;
};

} // namespace tavro

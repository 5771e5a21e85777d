// Byte streams for reading and writing MIDI files: the reader needs "read n",
// "push back the last byte" and "loading or storing"; the writer needs "write n".
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavro {

// Base of every source and sink. A read or write error does not throw: a
// read returns fewer bytes (as at end of data) and Failed() turns true.
class SmfArchive {
public:
    virtual ~SmfArchive() = default;
    SmfArchive(const SmfArchive&) = delete;
    SmfArchive& operator=(const SmfArchive&) = delete;

    virtual bool IsLoading() const = 0;
    bool IsStoring() const { return !IsLoading(); }

    // Reads up to n bytes; returns how many were read (fewer at end of data).
    size_t Read(void* dst, size_t n);
    // Makes the next Read return the last byte read again. Only one byte can
    // be pushed back; false when nothing was read or a byte is already back.
    bool UnreadByte();
    // Writes n bytes; false (and Failed()) if the sink cannot take them.
    bool Write(const void* src, size_t n);

    bool Failed() const { return failed_; }

protected:
    SmfArchive() = default;
    virtual size_t ReadRaw(uint8_t* dst, size_t n);
    virtual bool WriteRaw(const uint8_t* src, size_t n);
    void SetFailed() { failed_ = true; }

private:
    int lastByte_ = -1; // -1: nothing read yet
    bool pushedBack_ = false;
    bool failed_ = false;
};

// Reads a block of memory that the caller keeps alive (a loaded file, a
// clipboard block).
class SmfMemorySource : public SmfArchive {
public:
    SmfMemorySource(const void* data, size_t size);
    explicit SmfMemorySource(const std::vector<uint8_t>& bytes);
    SmfMemorySource(std::vector<uint8_t>&&) = delete; // would dangle
    bool IsLoading() const override { return true; }

protected:
    size_t ReadRaw(uint8_t* dst, size_t n) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Collects written bytes in memory.
class SmfMemorySink : public SmfArchive {
public:
    SmfMemorySink() = default;
    bool IsLoading() const override { return false; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

protected:
    bool WriteRaw(const uint8_t* src, size_t n) override;

private:
    std::vector<uint8_t> bytes_;
};

constexpr size_t kSmfArchiveBuffer = 4096;

// Reads a disk file through a 4096-byte buffer, so that the byte-wise reads
// of the parser cost one system read per buffer, not one per byte.
class SmfFileSource : public SmfArchive {
public:
    explicit SmfFileSource(const std::string& path);
    ~SmfFileSource() override;
    bool IsOpen() const { return file_ != nullptr; }
    bool IsLoading() const override { return true; }
    // Number of times the underlying file was read (for measurements).
    size_t FillCount() const { return fills_; }

protected:
    size_t ReadRaw(uint8_t* dst, size_t n) override;

private:
    std::FILE* file_;
    uint8_t buffer_[kSmfArchiveBuffer];
    size_t begin_ = 0;
    size_t end_ = 0;
    size_t fills_ = 0;
};

// Writes a disk file (created or truncated) through a 4096-byte buffer.
// Close() flushes and reports whether everything reached the file.
class SmfFileSink : public SmfArchive {
public:
    explicit SmfFileSink(const std::string& path);
    ~SmfFileSink() override;
    bool IsOpen() const { return file_ != nullptr; }
    bool IsLoading() const override { return false; }
    bool Close();

protected:
    bool WriteRaw(const uint8_t* src, size_t n) override;

private:
    bool Flush();
    std::FILE* file_;
    uint8_t buffer_[kSmfArchiveBuffer];
    size_t used_ = 0;
};

} // namespace tavro

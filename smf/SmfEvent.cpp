// Reading, writing and record exchange of the track event kinds.
#include "smf/SmfEvent.h"

#include "smf/SmfArchive.h"
#include "smf/SmfVarLen.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <atomic>

namespace tavro {

const uint8_t channelDataLength[8] = {2, 2, 2, 2, 1, 1, 2, 0};

namespace {
// Data of a meta or sysex event is read in pieces of this size, so that a
// length field promising far more than the stream holds costs no more
// memory than the bytes actually present.
constexpr uint32_t kReadPiece = 64 * 1024;

// Arena blocks grow to this size.
constexpr size_t kMaxArenaBlock = 4 * 1024 * 1024;
// The kept block: at most this big, so that little memory stays unused
// between reads.
constexpr size_t kMaxSpareBlock = 512 * 1024;
} // namespace

std::atomic<SmfArena::Block*> SmfArena::spare_{nullptr};

// Frees the kept block when the module goes.
struct SmfArena::SpareOwner {
    ~SpareOwner() { std::free(spare_.exchange(nullptr)); }
};
SmfArena::SpareOwner SmfArena::spareOwner_;

void* SmfArena::AllocateBlock(size_t n)
{
    size_t size = std::max(nextSize_, n + sizeof(Block));
    Block* block = nullptr;
    if (!blocks_) {
        block = spare_.exchange(nullptr, std::memory_order_acquire);
        if (block && block->size < size) {
            std::free(block);
            block = nullptr;
        }
    }
    if (block) {
        size = block->size;
    } else {
        block = static_cast<Block*>(std::malloc(size));
        if (!block)
            throw std::bad_alloc();
        block->size = size;
    }
    nextSize_ = std::min(std::max(nextSize_, size) * 2, kMaxArenaBlock);
    block->next = blocks_;
    blocks_ = block;
    pos_ = reinterpret_cast<char*>(block) + sizeof(Block);
    end_ = reinterpret_cast<char*>(block) + size;
    void* p = pos_;
    pos_ += n;
    return p;
}

void SmfArena::Release()
{
    Block* keep = nullptr;
    for (Block* b = blocks_; b; b = b->next)
        if (b->size <= kMaxSpareBlock && (!keep || b->size > keep->size))
            keep = b;
    while (Block* b = blocks_) {
        blocks_ = b->next;
        if (b != keep)
            std::free(b);
    }
    if (keep)
        std::free(spare_.exchange(keep, std::memory_order_acq_rel));
    pos_ = end_ = nullptr;
    nextSize_ = 16 * 1024;
}

void* CSmfEvent::operator new(size_t size)
{
    auto* p = static_cast<char*>(::operator new(size + kOriginSize));
    *reinterpret_cast<uint64_t*>(p) = kHeapOrigin;
    return p + kOriginSize;
}

void CSmfEvent::operator delete(void* p)
{
    if (!p)
        return;
    char* block = static_cast<char*>(p) - kOriginSize;
    if (*reinterpret_cast<uint64_t*>(block) == kHeapOrigin)
        ::operator delete(block);
}

void CSmfEvent::operator delete(void*, SmfArena&)
{}

CSmfEvent::~CSmfEvent()
{
    UnlinkNode();
    delete[] data_;
}

void CSmfEvent::DeleteChain(CSmfEvent* first)
{
    for (CSmfEvent* e = first; e;) {
        CSmfEvent* next = e->Next();
        if (!e->isChannel_ || !e->FromArena()) {
            e->ForgetLinks();
            delete e;
        }
        e = next;
    }
}

void CSmfEvent::UpdateSize()
{
    encodedSize_ = VarLenSize(delta_) + BodySize();
}

void CSmfEvent::InsertAfter(CSmfEvent* prev)
{
    if (!prev || prev == this)
        return;
    Unlink();
    LinkNodeAfter(prev);
}

void CSmfEvent::Unlink()
{
    if (!IsLinked())
        return;
    if (CSmfEvent* next = Next()) {
        // A sum beyond 28 bits cannot be stored; it saturates.
        uint64_t sum = uint64_t(next->delta_) + delta_;
        next->delta_ = static_cast<uint32_t>(std::min<uint64_t>(sum, kSmfMaxVarLen));
        next->UpdateSize();
    }
    UnlinkNode();
}

bool CSmfEvent::SetDelta(uint32_t value)
{
    if (value > kSmfMaxVarLen)
        return false;
    delta_ = value;
    UpdateSize();
    return true;
}

bool CSmfEvent::UsesRunningStatus() const
{
    return status_ < 0xF0 && Prev() && Prev()->status_ == status_;
}

void CSmfEvent::GetData(CSmfEventRecord& record) const
{
    record.Clear();
    record.delta = delta_;
    record.status = status_;
    record.length = GetLength();
    record.data.assign(data_, data_ + length_);
    FillRecord(record);
}

bool CSmfEvent::SetData(const CSmfEventRecord& record)
{
    SetDelta(record.delta);
    return ApplyRecord(record);
}

void CSmfEvent::SetDataBytes(const uint8_t* bytes, uint32_t length)
{
    uint8_t* copy = length ? new uint8_t[length] : nullptr;
    if (length)
        std::memcpy(copy, bytes, length);
    delete[] data_;
    data_ = copy;
    length_ = length;
}

bool CSmfEvent::ReadData(SmfArchive& ar, uint32_t length, uint32_t& bytesRead)
{
    SetDataBytes(nullptr, 0);
    bytesRead = 0;
    if (length <= kReadPiece) {
        uint8_t* bytes = length ? new uint8_t[length] : nullptr;
        bytesRead = static_cast<uint32_t>(length ? ar.Read(bytes, length) : 0);
        if (bytesRead < length) {
            delete[] bytes;
            return false;
        }
        data_ = bytes;
        length_ = length;
        return true;
    }
    std::vector<uint8_t> data;
    while (bytesRead < length) {
        uint32_t piece = std::min(kReadPiece, length - bytesRead);
        data.resize(size_t(bytesRead) + piece);
        size_t got = ar.Read(data.data() + bytesRead, piece);
        bytesRead += static_cast<uint32_t>(got);
        if (got < piece)
            return false;
    }
    SetDataBytes(data.data(), length);
    return true;
}

bool CSmfEvent::WriteEvent(SmfArchive& ar, const uint8_t* head, size_t headLength, bool withData) const
{
    uint8_t bytes[16]; // delta 4, head at most 3, length 4
    size_t n = EncodeVarLen(bytes, delta_);
    std::memcpy(bytes + n, head, headLength);
    n += headLength;
    if (withData)
        n += EncodeVarLen(bytes + n, length_);
    if (!ar.Write(bytes, n))
        return false;
    return !withData || length_ == 0 || ar.Write(data_, length_);
}

// Shared by meta and sysex: a record of length 0 leaves the data as it is.
bool CSmfEvent::TakeData(const CSmfEventRecord& record)
{
    if (record.length == 0 || record.data.empty())
        return true;
    if (record.data.size() != record.length || record.length > kSmfMaxVarLen)
        return false;
    SetDataBytes(record.data.data(), record.length);
    return true;
}

// ---- channel messages ----

CSmfChannelEvent::CSmfChannelEvent(uint32_t delta, uint8_t status) : CSmfEvent(delta, status)
{
    isChannel_ = true;
    UpdateSize();
}

bool CSmfChannelEvent::Read(SmfArchive& ar, uint32_t& bytesRead)
{
    const uint32_t dataLength = DataLength();
    uint8_t bytes[2] = {0, 0};
    size_t got = ar.Read(bytes, dataLength);
    bytesRead = static_cast<uint32_t>(got);
    if (got < dataLength)
        return false;
    if (dataLength > 0)
        data1_ = bytes[0];
    if (dataLength > 1)
        data2_ = bytes[1];
    UpdateSize();
    return true;
}

bool CSmfChannelEvent::WriteMessage(SmfArchive& ar, bool runningStatus) const
{
    uint8_t bytes[7];
    size_t n = EncodeVarLen(bytes, delta_);
    if (!runningStatus)
        bytes[n++] = status_;
    const uint32_t dataLength = DataLength();
    if (dataLength > 0)
        bytes[n++] = data1_;
    if (dataLength > 1)
        bytes[n++] = data2_;
    return ar.Write(bytes, n);
}

bool CSmfChannelEvent::Write(SmfArchive& ar)
{
    return WriteMessage(ar, UsesRunningStatus());
}

void CSmfChannelEvent::FillRecord(CSmfEventRecord& record) const
{
    record.kind = kSmfEventChannel;
    record.data1 = data1_;
    record.data2 = data2_;
}

bool CSmfChannelEvent::ApplyRecord(const CSmfEventRecord& record)
{
    if ((record.status & 0x7F) >= 0x70 || record.length != GetLength())
        return false;
    status_ = record.status;
    data1_ = record.data1;
    data2_ = record.data2;
    UpdateSize();
    return true;
}

// ---- meta events ----

CSmfMetaEvent::CSmfMetaEvent(uint32_t delta, uint8_t status) : CSmfEvent(delta, status)
{
    UpdateSize();
}

uint32_t CSmfMetaEvent::BodySize() const
{
    return 2 + VarLenSize(GetLength()) + GetLength();
}

bool CSmfMetaEvent::Read(SmfArchive& ar, uint32_t& bytesRead)
{
    bytesRead = 0;
    if (ar.Read(&metaType_, 1) != 1)
        return false;
    bytesRead = 1;
    uint32_t length, lengthBytes, dataBytes;
    if (!ReadVarLen(ar, length, lengthBytes))
        return false;
    bytesRead += lengthBytes;
    bool ok = ReadData(ar, length, dataBytes);
    bytesRead += dataBytes;
    if (ok)
        UpdateSize();
    return ok;
}

bool CSmfMetaEvent::Write(SmfArchive& ar)
{
    const uint8_t head[2] = {0xFF, metaType_};
    return WriteEvent(ar, head, 2, true);
}

void CSmfMetaEvent::FillRecord(CSmfEventRecord& record) const
{
    record.kind = kSmfEventMeta;
    record.metaType = metaType_;
}

bool CSmfMetaEvent::ApplyRecord(const CSmfEventRecord& record)
{
    if (record.kind != kSmfEventMeta || record.status != 0xFF)
        return false;
    if (!TakeData(record))
        return false;
    metaType_ = record.metaType;
    UpdateSize();
    return true;
}

// ---- system exclusive and other system statuses ----

CSmfSysexEvent::CSmfSysexEvent(uint32_t delta, uint8_t status) : CSmfEvent(delta, status)
{
    UpdateSize();
}

uint32_t CSmfSysexEvent::BodySize() const
{
    return 1 + VarLenSize(GetLength()) + GetLength();
}

bool CSmfSysexEvent::Read(SmfArchive& ar, uint32_t& bytesRead)
{
    uint32_t length, lengthBytes, dataBytes;
    bytesRead = 0;
    if (!ReadVarLen(ar, length, lengthBytes))
        return false;
    bytesRead = lengthBytes;
    bool ok = ReadData(ar, length, dataBytes);
    bytesRead += dataBytes;
    if (ok)
        UpdateSize();
    return ok;
}

bool CSmfSysexEvent::Write(SmfArchive& ar)
{
    return WriteEvent(ar, &status_, 1, true);
}

void CSmfSysexEvent::FillRecord(CSmfEventRecord& record) const
{
    record.kind = kSmfEventSysex;
}

bool CSmfSysexEvent::ApplyRecord(const CSmfEventRecord& record)
{
    if (record.kind != kSmfEventSysex || record.status < 0xF0 || record.status > 0xFE)
        return false;
    if (!TakeData(record))
        return false;
    status_ = record.status;
    UpdateSize();
    return true;
}

} // namespace tavro

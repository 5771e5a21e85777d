// Reading, writing and record exchange of the track event kinds.
#include "smf/SmfEvent.h"

#include "smf/SmfArchive.h"
#include "smf/SmfVarLen.h"

#include <algorithm>

namespace tavro {

const uint8_t channelDataLength[8] = {2, 2, 2, 2, 1, 1, 2, 0};

namespace {
// Data of a meta or sysex event is read in pieces of this size, so that a
// length field promising far more than the stream holds costs no more
// memory than the bytes actually present.
constexpr uint32_t kReadPiece = 64 * 1024;
} // namespace

CSmfEvent::CSmfEvent(uint32_t delta, uint8_t status)
    : delta_(delta & kSmfMaxVarLen), status_(status)
{
}

CSmfEvent::~CSmfEvent() { UnlinkNode(); }

void CSmfEvent::UpdateSize() { encodedSize_ = VarLenSize(delta_) + BodySize(); }

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
    record.data = data_;
    FillRecord(record);
}

bool CSmfEvent::SetData(const CSmfEventRecord& record)
{
    SetDelta(record.delta);
    return ApplyRecord(record);
}

bool CSmfEvent::ReadData(SmfArchive& ar, uint32_t length, uint32_t& bytesRead)
{
    data_.clear();
    bytesRead = 0;
    while (bytesRead < length) {
        uint32_t piece = std::min(kReadPiece, length - bytesRead);
        data_.resize(size_t(bytesRead) + piece);
        size_t got = ar.Read(data_.data() + bytesRead, piece);
        bytesRead += static_cast<uint32_t>(got);
        if (got < piece) {
            data_.clear();
            data_.shrink_to_fit();
            return false;
        }
    }
    return true;
}

bool CSmfEvent::WriteDelta(SmfArchive& ar) const { return WriteVarLen(ar, delta_); }

// Shared by meta and sysex: a record of length 0 leaves the data as it is.
bool CSmfEvent::TakeData(const CSmfEventRecord& record)
{
    if (record.length == 0 || record.data.empty())
        return true;
    if (record.data.size() != record.length || record.length > kSmfMaxVarLen)
        return false;
    data_ = record.data;
    return true;
}

// ---- channel messages ----

CSmfChannelEvent::CSmfChannelEvent(uint32_t delta, uint8_t status)
    : CSmfEvent(delta, status), dataLength_(ChannelDataLength(status))
{
    UpdateSize();
}

bool CSmfChannelEvent::Read(SmfArchive& ar, uint32_t& bytesRead)
{
    uint8_t bytes[2] = {0, 0};
    size_t got = ar.Read(bytes, dataLength_);
    bytesRead = static_cast<uint32_t>(got);
    if (got < dataLength_)
        return false;
    if (dataLength_ > 0)
        data1_ = bytes[0];
    if (dataLength_ > 1)
        data2_ = bytes[1];
    UpdateSize();
    return true;
}

bool CSmfChannelEvent::Write(SmfArchive& ar)
{
    uint8_t bytes[3];
    size_t n = 0;
    if (!UsesRunningStatus())
        bytes[n++] = status_;
    if (dataLength_ > 0)
        bytes[n++] = data1_;
    if (dataLength_ > 1)
        bytes[n++] = data2_;
    return WriteDelta(ar) && ar.Write(bytes, n);
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
    dataLength_ = ChannelDataLength(status_);
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
    uint8_t head[2] = {0xFF, metaType_};
    return WriteDelta(ar) && ar.Write(head, 2) && WriteVarLen(ar, GetLength()) &&
           ar.Write(data_.data(), data_.size());
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
    return WriteDelta(ar) && ar.Write(&status_, 1) && WriteVarLen(ar, GetLength()) &&
           ar.Write(data_.data(), data_.size());
}

void CSmfSysexEvent::FillRecord(CSmfEventRecord& record) const { record.kind = kSmfEventSysex; }

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

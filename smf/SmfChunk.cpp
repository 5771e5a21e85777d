// Chunk headers, the header chunk and the track chunk: reading and writing.
#include "smf/SmfChunk.h"

#include "smf/SmfArchive.h"
#include "smf/SmfVarLen.h"

#include <cstring>

namespace tavro {

namespace {

uint32_t BigEndian32(const uint8_t* b)
{
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

uint32_t LittleEndian32(const uint8_t* b)
{
    return uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
}

void PutBigEndian32(uint8_t* b, uint32_t v)
{
    b[0] = uint8_t(v >> 24);
    b[1] = uint8_t(v >> 16);
    b[2] = uint8_t(v >> 8);
    b[3] = uint8_t(v);
}

bool ReadBigEndian16(SmfArchive& ar, uint16_t& v)
{
    uint8_t b[2];
    if (ar.Read(b, 2) != 2)
        return false;
    v = uint16_t(b[0] << 8 | b[1]);
    return true;
}

void PutBigEndian16(uint8_t* b, uint16_t v)
{
    b[0] = uint8_t(v >> 8);
    b[1] = uint8_t(v);
}

} // namespace

bool CSmfChunk::ReadChunkHeader(SmfArchive& ar, SmfReadStop* why)
{
    kind = kSmfChunkUnknown;
    length = 0;
    position = 0;
    SmfReadStop unused;
    SmfReadStop& stop = why ? *why : unused;
    const size_t got = ar.Read(id, 4);
    if (got != 4) {
        stop = got == 0 ? SmfReadStop::kEnd : SmfReadStop::kChunkHeaderCut;
        return false;
    }
    if (std::memcmp(id, "MThd", 4) == 0) {
        kind = kSmfChunkHeader;
    } else if (std::memcmp(id, "MTrk", 4) == 0) {
        kind = kSmfChunkTrack;
    } else if (std::memcmp(id, "RIFF", 4) == 0) {
        kind = kSmfChunkRiff;
    } else if (std::memcmp(id, "RMID", 4) == 0) {
        char data[4];
        if (ar.Read(data, 4) == 4 && std::memcmp(data, "data", 4) == 0)
            kind = kSmfChunkRmidData;
    }
    if (kind == kSmfChunkUnknown) {
        stop = SmfReadStop::kUnknownChunk;
        return false;
    }
    uint8_t len[4];
    if (ar.Read(len, 4) != 4) {
        stop = SmfReadStop::kChunkHeaderCut;
        return false;
    }
    bool riff = kind == kSmfChunkRiff || kind == kSmfChunkRmidData;
    length = riff ? LittleEndian32(len) : BigEndian32(len);
    return true;
}

bool CSmfChunk::WriteChunkHeader(SmfArchive& ar) const
{
    uint8_t bytes[8];
    std::memcpy(bytes, id, 4);
    PutBigEndian32(bytes + 4, size);
    return ar.Write(bytes, 8);
}

bool CSmfHeader::Read(SmfArchive& ar)
{
    readBytes = 0;
    SmfReadStop why = SmfReadStop::kEnd;
    // A failed chunk header here means there is no header chunk, unless the
    // data merely ends inside one.
    auto fail = [&](SmfReadStop stop) {
        readStop = why == SmfReadStop::kChunkHeaderCut ? SmfReadStop::kHeaderCut : stop;
        return false;
    };
    if (!ReadChunkHeader(ar, &why))
        return fail(why == SmfReadStop::kEnd ? SmfReadStop::kEmpty : SmfReadStop::kNoHeader);
    if (kind == kSmfChunkRiff) {
        // Only the data chunk of the form is read; what follows it is not.
        if (!ReadChunkHeader(ar, &why) || kind != kSmfChunkRmidData)
            return fail(SmfReadStop::kNoHeader);
        if (!ReadChunkHeader(ar, &why))
            return fail(SmfReadStop::kNoHeader);
        readBytes = 20; // "RIFF", its length, "RMID", "data", its length
    }
    if (kind != kSmfChunkHeader)
        return fail(SmfReadStop::kNoHeader);
    if (!ReadBigEndian16(ar, format) || !ReadBigEndian16(ar, trackCount) || !ReadBigEndian16(ar, division))
        return fail(SmfReadStop::kHeaderCut);
    position += 6;
    readStop = SmfReadStop::kEnd;
    uint8_t skip[256];
    while (position < length) {
        uint32_t want = length - position < sizeof skip ? length - position : sizeof skip;
        size_t got = ar.Read(skip, want);
        position += static_cast<uint32_t>(got);
        if (got < want) {
            readStop = SmfReadStop::kHeaderCut;
            break;
        }
    }
    readBytes += 8 + position;
    return true;
}

bool CSmfHeader::Write(SmfArchive& ar)
{
    if (!HasId()) {
        std::memcpy(id, "MThd", 4);
        length = 6;
    }
    size = 6;
    uint8_t bytes[14];
    std::memcpy(bytes, "MThd", 4);
    PutBigEndian32(bytes + 4, 6);
    PutBigEndian16(bytes + 8, format);
    PutBigEndian16(bytes + 10, trackCount);
    PutBigEndian16(bytes + 12, division);
    return ar.Write(bytes, sizeof bytes);
}

CSmfTrack::~CSmfTrack()
{
    DeleteEvents();
    UnlinkTrack();
}

void CSmfTrack::DeleteEvents()
{
    CSmfEvent::DeleteChain(head_.TakeAll());
}

CSmfEvent* CSmfTrack::LastEvent()
{
    CSmfEvent* e = &head_;
    while (e->Next())
        e = e->Next();
    return e;
}

void CSmfTrack::LinkAfter(CSmfTrack* previous)
{
    if (!previous || previous == this)
        return;
    UnlinkNode();
    LinkNodeAfter(previous);
}

void CSmfTrack::UnlinkTrack()
{
    UnlinkNode();
}

bool CSmfTrack::Read(SmfArchive& ar)
{
    DeleteEvents();
    readBytes = 0;
    readStop = SmfReadStop::kUnknownChunk;
    if (!ReadChunkHeader(ar, &readStop))
        return false;
    if (kind != kSmfChunkTrack) {
        readStop = SmfReadStop::kUnknownChunk;
        return false;
    }
    readStop = SmfReadStop::kEnd;
    uint8_t runningStatus = 0;
    uint64_t consumed = 0; // 64 bits: a last event may overrun a 4 GiB length
    uint64_t eventStart = 0;
    CSmfEvent* last = &head_;
    while (consumed < length) {
        eventStart = consumed;
        uint32_t delta, n;
        if (!ReadVarLen(ar, delta, n)) {
            DeleteEvents();
            readStop = SmfReadStop::kCutInDelta;
            readBytes = 8 + eventStart;
            return false;
        }
        consumed += n;
        uint8_t byte;
        if (!ar.ReadByte(byte)) {
            DeleteEvents();
            readStop = SmfReadStop::kCutBeforeStatus;
            readBytes = 8 + eventStart;
            return false;
        }
        const bool running = !(byte & 0x80);
        if (!running) {
            ++consumed;
            runningStatus = byte;
        }
        // In running status the byte is the event's first data byte, of
        // whatever kind the last status byte was.
        const uint8_t status = runningStatus;
        CSmfEvent* event;
        if (status < 0xF0) {
            // Channel messages, nearly every event: read here, not through
            // a push-back and a virtual Read.
            const uint32_t dataLength = ChannelDataLength(status);
            uint8_t data[2] = {0, 0};
            uint32_t have = 0;
            if (running)
                data[have++] = byte;
            while (have < dataLength && ar.ReadByte(data[have]))
                ++have;
            if (have < dataLength) {
                readStop = SmfReadStop::kCutInEvent;
                break; // data ended inside the event: keep what came before it
            }
            event = NewEvent<CSmfChannelEvent>(delta, status, data[0], data[1]);
            n = dataLength;
        } else {
            if (running)
                ar.UnreadByte();
            if (status == 0xFF)
                event = NewEvent<CSmfMetaEvent>(delta);
            else
                event = NewEvent<CSmfSysexEvent>(delta, status);
            if (!event->Read(ar, n)) {
                delete event;
                readStop = SmfReadStop::kCutInEvent;
                break;
            }
        }
        event->LinkAfterLast(last);
        last = event;
        consumed += n;
    }
    readBytes = 8 + (readStop == SmfReadStop::kEnd ? consumed : eventStart);
    position = consumed > length ? length : static_cast<uint32_t>(consumed);
    return true;
}

uint64_t CSmfTrack::BodyLength() const
{
    uint64_t total = 0;
    uint8_t previous = head_.GetStatus();
    for (const CSmfEvent* e = head_.Next(); e; e = e->Next()) {
        const uint8_t status = e->GetStatus();
        total += e->GetEncodedSize() - (status < 0xF0 && status == previous ? 1 : 0);
        previous = status;
    }
    return total;
}

uint32_t CSmfTrack::ComputeSize()
{
    uint64_t total = BodyLength();
    size = total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
    return size;
}

bool CSmfTrack::Write(SmfArchive& ar)
{
    if (!HasId())
        std::memcpy(id, "MTrk", 4);
    const uint64_t body = BodyLength();
    if (body > 0xFFFFFFFFu)
        return false; // cannot be described by a 32-bit chunk length
    size = static_cast<uint32_t>(body);
    if (!WriteChunkHeader(ar))
        return false;
    uint8_t previous = head_.GetStatus();
    for (CSmfEvent* e = head_.Next(); e; e = e->Next()) {
        const uint8_t status = e->GetStatus();
        bool ok = e->IsChannel()
                      ? static_cast<CSmfChannelEvent*>(e)->WriteMessage(ar, status < 0xF0 && status == previous)
                      : e->Write(ar);
        if (!ok)
            return false;
        previous = status;
    }
    return true;
}

} // namespace tavro

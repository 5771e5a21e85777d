// Chunks of a MIDI file: the chunk header shared by all of them, the "MThd"
// header chunk and the "MTrk" track chunk with its event list.
#pragma once
#include "smf/SmfLink.h"
#include "smf/SmfEvent.h"
#include "smf/SmfReadStop.h"

#include <cstdint>

namespace tavro {

class SmfArchive;

enum SmfChunkKind : int32_t {
    kSmfChunkUnknown = 0,
    kSmfChunkRiff = 1,     // "RIFF"
    kSmfChunkRmidData = 2, // "RMID" followed at once by "data"
    kSmfChunkHeader = 3,   // "MThd"
    kSmfChunkTrack = 4,    // "MTrk"
};

class CSmfChunk {
public:
    // Reads the id and the length (little-endian for the RIFF kinds,
    // big-endian for MThd and MTrk). False for a short read or an unknown id,
    // whose length is then not read; *why then says which (kEnd when no byte
    // was left).
    bool ReadChunkHeader(SmfArchive& ar, SmfReadStop* why = nullptr);
    // Writes id and size (big-endian).
    bool WriteChunkHeader(SmfArchive& ar) const;
    bool HasId() const { return id[0] || id[1] || id[2] || id[3]; }

    int32_t kind = kSmfChunkUnknown;
    char id[4] = {0, 0, 0, 0};
    uint32_t length = 0;   // as read
    uint32_t position = 0; // body bytes consumed so far
    uint32_t size = 0;     // body length to write
    // After a read: why it stopped (kEnd when the chunk was whole) and the
    // stream bytes it took up to the item it could not read (all of them
    // when whole).
    SmfReadStop readStop = SmfReadStop::kEnd;
    uint64_t readBytes = 0;

protected:
    CSmfChunk() = default;
};

class CSmfHeader : public CSmfChunk {
public:
    // Reads MThd (also inside a RIFF "RMID" form) and skips any surplus
    // beyond its 6 bytes. False when no header can be read. A surplus cut
    // short still reads, with readStop kHeaderCut.
    bool Read(SmfArchive& ar);
    bool Write(SmfArchive& ar);

    uint16_t format = 0;
    uint16_t trackCount = 0;
    uint16_t division = 0; // ticks per quarter note, stored as read
};

class CSmfTrack : public CSmfChunk, public SmfLink<CSmfTrack> {
public:
    // Events that the track reads come from `arena` when one is given (the
    // arena must outlive the track), else from the heap.
    explicit CSmfTrack(int32_t number = 0, SmfArena* arena = nullptr) : number_(number), arena_(arena) {}
    ~CSmfTrack();
    CSmfTrack(const CSmfTrack&) = delete;
    CSmfTrack& operator=(const CSmfTrack&) = delete;

    // Reads one MTrk chunk. False if the next chunk is not MTrk or the data
    // ends inside a delta time or status byte; data ending inside an event
    // drops that event, keeps the ones before it and still counts as read.
    // readStop and readBytes say where it stopped.
    bool Read(SmfArchive& ar);
    // Chunk header and events; stops at the first event that fails. The
    // body length is computed once, by the same walk that takes the
    // running-status decisions.
    bool Write(SmfArchive& ar);
    // Body length with running status taken into account, stored in size.
    // A body above 32 bits stores 0xFFFFFFFF; Write then refuses the track.
    uint32_t ComputeSize();
    uint64_t BodyLength() const;
    // Makes a new event (from the track's arena, if any).
    template <class Event, class... Args>
    Event* NewEvent(Args... args)
    {
        return arena_ ? new (*arena_) Event(args...) : new Event(args...);
    }

    // Links the track after prev in prev's list (the list owns it then).
    void LinkAfter(CSmfTrack* previous);
    void UnlinkTrack();
    CSmfTrack* NextTrack() const { return Next(); }

    int32_t Number() const { return number_; }
    CSmfListHead* Head() { return &head_; }
    const CSmfListHead* Head() const { return &head_; }
    // Walks the list; bulk builders keep their own last event instead.
    CSmfEvent* LastEvent();
    void DeleteEvents();

private:
    int32_t number_;
    SmfArena* arena_;
    CSmfListHead head_;
};

} // namespace tavro

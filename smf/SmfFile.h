// A MIDI file in memory: header and owned list of tracks, filled by reading a
// loading archive and written to a storing one.
#pragma once
#include "smf/SmfChunk.h"

#include <cstdint>

namespace tavro {

class SmfArchive;

// Owns its tracks; the embedded head track (number 0) is never read or
// written. The events of its tracks live in its arena, which Clear empties.
class CSmfTrackList {
public:
    CSmfTrackList() = default;
    ~CSmfTrackList() { Clear(); }
    CSmfTrackList(const CSmfTrackList&) = delete;
    CSmfTrackList& operator=(const CSmfTrackList&) = delete;

    void Clear();
    // Reads MTrk chunks until one cannot be read; returns how many were read.
    // `offset` is where the first one starts in the stream; *status (if
    // given) gets the first stop that lost data, else the end of data.
    int32_t Read(SmfArchive& ar, uint64_t offset = 0, SmfReadStatus* status = nullptr);
    CSmfTrack* HeadTrack() { return &head_; }
    CSmfTrack* First() const { return head_.NextTrack(); }
    // The last track (the head track when empty). Tracks that someone linked
    // after the last one are found from there, so the end is found without
    // walking the whole list.
    CSmfTrack* Last();
    int32_t Count() const { return count_; }
    // Adds a new track at the end, owned by the list: constant time.
    CSmfTrack* Append(int32_t number);

    void ResetIterator() { cursor_ = First(); }
    CSmfTrack* Next();

private:
    // Tracks, like their events, live in the arena: Clear ends them and
    // releases the arena.
    CSmfTrack* NewTrack(int32_t number);
    SmfArena arena_;
    CSmfTrack head_{0};
    // A track of the list at or before its end. Tracks leave the list only
    // when it is cleared, so this never dangles.
    CSmfTrack* last_ = &head_;
    CSmfTrack* cursor_ = nullptr;
    int32_t count_ = 0;
};

class CSmfFile {
public:
    // Loading: Reset, then header and tracks. A stream whose header cannot be
    // read yields no tracks. Storing: header, then every track in list order.
    // The outcome shows in GetTrackCount, in the archive's Failed() and, for
    // a read, in ReadStatus.
    void Serialize(SmfArchive& ar);
    const SmfReadStatus& ReadStatus() const { return readStatus_; }
    void Reset();
    // Tracks in the list (not the header's count).
    int32_t GetTrackCount() const;
    uint16_t GetDivision() const { return header_.division; }
    void SetDivision(uint16_t value) { header_.division = value; }
    const CSmfHeader& Header() const { return header_; }
    CSmfTrackList& Tracks() { return tracks_; }

    void ResetTrackIterator() { tracks_.ResetIterator(); }
    CSmfTrack* NextTrack() { return tracks_.Next(); }

private:
    void Store(SmfArchive& ar);
    CSmfHeader header_;
    CSmfTrackList tracks_;
    SmfReadStatus readStatus_;
};

} // namespace tavro

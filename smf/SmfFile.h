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
    CSmfTrack* Last();
    int32_t Count() const { return count_; }
    // Adds a new track at the end, owned by the list.
    CSmfTrack* Append(int32_t number);

    void ResetIterator() { cursor_ = First(); }
    CSmfTrack* Next();

private:
    SmfArena arena_;
    CSmfTrack head_{0};
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

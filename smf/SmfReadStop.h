// Why the MIDI file reader stopped where it did: one reason, the track it was
// reading and the byte offset of the item it could not read. The tests check
// these, and the MidiFile control's trace describes them.
#pragma once
#include <cstdint>
#include <string>

namespace tavro {

enum class SmfReadStop : uint8_t {
    kEnd,             // the data ended after the last complete chunk
    kCannotOpen,      // the file could not be opened
    kEmpty,           // no data at all
    kNoHeader,        // the data does not start with a header chunk
    kHeaderCut,       // the data ends inside the header chunk
    kUnknownChunk,    // a chunk other than a track chunk ends the track list
    kChunkHeaderCut,  // the data ends inside a chunk's id or length
    kCutInDelta,      // the data ends inside a delta time: the track is dropped
    kCutBeforeStatus, // the data ends after a delta time: the track is dropped
    kCutInEvent,      // the data ends inside an event: the events before it stay
};

struct SmfReadStatus {
    SmfReadStop stop = SmfReadStop::kEnd;
    int32_t track = 0;   // the track being read (1 for the first), 0 before any
    uint64_t offset = 0; // where the chunk or event that stopped the read begins
};

// Whether the read lost data that the file holds or claims: every stop but
// the end of data after a whole chunk.
inline bool SmfReadLostData(const SmfReadStatus& s)
{
    return s.stop != SmfReadStop::kEnd;
}

// The stop in plain words, e.g. "track 3 ends inside an event at byte 1,204".
std::string DescribeSmfReadStop(const SmfReadStatus& status);

} // namespace tavro

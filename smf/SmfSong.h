// The event array that scripts see, in a neutral form: tracks of rows
// {delta time, message bytes}. Converts a read file into it (with time-base
// rescaling) and validates a script's array into a file model for writing.
// The COM layer only maps VARIANT arrays to and from these structures.
#pragma once
#include "smf/InlineVector.h"
#include "smf/SmfReadStop.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavro {

class CSmfFile;
class SmfArchive;

constexpr int32_t kDefaultPPQ = 960;

// ---- read side: what the reader hands to a script ----

// One event: its delta time in the requested time base and its message:
// channel {status, data1, data2} (data2 0 for 0xCn/0xDn),
// meta {0xFF, type, length, data...}, system exclusive {0xF0, data...}.
// Up to 3 elements (every channel message, end of track) live in the row.
using SongMessage = InlineVector<int32_t, 3>;
struct SongRow {
    int32_t time = 0;
    SongMessage message;
    bool operator==(const SongRow& o) const { return time == o.time && message == o.message; }
};
using TrackArray = std::vector<SongRow>;
struct SongArray {
    std::vector<TrackArray> tracks;
};

// ---- write side: what a script hands in, shape problems included ----

// A number taken from a script array: nullopt when the element could not be
// fetched or converted to a 32-bit integer (that fails the whole write).
using ScriptNumber = std::optional<int32_t>;

struct ScriptRow {
    // false: the row could not be fetched, is not an array, or has fewer
    // than 2 elements. Such a row is skipped.
    bool isRow = true;
    ScriptNumber time;
    // false: element 1 is not an array. The row is skipped.
    bool messageIsArray = true;
    InlineVector<ScriptNumber, 3> message;
};
struct ScriptTrack {
    // false: the song element could not be fetched or is not an array: no track.
    bool isArray = true;
    std::vector<ScriptRow> rows;
};
struct ScriptSong {
    std::vector<ScriptTrack> tracks;
};

// A script array holding exactly what a read produced.
ScriptSong ToScriptSong(const SongArray& song);

// Takes a read file's rows one track at a time, so that a caller converting
// them into another form never holds the whole song twice. `rows` may be
// taken (swapped out); it is only valid during the call.
class SongTrackSink {
public:
    virtual void Begin(size_t trackCount) = 0;
    virtual void Track(size_t index, TrackArray& rows) = 0;

protected:
    ~SongTrackSink() = default;
};

// Fills song from a read file. ppq below 1 means the file's own division.
// Each delta is rescaled on its own (delta * ppq / division, truncated
// toward zero, saturated at INT32_MAX). Returns the time base of the times,
// or 0 with an empty song when the file has no track or a division of 0.
int32_t SongFromSmf(CSmfFile& file, int32_t ppq, SongArray& song);
// The same, track by track into a sink; nothing reaches it on failure.
int32_t SongFromSmf(CSmfFile& file, int32_t ppq, SongTrackSink& sink);

// Builds the file model from a script's array. ppq 0 means 960; the division
// is the low 16 bits of ppq. Unusable rows are skipped; false (with the model
// reset) when the whole write must fail: see the .cpp for the table.
bool SmfFromSong(const ScriptSong& song, int32_t ppq, CSmfFile& file);

// What SmfFromSong does, one song element at a time, so that a caller
// walking script arrays holds only one track of the neutral form at once.
class SmfSongBuilder {
public:
    SmfSongBuilder(int32_t ppq, CSmfFile& file);
    // The song's next element. False when the whole write must fail; the
    // model is then reset and later tracks are ignored.
    bool AddTrack(const ScriptTrack& track);

private:
    CSmfFile& file_;
    int32_t index_ = 0;
    bool failed_ = false;
};

// Writes a built model; false if the sink failed.
bool WriteSmf(CSmfFile& file, SmfArchive& sink);
// Creates the file and writes the model; false when the file cannot be
// created or written (it stays as far as it was written).
bool WriteSmfToFile(CSmfFile& file, const std::string& path);

// Read and convert: the result of SongFromSmf. *status (if given) gets the
// reader's stop.
int32_t ReadSong(SmfArchive& source, int32_t ppq, SongArray& song, SmfReadStatus* status = nullptr);
int32_t ReadSong(SmfArchive& source, int32_t ppq, SongTrackSink& sink, SmfReadStatus* status = nullptr);
// Convert and write; false if the array is refused (nothing written) or the
// sink failed.
bool WriteSong(const ScriptSong& song, int32_t ppq, SmfArchive& sink);

// The same for a disk file. Reading: 0 when the file cannot be opened.
// Writing converts first, so that an array the write refuses creates no
// file; the caller checks beforehand that the path does not exist. A write
// error leaves the file as far as it was written and returns false.
int32_t ReadSongFromFile(const std::string& path, int32_t ppq, SongArray& song, SmfReadStatus* status = nullptr);
int32_t ReadSongFromFile(const std::string& path, int32_t ppq, SongTrackSink& sink, SmfReadStatus* status = nullptr);
bool WriteSongToFile(const ScriptSong& song, int32_t ppq, const std::string& path);

} // namespace tavro

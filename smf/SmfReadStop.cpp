// Plain-word descriptions of the reader's stop reasons.
#include "smf/SmfReadStop.h"

namespace tavro {

namespace {

// 1204 as "1,204": offsets in large files stay readable.
std::string Grouped(uint64_t n)
{
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace

std::string DescribeSmfReadStop(const SmfReadStatus& s)
{
    const std::string at = " at byte " + Grouped(s.offset);
    const std::string track = "track " + std::to_string(s.track);
    switch (s.stop) {
    case SmfReadStop::kEnd:
        return "the data ends" + at;
    case SmfReadStop::kCannotOpen:
        return "the file cannot be opened";
    case SmfReadStop::kEmpty:
        return "the file is empty";
    case SmfReadStop::kNoHeader:
        return "no header chunk (MThd)" + at;
    case SmfReadStop::kHeaderCut:
        return "the data ends inside the header chunk" + at;
    case SmfReadStop::kUnknownChunk:
        return "a chunk that is not a track" + at + " ends the track list";
    case SmfReadStop::kChunkHeaderCut:
        return "the data ends inside a chunk header" + at;
    case SmfReadStop::kCutInDelta:
        return track + " ends inside a delta time" + at + "; the track is dropped";
    case SmfReadStop::kCutBeforeStatus:
        return track + " ends after a delta time" + at + "; the track is dropped";
    case SmfReadStop::kCutInEvent:
        return track + " ends inside an event" + at;
    }
    return "unknown stop" + at;
}

} // namespace tavro

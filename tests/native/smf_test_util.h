// Helpers shared by the MIDI file tests and the fuzz tools: byte builders,
// songs read and written in memory, a check that chunk lengths match bytes.
#pragma once
#include "smf/SmfArchive.h"
#include "smf/SmfSong.h"

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace smftest {

using Bytes = std::vector<uint8_t>;

inline void AddText(Bytes& b, const char* s)
{
    while (*s)
        b.push_back(static_cast<uint8_t>(*s++));
}
inline void AddBe32(Bytes& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(uint8_t(v >> shift));
}

inline Bytes Header(int format, int tracks, int division, uint32_t length = 6)
{
    Bytes b;
    AddText(b, "MThd");
    AddBe32(b, length);
    for (int v : {format, tracks, division})
        b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
    return b;
}

inline Bytes Track(const Bytes& body)
{
    Bytes b;
    AddText(b, "MTrk");
    AddBe32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A RIFF "RMID" file holding smf in a chunk named dataId, then an INFO list.
inline Bytes Rmid(const Bytes& smf, const char* dataId)
{
    auto le32 = [](Bytes& b, size_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> 8 * i));
    };
    Bytes b;
    AddText(b, "RIFF");
    le32(b, smf.size() + 12 + 12);
    AddText(b, "RMID");
    AddText(b, dataId);
    le32(b, smf.size());
    b.insert(b.end(), smf.begin(), smf.end());
    AddText(b, "LIST");
    le32(b, 4);
    AddText(b, "INFO");
    return b;
}

inline int32_t ReadBytes(const Bytes& bytes, int32_t ppq, tavro::SongArray& song,
                         tavro::SmfReadStatus* status = nullptr)
{
    tavro::SmfMemorySource src(bytes);
    return tavro::ReadSong(src, ppq, song, status);
}

inline tavro::ScriptRow Row(tavro::ScriptNumber time, std::vector<tavro::ScriptNumber> message)
{
    tavro::ScriptRow r;
    r.time = time;
    r.message = std::move(message);
    return r;
}

inline tavro::ScriptSong OneTrack(std::vector<tavro::ScriptRow> rows)
{
    tavro::ScriptSong song;
    song.tracks.resize(1);
    song.tracks[0].rows = std::move(rows);
    return song;
}

// The bytes WriteSong produced, empty when it failed (it then writes nothing).
inline Bytes WriteBytes(const tavro::ScriptSong& song, int32_t ppq, bool* ok = nullptr)
{
    tavro::SmfMemorySink sink;
    bool written = tavro::WriteSong(song, ppq, sink);
    if (ok)
        *ok = written;
    return sink.Bytes();
}

inline std::string Hex(const Bytes& b)
{
    std::ostringstream s;
    for (uint8_t v : b)
        s << std::hex << (v < 16 ? "0" : "") << int(v) << ' ';
    return s.str();
}

inline std::string Dump(const tavro::SongArray& song)
{
    std::ostringstream s;
    for (size_t t = 0; t < song.tracks.size(); ++t) {
        s << "track " << t << ":";
        for (const auto& row : song.tracks[t]) {
            s << " [" << row.time << ":";
            for (int32_t v : row.message)
                s << ' ' << v;
            s << ']';
        }
        s << '\n';
    }
    return s.str();
}

// Empty when the file is an MThd of length 6 followed by MTrk chunks whose
// lengths add up exactly to the file's size; else what is wrong.
inline std::string ChunkLayoutError(const Bytes& b)
{
    auto be32 = [&](size_t at) {
        return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
    };
    if (b.size() < 14 || std::string(b.begin(), b.begin() + 4) != "MThd" || be32(4) != 6)
        return "bad header";
    for (size_t at = 14; at < b.size();) {
        if (b.size() - at < 8 || std::string(b.begin() + at, b.begin() + at + 4) != "MTrk")
            return "bad chunk header at " + std::to_string(at);
        uint64_t end = at + 8 + uint64_t(be32(at + 4));
        if (end > b.size())
            return "chunk at " + std::to_string(at) + " runs past the end";
        at = static_cast<size_t>(end);
    }
    return "";
}

} // namespace smftest

// Writes the fuzzer's seed corpus: small MIDI files that reach the reader's
// branches (running status of each kind, RMID, odd headers, cut data).
// Usage: smf_fuzz_corpus <folder>
#include "smf/SmfArchive.h"
#include "smf/SmfSong.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

using namespace tavro;
using Bytes = std::vector<uint8_t>;

namespace {

void Add(Bytes& b, std::initializer_list<int> v)
{
    for (int x : v)
        b.push_back(static_cast<uint8_t>(x));
}

void AddText(Bytes& b, const char* s)
{
    while (*s)
        b.push_back(static_cast<uint8_t>(*s++));
}

Bytes Chunk(const char* id, const Bytes& body, bool littleEndian = false)
{
    Bytes b;
    AddText(b, id);
    uint32_t n = static_cast<uint32_t>(body.size());
    if (littleEndian)
        Add(b, {int(n & 0xFF), int(n >> 8 & 0xFF), int(n >> 16 & 0xFF), int(n >> 24)});
    else
        Add(b, {int(n >> 24), int(n >> 16 & 0xFF), int(n >> 8 & 0xFF), int(n & 0xFF)});
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes Header(int format, int tracks, int division, Bytes extra = {})
{
    Bytes body = {0, uint8_t(format), 0, uint8_t(tracks), uint8_t(division >> 8), uint8_t(division & 0xFF)};
    body.insert(body.end(), extra.begin(), extra.end());
    return Chunk("MThd", body);
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool Save(const std::string& folder, const char* name, const Bytes& b)
{
    std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];

    ScriptSong song;
    song.tracks.resize(1);
    auto row = [](int32_t t, std::vector<ScriptNumber> m) {
        ScriptRow r;
        r.time = t;
        r.message = std::move(m);
        return r;
    };
    song.tracks[0].rows = {row(0, {255, 81, 3, 7, 161, 32}), row(0, {144, 60, 100}), row(480, {128, 60, 0}),
                           row(0, {255, 47, 0})};
    SmfMemorySink example;
    WriteSong(song, 960, example);
    const Bytes& ex = example.Bytes();

    const Bytes note = Chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    const Bytes running = Chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x3E, 0x40, 0x00, 0xFF, 0x01, 0x01, 'A',
                                         0x00, 0x05, 0x00, 0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 0x01, 0x55,
                                         0x00, 0xC1, 0x05, 0x10, 0x06, 0x00, 0xFF, 0x2F, 0x00});
    const Bytes system = Chunk("MTrk", {0x00, 0xF7, 0x02, 0x01, 0x02, 0x00, 0xF8, 0x00, 0x00, 0xF1, 0x01, 0x09,
                                        0x00, 0x3C, 0x40, 0x00, 0xE0, 0x00, 0x40});
    const Bytes vlq = Chunk("MTrk", {0x7F, 0x80, 0x3C, 0x00, 0x81, 0x00, 0x3C, 0x00, 0xFF, 0xFF, 0xFF, 0x7F,
                                     0x3C, 0x00, 0x81, 0x80, 0x80, 0x80, 0x00, 0x40});
    const Bytes smf2 = Cat({Header(1, 2, 96), note, running, system});

    bool ok = true;
    ok &= Save(dir, "example.mid", ex);
    ok &= Save(dir, "running_status.mid", Cat({Header(0, 1, 96), running}));
    ok &= Save(dir, "more_tracks_than_header.mid", smf2);
    ok &= Save(dir, "long_header.mid", Cat({Header(0, 1, 480, {0xAA, 0xBB}), note}));
    ok &= Save(dir, "vlq_edges.mid", Cat({Header(0, 1, 0x8000), vlq}));
    ok &= Save(dir, "rmid.rmi",
               Chunk("RIFF", Cat({Bytes{'R', 'M', 'I', 'D'}, Chunk("data", smf2, true),
                                  Chunk("LIST", {'I', 'N', 'F', 'O'}, true)}),
                     true));
    ok &= Save(dir, "cut_in_note.mid", Bytes(ex.begin(), ex.end() - 8));
    ok &= Save(dir, "division_zero.mid", Cat({Header(0, 1, 0), note}));
    ok &= Save(dir, "unknown_chunk.mid", Cat({Header(1, 3, 96), note, Chunk("XFIH", {1, 2}), note}));
    if (!ok) {
        std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}

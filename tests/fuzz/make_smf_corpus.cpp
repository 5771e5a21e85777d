// Writes the fuzzer's seed corpus: small MIDI files that reach the reader's
// branches (running status of each kind, RMID, odd headers, cut data).
// Usage: smf_fuzz_corpus <folder>
#include "tests/native/smf_test_util.h"

#include <cstdio>
#include <string>

using namespace smftest;

namespace {

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

    const Bytes ex = WriteBytes(OneTrack({Row(0, {255, 81, 3, 7, 161, 32}), Row(0, {144, 60, 100}),
                                          Row(480, {128, 60, 0}), Row(0, {255, 47, 0})}),
                                960);
    const Bytes note = Track({0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    const Bytes running = Track({0x00, 0x90, 0x3C, 0x40, 0x00, 0x3E, 0x40, 0x00, 0xFF, 0x01, 0x01, 'A',
                                 0x00, 0x05, 0x00, 0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 0x01, 0x55,
                                 0x00, 0xC1, 0x05, 0x10, 0x06, 0x00, 0xFF, 0x2F, 0x00});
    const Bytes system = Track({0x00, 0xF7, 0x02, 0x01, 0x02, 0x00, 0xF8, 0x00, 0x00, 0xF1, 0x01, 0x09,
                                0x00, 0x3C, 0x40, 0x00, 0xE0, 0x00, 0x40});
    const Bytes vlq = Track({0x7F, 0x80, 0x3C, 0x00, 0x81, 0x00, 0x3C, 0x00, 0xFF, 0xFF, 0xFF, 0x7F,
                             0x3C, 0x00, 0x81, 0x80, 0x80, 0x80, 0x00, 0x40});
    const Bytes smf2 = Cat({Header(1, 2, 96), note, running, system});

    bool ok = true;
    ok &= Save(dir, "example.mid", ex);
    ok &= Save(dir, "running_status.mid", Cat({Header(0, 1, 96), running}));
    ok &= Save(dir, "more_tracks_than_header.mid", smf2);
    ok &= Save(dir, "long_header.mid", Cat({Header(0, 1, 480, 8), Bytes{0xAA, 0xBB}, note}));
    ok &= Save(dir, "vlq_edges.mid", Cat({Header(0, 1, 0x8000), vlq}));
    ok &= Save(dir, "rmid.rmi", Rmid(smf2, "data"));
    ok &= Save(dir, "cut_in_note.mid", Bytes(ex.begin(), ex.end() - 8));
    ok &= Save(dir, "division_zero.mid", Cat({Header(0, 1, 0), note}));
    ok &= Save(dir, "unknown_chunk.mid", Cat({Header(1, 3, 96), note, Bytes{'X', 'F', 'I', 'H', 0, 0, 0, 2, 1, 2}, note}));
    if (!ok) {
        std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}

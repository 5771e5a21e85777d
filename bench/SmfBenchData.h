// Deterministic MIDI files for the SMF benchmarks: a large format-1 file of
// 16 tracks with running status, and small files of a few hundred events.
#pragma once
#include <cstdint>
#include <vector>

namespace smfbench {

class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed) {}
    uint32_t Next()
    {
        s_ = s_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(s_ >> 33);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint64_t s_;
};

inline void PutVarLen(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t b[4];
    int n = 0;
    do {
        b[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n--)
        out.push_back(static_cast<uint8_t>(b[n] | (n ? 0x80 : 0)));
}

inline void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<uint8_t>(v >> s));
}

// One track body of about `events` events on `channel`: note on/off pairs
// (mostly in running status), controllers, program changes, pitch bends,
// some text and system exclusive, ending with end-of-track. Counts events.
inline void TrackBody(Rng& rng, int channel, uint32_t events, std::vector<uint8_t>& body, uint64_t& count)
{
    uint8_t running = 0;
    auto status = [&](uint8_t s) {
        if (s != running)
            body.push_back(s);
        running = s;
    };
    for (uint32_t i = 0; i < events; ++i) {
        uint32_t r = rng.Below(1000);
        PutVarLen(body, r < 600 ? 0 : rng.Below(r < 950 ? 200 : 5000));
        if (r < 800) {
            // Note on, or note off as a note on with velocity 0.
            status(static_cast<uint8_t>(0x90 | channel));
            body.push_back(static_cast<uint8_t>(36 + rng.Below(60)));
            body.push_back(static_cast<uint8_t>(rng.Below(3) ? 1 + rng.Below(126) : 0));
        } else if (r < 900) {
            status(static_cast<uint8_t>(0xB0 | channel));
            body.push_back(static_cast<uint8_t>(rng.Below(120)));
            body.push_back(static_cast<uint8_t>(rng.Below(128)));
        } else if (r < 960) {
            status(static_cast<uint8_t>(0xE0 | channel));
            body.push_back(static_cast<uint8_t>(rng.Below(128)));
            body.push_back(static_cast<uint8_t>(rng.Below(128)));
        } else if (r < 990) {
            status(static_cast<uint8_t>(0xC0 | channel));
            body.push_back(static_cast<uint8_t>(rng.Below(128)));
        } else if (r < 997) {
            running = 0; // a meta event cancels running status for the writer too
            body.push_back(0xFF);
            body.push_back(0x01);
            uint32_t len = 4 + rng.Below(24);
            PutVarLen(body, len);
            for (uint32_t k = 0; k < len; ++k)
                body.push_back(static_cast<uint8_t>('a' + rng.Below(26)));
        } else {
            running = 0;
            body.push_back(0xF0);
            uint32_t len = 6 + rng.Below(10);
            PutVarLen(body, len);
            for (uint32_t k = 0; k + 1 < len; ++k)
                body.push_back(static_cast<uint8_t>(rng.Below(128)));
            body.push_back(0xF7);
        }
    }
    body.push_back(0);
    body.push_back(0xFF);
    body.push_back(0x2F);
    body.push_back(0);
    count += events + 1;
}

// A format-1 file: a tempo track, then `tracks` - 1 tracks of
// `eventsPerTrack` events. `events` receives the MTrk event count.
inline std::vector<uint8_t> MakeFile(uint64_t seed, int tracks, uint32_t eventsPerTrack, uint64_t& events)
{
    Rng rng(seed);
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    file.push_back(static_cast<uint8_t>(tracks >> 8));
    file.push_back(static_cast<uint8_t>(tracks));
    file.push_back(0x03);
    file.push_back(0xC0); // 960 ticks per quarter note: the controls' default time base
    events = 0;
    std::vector<uint8_t> body;
    for (int t = 0; t < tracks; ++t) {
        body.clear();
        if (t == 0) {
            const uint8_t tempo[] = {0, 0xFF, 0x51, 3,  0x07, 0xA1, 0x20, 0,    0xFF, 0x58,
                                     4, 4,    2,    24, 8,    0,    0xFF, 0x2F, 0};
            body.assign(tempo, tempo + sizeof tempo);
            events += 3;
        } else {
            TrackBody(rng, (t - 1) & 15, eventsPerTrack, body, events);
        }
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        Put32(file, static_cast<uint32_t>(body.size()));
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

} // namespace smfbench

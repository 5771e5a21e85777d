// Standard MIDI file throughput: reading and writing a large generated file
// and many small ones through the event model, through the script-form rows
// that the MidiFile control converts, and with plain read(2)/write(2) as the
// floor. Prints one JSON line per measurement; run it with
// GLIBC_TUNABLES=glibc.malloc.trim_threshold=4294967295:glibc.malloc.mmap_threshold=33554432
// for the warm-heap figures (cmake/run-bench.sh runs both). times_s are wall
// times; TAVRO_BENCH_CLOCK=cpu makes them the process's CPU time instead.
#include "bench/SmfBenchData.h"
#include "smf/SmfArchive.h"
#include "smf/SmfFile.h"
#include "smf/SmfSong.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tavro;

constexpr int kRuns = 5;
constexpr int kSmallFiles = 2000;

std::string g_heap;
const char* g_only = nullptr; // measure only workload/path names holding this
bool g_cpuClock = false;      // times_s in CPU time instead of wall time

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Wall time, and the process's CPU time (user and system) in *cpu: on a
// loaded machine the CPU time is the figure that means something.
double Seconds(const std::function<void()>& work, double* cpu)
{
    double cpu0 = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    work();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *cpu = CpuSeconds() - cpu0;
    return wall;
}

// One warm-up, then kRuns timed runs; `prepare` runs untimed before each.
void Measure(
    const char* workload, const char* path, uint64_t bytes, uint64_t events, const std::function<void()>& work,
    const std::function<void()>& prepare = [] {})
{
    if (g_only && (std::string(workload) + "/" + path).find(g_only) == std::string::npos)
        return;
    prepare();
    work();
    std::vector<double> times, cpuTimes;
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        double cpu;
        times.push_back(Seconds(work, &cpu));
        cpuTimes.push_back(cpu);
    }
    if (g_cpuClock)
        times.swap(cpuTimes);
    std::vector<double> sorted = times, sortedCpu = cpuTimes;
    std::sort(sorted.begin(), sorted.end());
    std::sort(sortedCpu.begin(), sortedCpu.end());
    std::printf("{\"peer\": \"ours\", \"workload\": \"%s\", \"path\": \"%s%s\", \"bytes\": %llu, \"events\": %llu, "
                "\"times_s\": [",
                workload, path, g_heap.c_str(), static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(events));
    for (size_t i = 0; i < times.size(); ++i)
        std::printf("%s%.6f", i ? ", " : "", times[i]);
    std::printf("]}\n");
    std::fprintf(stderr, "  %-10s %-12s median %8.1f MB/s %7.2f M events/s (%s), other clock %8.1f MB/s\n", workload,
                 path, bytes / sorted[kRuns / 2] / 1e6, events / sorted[kRuns / 2] / 1e6, g_cpuClock ? "CPU" : "wall",
                 bytes / sortedCpu[kRuns / 2] / 1e6);
    std::fflush(stdout);
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::close(fd);
}

size_t ReadAll(const std::string& path, std::vector<uint8_t>& buffer)
{
    int fd = ::open(path.c_str(), O_RDONLY);
    size_t total = 0;
    for (;;) {
        if (buffer.size() - total < 65536)
            buffer.resize(buffer.size() * 2 + 65536);
        ssize_t got = ::read(fd, buffer.data() + total, buffer.size() - total);
        if (got <= 0)
            break;
        total += static_cast<size_t>(got);
    }
    ::close(fd);
    return total;
}

uint64_t EventCount(CSmfFile& file)
{
    uint64_t n = 0;
    file.ResetTrackIterator();
    while (CSmfTrack* t = file.NextTrack())
        for (CSmfEvent* e = t->Head()->Next(); e; e = e->Next())
            ++n;
    return n;
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "smf_bench: %s\n", what);
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    g_heap =
        tunables && std::string(tunables).find("trim_threshold") != std::string::npos ? "/warm_heap" : "/cold_heap";
    // Arguments: [work folder [only]].
    const std::string dir = argc > 1 ? argv[1] : "/tmp/tavro_smf_bench";
    g_only = argc > 2 && argv[2][0] ? argv[2] : nullptr;
    const char* clock = std::getenv("TAVRO_BENCH_CLOCK");
    g_cpuClock = clock && std::string(clock) == "cpu";
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/small'").c_str());

    uint64_t bigEvents = 0;
    const std::vector<uint8_t> big = smfbench::MakeFile(1, 16, 170000, bigEvents);
    const std::string bigPath = dir + "/big.mid", outPath = dir + "/out.mid";
    WriteAll(bigPath, big);

    std::vector<std::string> smallPaths;
    uint64_t smallBytes = 0, smallEvents = 0;
    for (int i = 0; i < kSmallFiles; ++i) {
        uint64_t events = 0;
        std::vector<uint8_t> bytes = smfbench::MakeFile(100 + i, 1 + i % 4, 200 + 37 * (i % 50), events);
        smallPaths.push_back(dir + "/small/" + std::to_string(i) + ".mid");
        WriteAll(smallPaths.back(), bytes);
        smallBytes += bytes.size();
        smallEvents += events;
    }

    // ---- big read ----
    std::vector<uint8_t> buffer;
    Measure("big_read", "read(2)", big.size(), bigEvents,
            [&] { Check(ReadAll(bigPath, buffer) == big.size(), "short read"); });
    Measure("big_read", "event_model", big.size(), bigEvents, [&] {
        CSmfFile file;
        SmfFileSource source(bigPath);
        file.Serialize(source);
        Check(file.GetTrackCount() == 16, "event model read");
    });
    {
        CSmfFile file;
        SmfFileSource source(bigPath);
        file.Serialize(source);
        Check(EventCount(file) == bigEvents, "event count");
    }
    Measure("big_read", "script_rows", big.size(), bigEvents, [&] {
        SongArray song;
        Check(ReadSongFromFile(bigPath, 0, song) == 960 && song.tracks.size() == 16, "script-form read");
    });

    // ---- big write ----
    auto removeOut = [&] { std::remove(outPath.c_str()); };
    Measure(
        "big_write", "write(2)", big.size(), bigEvents, [&] { WriteAll(outPath, big); }, removeOut);
    {
        CSmfFile file;
        SmfFileSource source(bigPath);
        file.Serialize(source);
        Measure(
            "big_write", "event_model", big.size(), bigEvents,
            [&] {
                SmfFileSink sink(outPath);
                file.Serialize(sink);
                Check(sink.Close(), "event model write");
            },
            removeOut);
        std::vector<uint8_t> written;
        Check(g_only ||
                  (ReadAll(outPath, written) == big.size() && std::equal(big.begin(), big.end(), written.begin())),
              "event model write differs from the file read");
    }
    {
        SongArray song;
        ReadSongFromFile(bigPath, 0, song);
        const ScriptSong script = ToScriptSong(song);
        song.tracks.clear();
        Measure(
            "big_write", "script_rows", big.size(), bigEvents,
            [&] { Check(WriteSongToFile(script, 960, outPath), "script-form write"); }, removeOut);
        std::vector<uint8_t> written;
        Check(g_only ||
                  (ReadAll(outPath, written) == big.size() && std::equal(big.begin(), big.end(), written.begin())),
              "script-form write differs from the file read");
    }

    // ---- many small files ----
    Measure("small_read", "read(2)", smallBytes, smallEvents, [&] {
        for (const std::string& p : smallPaths)
            ReadAll(p, buffer);
    });
    Measure("small_read", "event_model", smallBytes, smallEvents, [&] {
        for (const std::string& p : smallPaths) {
            CSmfFile file;
            SmfFileSource source(p);
            file.Serialize(source);
            Check(file.GetTrackCount() > 0, "small event model read");
        }
    });
    Measure("small_read", "script_rows", smallBytes, smallEvents, [&] {
        for (const std::string& p : smallPaths) {
            SongArray song;
            Check(ReadSongFromFile(p, 0, song) == 960, "small script-form read");
        }
    });
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}

// MidiFile under Wine: events per second of ReadMidiFile into a script array
// and WriteMidiFile from it, called through IDispatch on the large generated
// file of smf_bench. Prints JSON lines like smf_bench, then the rates.
#include "bench/SmfBenchData.h"
#include "module/ComUtil.h"
#include "smf/MidiFileCtrl.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 5;

// Calls `dispid` with arguments given first to last.
HRESULT Call(IDispatch* d, DISPID dispid, std::vector<VARIANT> args, VARIANT* result)
{
    std::reverse(args.begin(), args.end());
    DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return d->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

VARIANT Text(const std::wstring& s)
{
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(s.c_str());
    return v;
}

VARIANT Ref(VARIANT* target)
{
    VARIANT v;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}

// User and kernel time of this process: on a loaded machine the figure
// that means something.
double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& f) { return (uint64_t(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Print(const char* workload, const char* path, uint64_t bytes, uint64_t events, const std::vector<double>& times)
{
    std::printf("{\"peer\": \"ours\", \"workload\": \"%s\", \"path\": \"%s\", \"bytes\": %llu, \"events\": %llu, "
                "\"times_s\": [",
                workload, path, static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(events));
    for (size_t i = 0; i < times.size(); ++i)
        std::printf("%s%.6f", i ? ", " : "", times[i]);
    std::printf("]}\n");
}

} // namespace

int main()
{
    CoInitialize(nullptr);
    uint64_t events = 0;
    const std::vector<uint8_t> big = smfbench::MakeFile(1, 16, 170000, events);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring in = std::wstring(temp) + L"tavro_midifile_bench.mid";
    const std::wstring out = std::wstring(temp) + L"tavro_midifile_bench_out.mid";
    HANDLE h = CreateFileW(in.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, big.data(), static_cast<DWORD>(big.size()), &written, nullptr);
    CloseHandle(h);

    IDispatch* control = static_cast<IDispatch*>(CMidiFileCtrl::Create());
    using Clock = std::chrono::steady_clock;
    std::vector<double> readTimes, writeTimes, clearTimes, readCpu, writeCpu;
    bool ok = true;
    for (int run = 0; run <= kRuns; ++run) { // run 0 warms up
        tavro::Variant song, result;
        double cpu = CpuSeconds();
        auto start = Clock::now();
        ok = ok && SUCCEEDED(Call(control, 1, {Ref(song.get()), Text(in)}, result.get())) && result->vt == VT_BOOL &&
             result->boolVal;
        double read = std::chrono::duration<double>(Clock::now() - start).count();
        double readCpuTime = CpuSeconds() - cpu;
        DeleteFileW(out.c_str());
        tavro::Variant wrote;
        cpu = CpuSeconds();
        start = Clock::now();
        ok = ok && SUCCEEDED(Call(control, 2, {Text(out), Ref(song.get())}, wrote.get())) && wrote->vt == VT_BOOL &&
             wrote->boolVal;
        double write = std::chrono::duration<double>(Clock::now() - start).count();
        double writeCpuTime = CpuSeconds() - cpu;
        start = Clock::now();
        VariantClear(song.get());
        double clear = std::chrono::duration<double>(Clock::now() - start).count();
        if (run > 0) {
            readTimes.push_back(read);
            writeTimes.push_back(write);
            clearTimes.push_back(clear);
            readCpu.push_back(readCpuTime);
            writeCpu.push_back(writeCpuTime);
        }
    }
    control->Release();
    h = CreateFileW(out.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<uint8_t> back(big.size() + 1);
    DWORD got = 0;
    ReadFile(h, back.data(), static_cast<DWORD>(back.size()), &got, nullptr);
    CloseHandle(h);
    DeleteFileW(in.c_str());
    DeleteFileW(out.c_str());
    if (!ok || got != big.size() || !std::equal(big.begin(), big.end(), back.begin())) {
        std::printf("midifile_bench: the round trip through the control failed\n");
        return 1;
    }
    Print("big_read", "control_wine", big.size(), events, readTimes);
    Print("big_write", "control_wine", big.size(), events, writeTimes);
    std::printf("ReadMidiFile  %.2f M events/s wall, %.2f M events/s CPU (median of %d)\n",
                events / Median(readTimes) / 1e6, events / Median(readCpu) / 1e6, kRuns);
    std::printf("WriteMidiFile %.2f M events/s wall, %.2f M events/s CPU\n", events / Median(writeTimes) / 1e6,
                events / Median(writeCpu) / 1e6);
    std::printf("VariantClear of the song array %.3f s\n", Median(clearTimes));
    CoUninitialize();
    return 0;
}

// Sending through the MidiIO control under Wine with the loopback MIDI
// driver, for the system output 1 and for DirectMusic's emulation of the
// same device: immediate SendMidiEvent calls per second, then 2000 messages
// scheduled 2-5 ms apart, their arrival read on the system input 1 (master
// clock at delivery). Prints percentiles of arrival - scheduled; never fails
// on timing.
#include "midiio/MidiIOCtrl.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

VARIANT Message(int index)
{
    VARIANT v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    const int bytes[3] = {0x90, index & 0x7F, (index >> 7) & 0x7F};
    for (LONG i = 0; i < 3; ++i) {
        VARIANT e;
        e.vt = VT_I4;
        e.lVal = bytes[i];
        SafeArrayPutElement(v.parray, &i, &e);
    }
    return v;
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Immediate sends for about a second; returns messages per second.
double ImmediateRate(CMidiIOCtrl* io, long outId)
{
    int sent = 0;
    const DWORD start = GetTickCount();
    DWORD elapsed = 0;
    for (; elapsed < 1000; elapsed = GetTickCount() - start) {
        for (int i = 0; i < 100; ++i, ++sent) {
            VARIANT message = Message(i);
            io->SendMidiEvent(outId, 0, &message);
            VariantClear(&message);
        }
    }
    return sent * 1000.0 / elapsed;
}

void Bench(CMidiIOCtrl* io, long outId, const char* what)
{
    constexpr int kCount = 2000;
    std::printf("-- %s (output %ld)\n", what, outId);
    if (!io->OpenMidiOutPort(outId)) {
        std::printf("cannot be opened here\n");
        return;
    }
    std::printf("immediate SendMidiEvent: %.0f messages/s\n", ImmediateRate(io, outId));
    // The loopback delivers the immediate burst before the scheduled run.
    Sleep(500);
    io->ClearMidiInBuffer(0);

    // Scheduled times in 0.1 ms, starting 200 ms from now.
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> spacing(20, 50);
    std::vector<long> scheduled(kCount);
    long at = io->GetMasterClockTime() + 2000;
    for (int i = 0; i < kCount; ++i) {
        scheduled[i] = at;
        VARIANT message = Message(i);
        if (!io->SendMidiEvent(outId, at, &message))
            std::printf("message %d was not queued\n", i);
        VariantClear(&message);
        at += spacing(random);
    }

    std::vector<double> lateMs;
    int outOfOrder = 0, previous = -1;
    const DWORD deadline = GetTickCount() + static_cast<DWORD>((at - scheduled[0]) / 10) + 10000;
    while (static_cast<int>(lateMs.size()) < kCount && GetTickCount() < deadline) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        while (io->GetMidiInEventCount(0) > 0) {
            const int index = io->GetMidiInEvent(0, 4, 1) | (io->GetMidiInEvent(0, 4, 2) << 7);
            const long arrival = io->GetMidiInEvent(0, 1, 0);
            io->DeleteMidiInEvents(0, 1);
            if (index >= kCount)
                continue;
            outOfOrder += index < previous;
            previous = index;
            lateMs.push_back((arrival - scheduled[index]) / 10.0);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    std::printf("scheduled: %d messages 2-5 ms apart, received %zu, out of order %d\n", kCount, lateMs.size(),
                outOfOrder);
    if (!lateMs.empty())
        std::printf("arrival - scheduled ms: min %.2f  p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n",
                    Percentile(lateMs, 0.0), Percentile(lateMs, 0.5), Percentile(lateMs, 0.9), Percentile(lateMs, 0.99),
                    Percentile(lateMs, 1.0));
    io->CloseMidiOutPort(outId);
}

} // namespace

int main()
{
    CoInitialize(nullptr);
    IUnknown* unknown = CMidiIOCtrl::Create();
    auto* io = static_cast<CMidiIOCtrl*>(static_cast<IDispatch*>(unknown));
    if (io->FindMidiOutPort("loopback midi 1", 1) != 1 || !io->OpenMidiInPort(1)) {
        std::printf("loopback MIDI driver not installed in this prefix\n");
        unknown->Release();
        return 1;
    }
    io->SetMidiInMaxEventCount(100000);
    Bench(io, 1, "system port");
    Bench(io, io->FindMidiOutPort("loopback midi 1*", 2), "DirectMusic port");
    unknown->Release();
    CoUninitialize();
    return 0;
}

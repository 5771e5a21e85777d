// Scheduled-send accuracy of the MidiIO control through the loopback MIDI
// driver: 2000 messages 2-5 ms apart on output 1, arrival times read on
// input 1 (master clock at delivery). Prints percentiles of
// |arrival - scheduled|; never fails on timing.
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

} // namespace

int main()
{
    constexpr int kCount = 2000;
    CoInitialize(nullptr);
    IUnknown* unknown = CMidiIOCtrl::Create();
    auto* io = static_cast<CMidiIOCtrl*>(static_cast<IDispatch*>(unknown));
    if (io->FindMidiOutPort("loopback midi 1", 1) != 1 || !io->OpenMidiOutPort(1) || !io->OpenMidiInPort(1)) {
        std::printf("loopback MIDI driver not installed in this prefix\n");
        unknown->Release();
        return 1;
    }
    io->SetMidiInMaxEventCount(kCount * 2);

    // Scheduled times in 0.1 ms, starting 200 ms from now.
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> spacing(20, 50);
    std::vector<long> scheduled(kCount);
    long at = io->GetMasterClockTime() + 2000;
    for (int i = 0; i < kCount; ++i) {
        scheduled[i] = at;
        VARIANT message = Message(i);
        if (!io->SendMidiEvent(1, at, &message))
            std::printf("message %d was not queued\n", i);
        VariantClear(&message);
        at += spacing(random);
    }

    std::vector<double> errorsMs, lateMs;
    int outOfOrder = 0, previous = -1;
    const DWORD deadline = GetTickCount() + static_cast<DWORD>((at - scheduled[0]) / 10) + 10000;
    while (static_cast<int>(errorsMs.size()) < kCount && GetTickCount() < deadline) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        while (io->GetMidiInEventCount(0) > 0) {
            const int index = io->GetMidiInEvent(0, 4, 1) | (io->GetMidiInEvent(0, 4, 2) << 7);
            const long arrival = io->GetMidiInEvent(0, 1, 0);
            io->DeleteMidiInEvents(0, 1);
            if (index < previous)
                ++outOfOrder;
            previous = index;
            const double error = (arrival - scheduled[index]) / 10.0;
            errorsMs.push_back(error < 0 ? -error : error);
            lateMs.push_back(error);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    std::printf("MidiIO scheduled sends through the loopback: %d messages, 2-5 ms apart, received %zu,"
                " out of order %d\n",
                kCount, errorsMs.size(), outOfOrder);
    if (!errorsMs.empty()) {
        std::printf("|arrival - scheduled| ms: p50 %.2f  p99 %.2f  max %.2f\n", Percentile(errorsMs, 0.5),
                    Percentile(errorsMs, 0.99), Percentile(errorsMs, 1.0));
        std::printf("arrival - scheduled ms:   min %.2f  p50 %.2f  max %.2f\n", Percentile(lateMs, 0.0),
                    Percentile(lateMs, 0.5), Percentile(lateMs, 1.0));
    }
    unknown->Release();
    CoUninitialize();
    return 0;
}

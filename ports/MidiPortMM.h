// A system MIDI device (midiIn/midiOut) as a port, with one
// system-exclusive buffer for input and output alike.
#pragma once

#include "ports/MidiPort.h"

#include <mmsystem.h>

#include <atomic>
#include <mutex>

class CMidiPortMM final : public CMidiPort {
public:
    CMidiPortMM(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput);
    ~CMidiPortMM() override;

    bool CanSend() override;
    bool SendBytes(const std::vector<uint8_t>& bytes) override;
    bool Close() override;
    bool Open() override;
    const std::string& GetName() override;

private:
    bool CloseLocked();
    bool SendLong(const std::vector<uint8_t>& bytes);
    static void CALLBACK InputCallback(HMIDIIN handle, UINT msg, DWORD_PTR instance, DWORD_PTR param1,
                                       DWORD_PTR param2);
    static void CALLBACK OutputCallback(HMIDIOUT handle, UINT msg, DWORD_PTR instance, DWORD_PTR param1,
                                        DWORD_PTR param2);
    void OnInput(UINT msg, DWORD_PTR param1, DWORD_PTR param2);
    void Signal();

    // Open and Close (the control's thread) hold openCloseLock_ through the
    // close's waits for the driver. Sends (the control's and the send timer's
    // threads) take portLock_ only for one send; a close takes it only to
    // clear isOpen, so a close never stalls the timer thread for its waits.
    // Neither is taken by the device callbacks, which only read isOpen.
    std::mutex openCloseLock_;
    std::mutex portLock_;
    // Orders the input callback's giving back of the buffer against Close
    // clearing isOpen, so that a close never waits for a buffer that went
    // back to the driver after its reset. Held only for those two steps.
    std::mutex requeueLock_;
    union {
        MIDIINCAPSA in;
        MIDIOUTCAPSA out;
        BYTE raw[100];
    } caps_ = {};
    HMIDIIN hIn_ = nullptr;
    HMIDIOUT hOut_ = nullptr;
    MIDIHDR header_ = {};
    HGLOBAL memory_ = nullptr;
    char* data_ = nullptr;
    HANDLE event_ = nullptr;
};

// Millisecond time of the latest successful device open in this process;
// input stamps count from it.
extern std::atomic<DWORD> g_openTime;

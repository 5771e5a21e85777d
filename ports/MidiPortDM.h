// A DirectMusic port (software synthesizer, emulated MIDI devices, ...) as a
// MIDI port: one event buffer for sending or reading, and a reader thread
// that drains an input port into the control.
#pragma once

#include "ports/MidiPort.h"

#include <dmusicc.h>

#include <mutex>

class CMidiPortDM final : public CMidiPort {
public:
    // deviceIndex is the port's IDirectMusic8::EnumPort index. The
    // DirectMusic object belongs to the owner and outlives the port.
    CMidiPortDM(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput,
                IDirectMusic8* directMusic);
    ~CMidiPortDM() override;

    bool CanSend() override;
    bool SendBytes(const std::vector<uint8_t>& bytes) override;
    bool Close() override;
    bool Open() override;
    const std::string& GetName() override;
    BSTR GetNameBSTR() override;

    // Event buffer size for a system-exclusive size: room for one event of
    // that size, at least 64 bytes.
    static DWORD BufferCapacity(uint32_t sysExSize);

    // Longest wait of a close for the reader thread.
    static constexpr DWORD kCloseWaitMs = 4000;

private:
    bool CloseLocked();
    // Notes which call failed with what, then closes.
    bool OpenFailed(const char* call, HRESULT hr);
    static DWORD WINAPI ReaderThread(void* param);
    void ReadEvents(IDirectMusicPort* port, IDirectMusicBuffer* buffer, HANDLE notify);

    IDirectMusic8* const directMusic_;
    DMUS_PORTCAPS caps_ = {};
    DMUS_PORTPARAMS8 params_ = {};
    DMUS_BUFFERDESC bufferDesc_ = {};
    IDirectMusicPort* port_ = nullptr;
    IDirectMusicBuffer* buffer_ = nullptr;
    IReferenceClock* clock_ = nullptr;
    HANDLE notifyEvent_ = nullptr;
    HANDLE exitEvent_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    // Serialises Open, Close and Send: the script's thread and the send
    // timer's thread share the one buffer. The reader thread never takes it,
    // so Close may wait for that thread while holding it; DirectMusic itself
    // only signals the notification event and never calls into the port.
    std::mutex portLock_;
};

// The port interface behind MidiIO: one abstract base, one class per kind
// (system, DirectMusic, virtual). The control never asks which kind it holds.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CMidiPort;

// What a port needs of the control that owns it.
class MidiPortOwner {
public:
    // Master clock in 100-ns units, 0 without a clock. Any thread.
    virtual int64_t ReadMasterClock() = 0;
    // Hands one received message to the control, which copies the bytes
    // before returning. Any thread.
    virtual void AddInputEvent(CMidiPort* port, int64_t receivedTime, int64_t portTime, uint32_t length,
                               const uint8_t* data) = 0;
    // The control's notification window (virtual ports publish it).
    virtual HWND NotifyWindow() const = 0;

protected:
    ~MidiPortOwner() = default;
};

enum : uint32_t {
    PORT_KIND_MM = 1,
    PORT_KIND_DM = 2,
    PORT_KIND_VIRTUAL = 4,
};

class CMidiPort {
public:
    CMidiPort(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput, uint32_t kind);
    virtual ~CMidiPort() = default;
    CMidiPort(const CMidiPort&) = delete;
    CMidiPort& operator=(const CMidiPort&) = delete;

    // -1 (0xFFFFFFFF) selects 512; 65536 or more is refused; an open port is
    // reopened with the new size (TRUE whatever the reopening gives).
    bool SetSysExSize(uint32_t size);
    // Sends one message held in a script's one-dimensional array of numbers;
    // a null array answers whether the port could send now.
    virtual bool Send(SAFEARRAY* array);
    // Whether the port is an open output port.
    virtual bool CanSend() = 0;
    // Sends one complete message (status byte first). Any thread: the
    // control's thread and the send timer's may call it at once.
    virtual bool SendBytes(const std::vector<uint8_t>& bytes) = 0;
    virtual bool Close() = 0;
    virtual bool Open() = 0;
    uint32_t GetKind() const { return kind; }
    virtual const std::string& GetName() = 0;
    // The display name as a new BSTR for a script.
    virtual BSTR GetNameBSTR();

    uint32_t sysExSize = 512;
    const uint32_t portNumber;
    const uint32_t deviceIndex;
    const uint32_t kind;
    const bool isInput;

protected:
    MidiPortOwner* const owner;
    // Read by device callbacks on other threads.
    std::atomic<bool> isOpen{false};
    std::string name;
};

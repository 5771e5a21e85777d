// The MidiIO control: port tables, master clock, input store, output queue,
// script timer and the events OnMidiEvents and OnTimer.
#pragma once

#include "midiio/MidiNotifyWnd.h"
#include "midiio/MidiInStore.h"
#include "midiio/MidiOutQueue.h"
#include "module/ControlBase.h"
#include "ports/MidiPort.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

struct IDirectMusic8;
struct IReferenceClock;

class CMidiIOCtrl : public tavro::ControlBase, public MidiPortOwner, private CMidiNotifyHandler {
public:
    static IUnknown* Create();
    static const tavro::ControlClass kClass;
    ~CMidiIOCtrl() override;

    // Event DISPIDs of _DMidiIOEvents.
    static constexpr DISPID DISPID_OnMidiEvents = 1;
    static constexpr DISPID DISPID_OnTimer = 2;

    // Ports
    BOOL OpenMidiInPort(long portID);
    long GetMidiInPortCount();
    long GetMidiOutPortCount();
    std::string GetMidiInPortName(long portID);
    std::string GetMidiOutPortName(long portID);
    BOOL OpenMidiOutPort(long portID);
    BOOL CloseMidiInPort(long portID);
    BOOL CloseMidiOutPort(long portID);
    BOOL SetMidiInSysLen(long portID, long maxDataLen);
    BOOL SetMidiOutSysLen(long portID, long maxDataLen);
    long GetMidiInPortType(long portID);
    long GetMidiOutPortType(long portID);
    long FindMidiInPort(const std::string& portName, long portType);
    long FindMidiOutPort(const std::string& portName, long portType);

    // Input store
    long GetNextEvent(VARIANT* portID, VARIANT* msgTime, VARIANT* dataArray);
    long GetMidiInEvent(long eventID, long Type, long Index);
    long DeleteMidiInEvents(long eventID, long Count);
    long GetMidiInEventCount(long portID);
    void ClearMidiInBuffer(long portID);
    void SetMidiInMaxEventCount(long numEvents);

    // Output queue
    BOOL SendMidiEvent(long portID, long msgTime, VARIANT* dataArray);
    long GetMidiOutEventCount(long portID);
    void ClearMidiOutBuffer(long portID);

    // Clock
    long GetSystemTime();
    long GetMasterClockTime();

    // Script timer and notifications
    BOOL CreateTimer(long msecDelay);
    void KillTimer();
    void EnableMidiInEventHandler(long bEnable);

    // MidiPortOwner
    int64_t ReadMasterClock() override;
    void AddInputEvent(CMidiPort* port, int64_t receivedTime, int64_t portTime, uint32_t length,
                       const uint8_t* data) override;
    HWND NotifyWindow() const override { return m_notifyWnd.GetSafeHwnd(); }

private:
    CMidiIOCtrl();

    // CMidiNotifyHandler: run on the control's thread by its window.
    void OnMidiEventsMessage() override;
    void OnTimerMessage(UINT timerId) override;
    LRESULT OnVirtualMidiMessage(WPARAM wParam, LPARAM lParam) override;

    void FlushDueOutEvents(UINT timerId);
    void StopSendTimer();
    static void CALLBACK TimerProc(UINT timerId, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    CMidiPort* InPort(long portID) const;
    CMidiPort* OutPort(long portID) const;
    static long FindPort(const std::vector<std::unique_ptr<CMidiPort>>& ports, const std::string& portName,
                         long portType);

    tavro::MidiInStore m_inStore;   // locks itself
    tavro::MidiOutQueue m_outQueue; // locks itself
    std::mutex m_lock;              // guards m_sendTimerId changes
    IDirectMusic8* m_pDirectMusic = nullptr;
    IReferenceClock* m_pMasterClock = nullptr;
    bool m_comInitialized = false;
    std::vector<std::unique_ptr<CMidiPort>> m_inPorts;
    std::vector<std::unique_ptr<CMidiPort>> m_outPorts;
    std::atomic<bool> m_notifyPending{false}; // a WM_MIDIEVENTS is waiting
    volatile UINT m_userTimerId = 0;
    volatile UINT m_sendTimerId = 0;
    CMidiNotifyWnd m_notifyWnd;
};

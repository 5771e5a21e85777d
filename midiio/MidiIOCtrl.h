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

    // Ports: each In/Out pair is one implementation over the port table.
    BOOL OpenMidiInPort(long portID) { return OpenPort(kIn, portID); }
    BOOL OpenMidiOutPort(long portID) { return OpenPort(kOut, portID); }
    long GetMidiInPortCount() { return PortCount(kIn); }
    long GetMidiOutPortCount() { return PortCount(kOut); }
    // New BSTRs for the caller (null for no such port).
    BSTR GetMidiInPortName(long portID) { return PortName(kIn, portID); }
    BSTR GetMidiOutPortName(long portID) { return PortName(kOut, portID); }
    BOOL CloseMidiInPort(long portID) { return ClosePort(kIn, portID); }
    BOOL CloseMidiOutPort(long portID) { return ClosePort(kOut, portID); }
    BOOL SetMidiInSysLen(long portID, long maxDataLen) { return SetSysLen(kIn, portID, maxDataLen); }
    BOOL SetMidiOutSysLen(long portID, long maxDataLen) { return SetSysLen(kOut, portID, maxDataLen); }
    long GetMidiInPortType(long portID) { return PortType(kIn, portID); }
    long GetMidiOutPortType(long portID) { return PortType(kOut, portID); }
    long FindMidiInPort(const std::string& portName, long portType) { return FindPort(kIn, portName, portType); }
    long FindMidiOutPort(const std::string& portName, long portType) { return FindPort(kOut, portName, portType); }

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
    // Timers are started without TIME_KILL_SYNCHRONOUS, so killing one never
    // waits for a tick (a tick may be sending to this thread's window). A
    // tick reaches its control only through the timer list, which counts the
    // ticks running; the destructor waits for that count to reach 0.
    UINT StartTimer(UINT delayMs, UINT resolutionMs);
    void StopTimer(UINT timerId);
    static void CALLBACK TimerProc(UINT timerId, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

    // The port table: one list per direction, ID n at index n - 1, built in
    // the constructor (the one place that knows the port kinds) and never
    // changed afterwards, so any thread reads it without a lock.
    enum Direction : int { kIn = 0, kOut = 1 };
    template <class Port, class... Extra>
    void AddPort(Direction dir, uint32_t deviceIndex, Extra... extra);
    // The port with this ID, null when the ID is out of range.
    CMidiPort* Port(Direction dir, long portID) const;
    // 0 (all ports of the direction) or an ID in range.
    bool IsAllOrPortId(Direction dir, long portID) const;
    // The trace's reason for an ID that names no port.
    std::string NoPort(Direction dir, long portID) const;
    BOOL OpenPort(Direction dir, long portID);
    long PortCount(Direction dir) const;
    BSTR PortName(Direction dir, long portID);
    BOOL ClosePort(Direction dir, long portID);
    BOOL SetSysLen(Direction dir, long portID, long maxDataLen);
    long PortType(Direction dir, long portID);
    long FindPort(Direction dir, const std::string& portName, long portType);

    tavro::MidiInStore inStore_;   // locks itself
    tavro::MidiOutQueue outQueue_; // locks itself
    std::mutex m_lock;             // orders starting and stopping the send timer; nothing waits under it
    IDirectMusic8* m_pDirectMusic = nullptr;
    IReferenceClock* m_pMasterClock = nullptr;
    bool comInitialized_ = false;
    std::vector<std::unique_ptr<CMidiPort>> ports_[2]; // [kIn], [kOut]
    std::atomic<bool> notifyPending_{false};           // a WM_MIDIEVENTS is waiting
    std::atomic<UINT> m_userTimerId{0};                // read by the timer thread
    std::atomic<UINT> m_sendTimerId{0};
    std::atomic<int> ticksRunning_{0}; // ticks of this control's timers in progress
    CMidiNotifyWnd m_notifyWnd;
};

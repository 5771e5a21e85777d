// The hidden window through which other threads (and, for virtual ports,
// other processes) reach a MidiIO control on its own thread.
#pragma once

#include "ports/VirtualShared.h"

#include <windows.h>

// Window messages of the notification window.
constexpr UINT WM_MIDIEVENTS = WM_USER + 300; // input stored: raise OnMidiEvents
constexpr UINT WM_MIDITIMER = WM_USER + 301;  // script timer tick (wParam: timer ID)
// WM_VIRTUALMIDI (virtual port data) belongs to the virtual-port layout.

// Called when the module unloads: the class's window procedure goes with it.
void UnregisterNotifyWindowClass();

class CMidiNotifyHandler {
public:
    virtual void OnMidiEventsMessage() = 0;
    virtual void OnTimerMessage(UINT timerId) = 0;
    virtual LRESULT OnVirtualMidiMessage(WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~CMidiNotifyHandler() = default;
};

class CMidiNotifyWnd {
public:
    // Creates the window on the calling thread. A message-only window: it
    // needs no desktop, and senders in other processes can still reach it.
    CMidiNotifyWnd();
    ~CMidiNotifyWnd();
    CMidiNotifyWnd(const CMidiNotifyWnd&) = delete;
    CMidiNotifyWnd& operator=(const CMidiNotifyWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    void SetOwner(CMidiNotifyHandler* owner) { m_pOwner = owner; }
    // Removes every `message` waiting in this window's queue.
    void RemovePending(UINT message);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
    CMidiNotifyHandler* m_pOwner = nullptr;
};

// MidiIO: the input store and output queue as the script sees them, the
// send and script timers, and the events raised on the control's thread.
#include "midiio/MidiIOCtrl.h"

#include "module/ScriptArray.h"
#include "ports/MidiPortVirtual.h"

#include <mmsystem.h>

// ---- Input store ----------------------------------------------------------

void CMidiIOCtrl::AddInputEvent(CMidiPort* port, int64_t receivedTime, int64_t portTime, uint32_t length,
                                const uint8_t* data)
{
    // The store copies the bytes and takes its lock only to append; the post
    // follows the append, so the handler finds the record. The handler merges
    // all waiting notifications into one event anyway, so while one is
    // waiting no other is posted (a post is a round trip to the window
    // system, the dearest step here).
    if (m_inStore.AddInputEvent(port->portNumber, receivedTime, portTime, data, length)
            == tavro::AddInputResult::StoredNotify
        && !m_notifyPending.exchange(true))
        PostMessageA(m_notifyWnd.GetSafeHwnd(), WM_MIDIEVENTS, 0, 0);
}

long CMidiIOCtrl::GetNextEvent(VARIANT* portID, VARIANT* msgTime, VARIANT* dataArray)
{
    VariantClear(portID);
    VariantClear(msgTime);
    VariantClear(dataArray);
    std::optional<tavro::MidiInEvent> event = m_inStore.GetNextEvent();
    if (!event)
        return 0;
    portID->vt = VT_I4;
    portID->lVal = static_cast<LONG>(event->portId);
    msgTime->vt = VT_I4;
    msgTime->lVal = tavro::ScriptTimeFromReference(event->receivedTime);
    tavro::PutScriptBytes(dataArray, event->data);
    return static_cast<long>(event->data.size());
}

long CMidiIOCtrl::GetMidiInEvent(long eventID, long Type, long Index)
{
    return m_inStore.GetMidiInEvent(eventID, Type, Index);
}

long CMidiIOCtrl::DeleteMidiInEvents(long eventID, long Count)
{
    m_inStore.DeleteMidiInEvents(eventID, Count);
    return 0;
}

long CMidiIOCtrl::GetMidiInEventCount(long portID)
{
    if (portID < 0 || static_cast<size_t>(portID) > m_inPorts.size())
        return 0;
    return static_cast<long>(m_inStore.GetMidiInEventCount(static_cast<uint32_t>(portID)));
}

void CMidiIOCtrl::ClearMidiInBuffer(long portID)
{
    if (portID < 0 || static_cast<size_t>(portID) > m_inPorts.size())
        return;
    m_inStore.ClearMidiInBuffer(static_cast<uint32_t>(portID));
}

void CMidiIOCtrl::SetMidiInMaxEventCount(long numEvents)
{
    m_inStore.SetMidiInMaxEventCount(numEvents);
}

void CMidiIOCtrl::EnableMidiInEventHandler(long bEnable)
{
    m_inStore.EnableMidiInEventHandler(bEnable != 0);
}

// ---- Output queue -----------------------------------------------------------

BOOL CMidiIOCtrl::SendMidiEvent(long portID, long msgTime, VARIANT* dataArray)
{
    CMidiPort* port = OutPort(portID);
    SAFEARRAY* array = tavro::ScriptArrayOf(dataArray);
    if (!port || !array || SafeArrayGetDim(array) != 1)
        return FALSE;
    if (msgTime < 1)
        return port->Send(array);
    const int64_t sendTime = static_cast<int64_t>(msgTime) * 1000;
    if (tavro::MidiOutQueue::IsDue(sendTime, ReadMasterClock()))
        return port->Send(array);

    // For later: only an open port queues, and the queue keeps its own copy
    // of the bytes, so the script may reuse its array at once.
    if (!port->Send(nullptr))
        return FALSE;
    std::vector<uint8_t> bytes;
    if (!tavro::ReadScriptBytes(array, bytes))
        return FALSE;
    switch (m_outQueue.AddOutEvent(port->portNumber, sendTime, std::move(bytes))) {
    case tavro::AddOutResult::Failed:
        return FALSE;
    case tavro::AddOutResult::Queued:
        return TRUE;
    case tavro::AddOutResult::StartTimer:
        break;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_sendTimerId = timeSetEvent(1, 1, &TimerProc, reinterpret_cast<DWORD_PTR>(this),
                                 TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    if (!m_sendTimerId) {
        // No timer, so nothing would ever send it: take the message back.
        m_outQueue.SendTimerStopped();
        m_outQueue.ClearMidiOutBuffer(port->portNumber);
        return FALSE;
    }
    return TRUE;
}

long CMidiIOCtrl::GetMidiOutEventCount(long portID)
{
    if (portID < 0 || static_cast<size_t>(portID) > m_outPorts.size())
        return 0;
    return static_cast<long>(m_outQueue.GetMidiOutEventCount(static_cast<uint32_t>(portID)));
}

void CMidiIOCtrl::ClearMidiOutBuffer(long portID)
{
    if (portID < 0 || static_cast<size_t>(portID) > m_outPorts.size())
        return;
    m_outQueue.ClearMidiOutBuffer(static_cast<uint32_t>(portID));
}

// On the multimedia timer thread: sends what is due; stops the timer on the
// first tick that finds the queue empty.
void CMidiIOCtrl::FlushDueOutEvents(UINT timerId)
{
    const int64_t now = ReadMasterClock();
    bool keepRunning = m_outQueue.FlushDueOutEvents(now, [this](const tavro::MidiOutEvent& event) {
        m_outPorts[event.portId - 1]->SendBytes(event.data); // a refused message is dropped
    });
    if (keepRunning)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    // Killing its own timer from inside its callback does not wait.
    timeKillEvent(timerId);
    if (m_sendTimerId == timerId)
        m_sendTimerId = 0;
}

void CMidiIOCtrl::StopSendTimer()
{
    UINT id;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        id = m_sendTimerId;
        m_sendTimerId = 0;
    }
    // Synchronous kill: returns after a tick in progress has finished.
    if (id)
        timeKillEvent(id);
    m_outQueue.SendTimerStopped();
}

// ---- Timers and events ------------------------------------------------------

void CALLBACK CMidiIOCtrl::TimerProc(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto* self = reinterpret_cast<CMidiIOCtrl*>(user);
    if (timerId == self->m_sendTimerId)
        self->FlushDueOutEvents(timerId);
    else if (timerId == self->m_userTimerId)
        PostMessageA(self->m_notifyWnd.GetSafeHwnd(), WM_MIDITIMER, timerId, 0);
}

BOOL CMidiIOCtrl::CreateTimer(long msecDelay)
{
    KillTimer();
    // A negative delay is a huge unsigned one, which the timer refuses.
    m_userTimerId = timeSetEvent(static_cast<UINT>(msecDelay), 2, &TimerProc, reinterpret_cast<DWORD_PTR>(this),
                                 TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    return m_userTimerId != 0;
}

void CMidiIOCtrl::KillTimer()
{
    UINT id = m_userTimerId;
    if (!id)
        return;
    m_userTimerId = 0;
    timeKillEvent(id);
    // Ticks already posted are dropped; a late post of the old timer is
    // ignored by OnTimerMessage, whose ID no longer matches.
    m_notifyWnd.RemovePending(WM_MIDITIMER);
}

void CMidiIOCtrl::OnMidiEventsMessage()
{
    // Input stored from here on posts again and gives one more event later.
    m_notifyPending = false;
    // A handler may release the control; keep it alive until the event returns.
    tavro::ComPtr<IDispatch> keepAlive(static_cast<IDispatch*>(this));
    FireEvent(DISPID_OnMidiEvents);
}

void CMidiIOCtrl::OnTimerMessage(UINT timerId)
{
    if (timerId == 0 || timerId != m_userTimerId)
        return;
    tavro::ComPtr<IDispatch> keepAlive(static_cast<IDispatch*>(this));
    FireEvent(DISPID_OnTimer);
}

LRESULT CMidiIOCtrl::OnVirtualMidiMessage(WPARAM wParam, LPARAM lParam)
{
    // wParam names the receiving port, lParam is the length; the bytes are
    // in the index's shared data area while the sender waits.
    return CMidiPortVirtual::Deliver(this, wParam, lParam);
}

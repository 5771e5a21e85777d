// MidiIO: the input store and output queue as the script sees them, the
// send and script timers, and the events raised on the control's thread.
#include "midiio/MidiIOCtrl.h"

#include "module/Module.h"
#include "module/ScriptArray.h"
#include "module/Trace.h"
#include "ports/MidiPortVirtual.h"
#include "ports/ThreadWait.h"

#include <mmsystem.h>

namespace {

// The running timers of this process and their controls. A tick finds its
// control here and counts itself running before it leaves the lock, so once
// a timer is removed no later tick reaches the control. A leaf lock: held for
// the list only, never while calling out or waiting.
struct TimerEntry {
    UINT id;
    CMidiIOCtrl* control;
};
std::mutex g_timerListLock;
std::vector<TimerEntry> g_timerList;

} // namespace

// ---- Input store ----------------------------------------------------------

void CMidiIOCtrl::AddInputEvent(CMidiPort* port, int64_t receivedTime, int64_t portTime, uint32_t length,
                                const uint8_t* data)
{
    // The store copies the bytes and takes its lock only to append; the post
    // follows the append, so the handler finds the record. The handler merges
    // all waiting notifications into one event anyway, so while one is
    // waiting no other is posted (a post is a round trip to the window
    // system, the dearest step here).
    if (inStore_.AddInputEvent(port->portNumber, receivedTime, portTime, data, length) ==
            tavro::AddInputResult::StoredNotify &&
        !notifyPending_.exchange(true) && !PostMessageA(m_notifyWnd.GetSafeHwnd(), WM_MIDIEVENTS, 0, 0))
        notifyPending_ = false; // refused (a full queue): the next input posts again
}

long CMidiIOCtrl::GetNextEvent(VARIANT* portID, VARIANT* msgTime, VARIANT* dataArray)
{
    // A host that pumps no messages (cscript) still takes in what is being
    // sent to its virtual input ports while it polls.
    AnswerSentMessages();
    VariantClear(portID);
    VariantClear(msgTime);
    VariantClear(dataArray);
    std::optional<tavro::MidiInEvent> event = inStore_.GetNextEvent();
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
    return inStore_.GetMidiInEvent(eventID, Type, Index);
}

long CMidiIOCtrl::DeleteMidiInEvents(long eventID, long Count)
{
    inStore_.DeleteMidiInEvents(eventID, Count);
    return 0;
}

long CMidiIOCtrl::GetMidiInEventCount(long portID)
{
    if (!IsAllOrPortId(kIn, portID)) {
        TAVRO_TRACE("MidiIO", "GetMidiInEventCount", std::to_string(portID), NoPort(kIn, portID));
        return 0;
    }
    AnswerSentMessages();
    return static_cast<long>(inStore_.GetMidiInEventCount(static_cast<uint32_t>(portID)));
}

void CMidiIOCtrl::ClearMidiInBuffer(long portID)
{
    if (!IsAllOrPortId(kIn, portID))
        return;
    inStore_.ClearMidiInBuffer(static_cast<uint32_t>(portID));
}

void CMidiIOCtrl::SetMidiInMaxEventCount(long numEvents)
{
    inStore_.SetMidiInMaxEventCount(numEvents);
}

void CMidiIOCtrl::EnableMidiInEventHandler(long bEnable)
{
    inStore_.EnableMidiInEventHandler(bEnable != 0);
}

// ---- Output queue -----------------------------------------------------------

BOOL CMidiIOCtrl::SendMidiEvent(long portID, long msgTime, VARIANT* dataArray)
{
    // The trace shows the port and the time; the bytes are the script's.
    auto args = [&] { return std::to_string(portID) + ", " + std::to_string(msgTime) + ", ..."; };
    CMidiPort* port = Port(kOut, portID);
    SAFEARRAY* array = tavro::ScriptArrayOf(dataArray);
    if (!port || !array || SafeArrayGetDim(array) != 1) {
        TAVRO_TRACE("MidiIO", "SendMidiEvent", args(),
                    !port ? NoPort(kOut, portID) : "the message is not an array with one dimension");
        return FALSE;
    }
    const int64_t sendTime = static_cast<int64_t>(msgTime) * 1000;
    TAVRO_NOTE(std::string()); // no earlier call's note may pass for this one's
    if (msgTime < 1 || tavro::MidiOutQueue::IsDue(sendTime, ReadMasterClock())) {
        if (port->Send(array))
            return TRUE;
        TAVRO_TRACE("MidiIO", "SendMidiEvent", args(),
                    tavro::TraceQuote(port->GetName()) + " did not send: " + tavro::TakeFailure("no reason given"));
        return FALSE;
    }

    // For later: only an open port queues, and the queue keeps its own copy
    // of the bytes, so the script may reuse its array at once. A message with
    // an element that does not convert is queued too and dropped when due.
    if (!port->Send(nullptr)) {
        TAVRO_TRACE("MidiIO", "SendMidiEvent", args(), tavro::TraceQuote(port->GetName()) + " is not open");
        return FALSE;
    }
    std::vector<uint8_t> bytes;
    const bool readable = tavro::ReadScriptBytes(array, bytes);
    switch (outQueue_.AddOutEvent(port->portNumber, sendTime, std::move(bytes), readable)) {
    case tavro::AddOutResult::Failed:
        TAVRO_TRACE("MidiIO", "SendMidiEvent", args(), "no memory to queue the message");
        return FALSE;
    case tavro::AddOutResult::Queued:
        return TRUE;
    case tavro::AddOutResult::StartTimer:
        break;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_sendTimerId = StartTimer(1, 1);
    if (!m_sendTimerId) {
        // No timer, so nothing would ever send it: take the message back.
        outQueue_.SendTimerStopped();
        outQueue_.ClearMidiOutBuffer(port->portNumber);
        TAVRO_TRACE("MidiIO", "SendMidiEvent", args(), "the multimedia timer that sends queued messages did not start");
        return FALSE;
    }
    return TRUE;
}

long CMidiIOCtrl::GetMidiOutEventCount(long portID)
{
    if (!IsAllOrPortId(kOut, portID)) {
        TAVRO_TRACE("MidiIO", "GetMidiOutEventCount", std::to_string(portID), NoPort(kOut, portID));
        return 0;
    }
    return static_cast<long>(outQueue_.GetMidiOutEventCount(static_cast<uint32_t>(portID)));
}

void CMidiIOCtrl::ClearMidiOutBuffer(long portID)
{
    if (!IsAllOrPortId(kOut, portID))
        return;
    outQueue_.ClearMidiOutBuffer(static_cast<uint32_t>(portID));
}

// On the multimedia timer thread: sends what is due; stops the timer on the
// first tick that finds the queue empty.
void CMidiIOCtrl::FlushDueOutEvents(UINT timerId)
{
    const int64_t now = ReadMasterClock();
    bool keepRunning = outQueue_.FlushDueOutEvents(now, [this](const tavro::MidiOutEvent& event) {
        if (event.readable) // a refused or unreadable message is dropped
            ports_[kOut][event.portId - 1]->SendBytes(event.data);
    });
    if (keepRunning)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    StopTimer(timerId);
    if (m_sendTimerId == timerId)
        m_sendTimerId = 0;
}

void CMidiIOCtrl::StopSendTimer()
{
    std::lock_guard<std::mutex> lock(m_lock);
    StopTimer(m_sendTimerId.exchange(0));
    outQueue_.SendTimerStopped();
}

// ---- Timers and events ------------------------------------------------------

UINT CMidiIOCtrl::StartTimer(UINT delayMs, UINT resolutionMs)
{
    const UINT id = timeSetEvent(delayMs, resolutionMs, &TimerProc, 0, TIME_PERIODIC);
    if (!id)
        return 0;
    // Ticks before this entry exists find no control and are ignored.
    try {
        std::lock_guard<std::mutex> list(g_timerListLock);
        g_timerList.push_back({id, this});
    } catch (const std::bad_alloc&) {
        timeKillEvent(id);
        return 0;
    }
    return id;
}

// Never waits: a tick already past the list lock may still run, and the
// destructor alone waits for it.
void CMidiIOCtrl::StopTimer(UINT timerId)
{
    if (!timerId)
        return;
    // A tick the system picked before the kill may still arrive: the module
    // stays loaded for a grace after this.
    tavro::ModuleCodeScope running;
    {
        std::lock_guard<std::mutex> list(g_timerListLock);
        for (auto it = g_timerList.begin(); it != g_timerList.end(); ++it) {
            if (it->id == timerId) {
                g_timerList.erase(it);
                break;
            }
        }
    }
    timeKillEvent(timerId);
}

void CALLBACK CMidiIOCtrl::TimerProc(UINT timerId, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    tavro::ModuleCodeScope running;
    CMidiIOCtrl* self = nullptr;
    {
        std::lock_guard<std::mutex> list(g_timerListLock);
        for (const TimerEntry& entry : g_timerList) {
            if (entry.id == timerId) {
                self = entry.control;
                ++self->ticksRunning_;
                break;
            }
        }
    }
    if (!self)
        return;
    if (timerId == self->m_sendTimerId)
        self->FlushDueOutEvents(timerId);
    else if (timerId == self->m_userTimerId)
        PostMessageA(self->m_notifyWnd.GetSafeHwnd(), WM_MIDITIMER, timerId, 0);
    --self->ticksRunning_;
}

BOOL CMidiIOCtrl::CreateTimer(long msecDelay)
{
    KillTimer();
    // A negative delay is a huge unsigned one, which the timer refuses.
    m_userTimerId = StartTimer(static_cast<UINT>(msecDelay), 2);
    if (m_userTimerId == 0) {
        TAVRO_TRACE("MidiIO", "CreateTimer", std::to_string(msecDelay),
                    "the multimedia timer refused a period of " + std::to_string(msecDelay) + " ms");
        return FALSE;
    }
    return TRUE;
}

void CMidiIOCtrl::KillTimer()
{
    UINT id = m_userTimerId.exchange(0);
    if (!id)
        return;
    StopTimer(id);
    // Ticks already posted are dropped; a late post of the old timer is
    // ignored by OnTimerMessage, whose ID no longer matches.
    m_notifyWnd.RemovePending(WM_MIDITIMER);
}

void CMidiIOCtrl::OnMidiEventsMessage()
{
    // Input stored from here on posts again and gives one more event later.
    notifyPending_ = false;
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

// Output queue: entries are built and freed outside the lock and moved in and
// out of the list by splicing.
#include "midiio/MidiOutQueue.h"
#include "midiio/PortEventList.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace tavro {

AddOutResult MidiOutQueue::AddOutEvent(uint32_t portId, int64_t sendTime, std::vector<uint8_t> data,
                                       bool readable) noexcept
{
    List node;
    try {
        node.emplace_back();
    } catch (const std::bad_alloc&) {
        return AddOutResult::Failed;
    }
    MidiOutEvent& ev = node.back();
    ev.portId = portId;
    ev.sendTime = sendTime;
    ev.data = std::move(data);
    ev.readable = readable;

    std::lock_guard<std::mutex> guard(m_lock);
    // From the back: a message later than all queued ones is placed at once.
    auto pos = m_outEvents.end();
    while (pos != m_outEvents.begin() && std::prev(pos)->sendTime > sendTime)
        --pos;
    m_outEvents.splice(pos, node);
    if (sendTimerRunning_)
        return AddOutResult::Queued;
    sendTimerRunning_ = true;
    return AddOutResult::StartTimer;
}

MidiOutQueue::TakeResult MidiOutQueue::TakeDueOutEvent(int64_t clockNow, std::optional<MidiOutEvent>& out)
{
    List taken;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_outEvents.empty()) {
            sendTimerRunning_ = false;
            return TakeResult::Empty;
        }
        if (!IsDue(m_outEvents.front().sendTime, clockNow))
            return TakeResult::NotDue;
        taken.splice(taken.end(), m_outEvents, m_outEvents.begin());
    }
    out = std::move(taken.front());
    return TakeResult::Taken;
}

uint32_t MidiOutQueue::GetMidiOutEventCount(uint32_t portId) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return CountOnPort(m_outEvents, portId);
}

uint32_t MidiOutQueue::ClearMidiOutBuffer(uint32_t portId)
{
    List removed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        TakeFromPort(m_outEvents, portId, removed);
    }
    return static_cast<uint32_t>(removed.size());
}

void MidiOutQueue::SendTimerStopped()
{
    std::lock_guard<std::mutex> guard(m_lock);
    sendTimerRunning_ = false;
}

} // namespace tavro

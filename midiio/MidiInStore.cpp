// Input event store: records are built and freed outside the lock and moved
// in and out of the list by splicing, which neither allocates nor frees.
#include "midiio/MidiInStore.h"
#include "midiio/PortEventList.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace tavro {

AddInputResult MidiInStore::AddInputEvent(uint32_t portId, int64_t receivedTime, int64_t portTime, const uint8_t* data,
                                          uint32_t length) noexcept
{
    List node; // one-record list, spliced in under the lock
    try {
        MidiInEvent& ev = node.emplace_back();
        ev.portId = portId;
        ev.receivedTime = receivedTime;
        ev.portTime = portTime;
        if (length != 0 && data != nullptr)
            ev.data.assign(data, data + length);
    } catch (const std::bad_alloc&) {
        return AddInputResult::Dropped;
    }

    bool notify;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_inEvents.size() >= static_cast<size_t>(m_maxInEvents))
            return AddInputResult::Dropped; // node freed after the unlock
        m_inEvents.splice(m_inEvents.end(), node);
        notify = m_inEventHandlerEnabled;
    }
    return notify ? AddInputResult::StoredNotify : AddInputResult::Stored;
}

std::optional<MidiInEvent> MidiInStore::GetNextEvent()
{
    List taken;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_inEvents.empty())
            return std::nullopt;
        taken.splice(taken.end(), m_inEvents, m_inEvents.begin());
    }
    return std::move(taken.front());
}

int32_t MidiInStore::GetMidiInEvent(int32_t eventID, int32_t type, int32_t index) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const size_t n = m_inEvents.size();
    if (eventID < 0 || static_cast<size_t>(eventID) >= n)
        return 0;

    // Walk from the nearer end.
    const size_t pos = static_cast<size_t>(eventID);
    List::const_iterator it;
    if (pos <= n / 2)
        it = std::next(m_inEvents.begin(), static_cast<ptrdiff_t>(pos));
    else
        it = std::prev(m_inEvents.end(), static_cast<ptrdiff_t>(n - pos));

    const MidiInEvent& ev = *it;
    switch (type) {
    case kFieldPortTime:
        return ScriptTimeFromReference(ev.portTime);
    case kFieldReceivedTime:
        return ScriptTimeFromReference(ev.receivedTime);
    case kFieldPortId:
        return static_cast<int32_t>(ev.portId);
    case kFieldLength:
        return static_cast<int32_t>(ev.data.size());
    case kFieldDataByte:
        if (index < 0 || static_cast<size_t>(index) >= ev.data.size())
            return 0;
        return ev.data[static_cast<size_t>(index)];
    default:
        return 0;
    }
}

void MidiInStore::DeleteMidiInEvents(int32_t eventID, int32_t count)
{
    List removed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const int64_t n = static_cast<int64_t>(m_inEvents.size());
        if (eventID > n - 1 || count < 1)
            return;
        const int64_t first = std::max<int64_t>(eventID, 0);
        const int64_t last = std::min<int64_t>(int64_t{eventID} + count - 1, n - 1);
        if (last < first)
            return;
        auto from = std::next(m_inEvents.begin(), static_cast<ptrdiff_t>(first));
        auto to = std::next(from, static_cast<ptrdiff_t>(last - first + 1));
        removed.splice(removed.end(), m_inEvents, from, to);
    }
}

uint32_t MidiInStore::GetMidiInEventCount(uint32_t portId) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return CountOnPort(m_inEvents, portId);
}

uint32_t MidiInStore::ClearMidiInBuffer(uint32_t portId)
{
    List removed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        TakeFromPort(m_inEvents, portId, removed);
    }
    return static_cast<uint32_t>(removed.size());
}

void MidiInStore::SetMidiInMaxEventCount(int32_t numEvents)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_maxInEvents = std::max(numEvents, 0);
}

int32_t MidiInStore::GetMidiInMaxEventCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_maxInEvents;
}

void MidiInStore::EnableMidiInEventHandler(bool enable)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_inEventHandlerEnabled = enable;
}

bool MidiInStore::IsMidiInEventHandlerEnabled() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_inEventHandlerEnabled;
}

} // namespace tavro

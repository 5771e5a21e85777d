// Per-port counting and removal shared by the input store and the output
// queue: both keep one list of records that each carry a portId, where port
// 0 means every port.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <list>

namespace tavro {

template <class Event>
uint32_t CountOnPort(const std::list<Event>& events, uint32_t portId)
{
    if (portId == 0)
        return static_cast<uint32_t>(events.size());
    return static_cast<uint32_t>(
        std::count_if(events.begin(), events.end(), [portId](const Event& ev) { return ev.portId == portId; }));
}

// Moves the port's records (all of them for port 0) into `removed` by
// splicing, which neither allocates nor frees: the caller frees them after
// it lets go of its lock.
template <class Event>
void TakeFromPort(std::list<Event>& events, uint32_t portId, std::list<Event>& removed)
{
    if (portId == 0) {
        removed.splice(removed.end(), events);
        return;
    }
    for (auto it = events.begin(); it != events.end();) {
        auto next = std::next(it);
        if (it->portId == portId)
            removed.splice(removed.end(), events, it);
        it = next;
    }
}

} // namespace tavro

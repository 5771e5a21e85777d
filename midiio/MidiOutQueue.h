// Queue of MIDI messages scheduled for later, ordered by send time, shared by
// all output ports of one MidiIO control and drained by a 1 ms timer.
#pragma once

#include <cstdint>
#include <limits>
#include <list>
#include <mutex>
#include <optional>
#include <vector>

namespace tavro {

// One queued message. The data is the queue's own copy.
struct MidiOutEvent {
    uint32_t portId = 0;       // output port ID (portNumber), 1-based
    int64_t sendTime = 0;      // master clock time to send at, 100 ns units
    std::vector<uint8_t> data; // the message bytes
    bool readable = true;      // false: the script's array did not convert; dropped when due
};

enum class AddOutResult {
    Queued,     // queued; the send timer already runs
    StartTimer, // queued; the caller must start the send timer now
    Failed,     // out of memory; nothing queued
};

// Thread-safe. The queue also tracks whether its send timer should run, so
// that "queue not empty => a timer runs" holds without the caller keeping a
// second flag: AddOutEvent answers whether to start the timer, and
// FlushDueOutEvents answers whether the timer that ticked must stop. The
// clock stays outside: callers pass the current master clock time.
class MidiOutQueue {
public:
    // Reference units (0.5 ms) by which a message may be sent early.
    static constexpr int64_t kSendLead = 5000;

    // Whether a message for sendTime is due at clockNow (sendTime is at most
    // kSendLead after it); used both for "send at once" and by the timer.
    static bool IsDue(int64_t sendTime, int64_t clockNow)
    {
        if (clockNow > std::numeric_limits<int64_t>::max() - kSendLead)
            return true;
        return sendTime <= clockNow + kSendLead;
    }

    // Inserts behind the last entry whose sendTime <= the new one (searching
    // from the back), or at the front when every entry is later.
    AddOutResult AddOutEvent(uint32_t portId, int64_t sendTime, std::vector<uint8_t> data,
                             bool readable = true) noexcept;

    // One timer tick: takes the due entries one at a time, in queue order, and
    // calls send(const MidiOutEvent&) for each with the lock released (so send
    // may call back into the queue, and a clear made meanwhile is honoured).
    // Returns true while the timer must keep running; false when the queue was
    // found empty: the ticking timer must then stop itself, and the next
    // AddOutEvent asks for a new one. send must not throw.
    template <class SendFn>
    bool FlushDueOutEvents(int64_t clockNow, SendFn&& send)
    {
        for (;;) {
            std::optional<MidiOutEvent> ev;
            switch (TakeDueOutEvent(clockNow, ev)) {
            case TakeResult::Taken:
                send(static_cast<const MidiOutEvent&>(*ev));
                break;
            case TakeResult::NotDue:
                return true;
            case TakeResult::Empty:
                return false;
            }
        }
    }

    // Number of entries of one port, or of all with portId 0.
    uint32_t GetMidiOutEventCount(uint32_t portId) const;

    // Discards the entries of one port (the rest keep their order), or all
    // with portId 0; returns how many. The timer is left to stop itself on
    // its next tick.
    uint32_t ClearMidiOutBuffer(uint32_t portId);

    // Tells the queue that no send timer runs after all (starting one failed,
    // or the control is being destroyed), so the next AddOutEvent asks again.
    void SendTimerStopped();

private:
    enum class TakeResult { Taken, NotDue, Empty };
    TakeResult TakeDueOutEvent(int64_t clockNow, std::optional<MidiOutEvent>& out);

    using List = std::list<MidiOutEvent>;

    mutable std::mutex m_lock;
    List m_outEvents; // ascending sendTime; equal times in insertion order
    bool sendTimerRunning_ = false;
};

} // namespace tavro

// Bounded store of received MIDI messages, oldest first, shared by all input
// ports of one MidiIO control; filled from any thread, read on the control's.
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <vector>

namespace tavro {

// Script time unit (0.1 ms) of a reference time (100 ns): divided by 1000,
// truncated toward zero, low 32 bits.
inline int32_t ScriptTimeFromReference(int64_t referenceTime)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(referenceTime / 1000)));
}

// One received message. The data is the store's own copy.
struct MidiInEvent {
    uint32_t portId = 0;       // input port ID (portNumber), 1-based
    int64_t receivedTime = 0;  // master clock at delivery, 100 ns units
    int64_t portTime = 0;      // the port's own time stamp, 100 ns units
    std::vector<uint8_t> data; // the message bytes; length = data.size()
};

// Field selectors of GetMidiInEvent.
enum MidiInEventField : int32_t {
    kFieldPortTime = 0,
    kFieldReceivedTime = 1,
    kFieldPortId = 2,
    kFieldLength = 3,
    kFieldDataByte = 4,
};

enum class AddInputResult {
    Dropped,      // the store was full; the message is lost
    Stored,       // stored; notifications are disabled
    StoredNotify, // stored; the caller posts one notification (after return)
};

// Thread-safe. Every method takes the one internal lock briefly; no
// allocation or deallocation of records happens while it is held. Port IDs
// are not range-checked here: the control checks them against its port table
// first, and 0 means "all ports" where a method says so.
class MidiInStore {
public:
    static constexpr int32_t kDefaultMaxInEvents = 1000;

    // Copies length bytes from data (may be null when length is 0) into a new
    // record and appends it, unless the store holds m_maxInEvents or more.
    // Never throws: runs inside system callbacks; out of memory drops.
    AddInputResult AddInputEvent(uint32_t portId, int64_t receivedTime, int64_t portTime, const uint8_t* data,
                                 uint32_t length) noexcept;

    // Removes and returns the oldest record; nothing when the store is empty.
    std::optional<MidiInEvent> GetNextEvent();

    // One field of the record at position eventID (0 = oldest); 0 for an
    // unknown position, field or byte index. Times are in script units.
    int32_t GetMidiInEvent(int32_t eventID, int32_t type, int32_t index) const;

    // Removes at most count records starting at position eventID: positions
    // eventID .. eventID + count - 1, clipped to the stored ones (a negative
    // eventID counts from position 0). Nothing when eventID is past the end
    // or count < 1.
    void DeleteMidiInEvents(int32_t eventID, int32_t count);

    // Number of records of one port, or of all with portId 0.
    uint32_t GetMidiInEventCount(uint32_t portId) const;

    // Discards the records of one port (the rest keep their order), or all
    // with portId 0; returns how many.
    uint32_t ClearMidiInBuffer(uint32_t portId);

    // Capacity for new records; negative means 0. Records already stored stay.
    void SetMidiInMaxEventCount(int32_t numEvents);
    int32_t GetMidiInMaxEventCount() const;

    // Whether AddInputEvent asks for a notification.
    void EnableMidiInEventHandler(bool enable);
    bool IsMidiInEventHandlerEnabled() const;

private:
    using List = std::list<MidiInEvent>;

    mutable std::mutex m_lock;
    List m_inEvents; // oldest first
    int32_t m_maxInEvents = kDefaultMaxInEvents;
    bool m_inEventHandlerEnabled = true;
};

} // namespace tavro

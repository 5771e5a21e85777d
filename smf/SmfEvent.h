// Events of a MIDI file track: a doubly linked list per track, one class per
// kind (channel message, meta event, system exclusive, list head), and the
// record that copies an event's values in and out of the model.
#pragma once
#include "smf/SmfLink.h"
#include "smf/SmfVarLen.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavro {

class SmfArchive;

enum SmfEventKind : int32_t {
    kSmfEventChannel = 1,
    kSmfEventMeta = 2,
    kSmfEventSysex = 3,
    kSmfEventListHead = 4,
};

// Data bytes of a channel message, indexed by (status >> 4) & 7.
extern const uint8_t channelDataLength[8];

inline uint8_t ChannelDataLength(uint8_t status)
{
    return channelDataLength[(status >> 4) & 7];
}

// A value copy of one event. length mirrors data.size() for records that
// GetData fills; SetData refuses a record whose length and data disagree.
struct CSmfEventRecord {
    int32_t kind = 0;
    uint32_t delta = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint8_t metaType = 0;
    uint32_t length = 0;
    std::vector<uint8_t> data;

    void Clear() { *this = CSmfEventRecord(); }
};

// Memory for the events of one file, given back all at once when the file
// goes: reading a file then costs no allocation per event. The largest block
// of a released arena is kept (one, for the whole process) as the first
// block of the next one, so reading many small files in turn does not ask
// the heap for fresh memory each time.
class SmfArena {
public:
    SmfArena() = default;
    ~SmfArena() { Release(); }
    SmfArena(const SmfArena&) = delete;
    SmfArena& operator=(const SmfArena&) = delete;
    // n bytes aligned to 8; throws std::bad_alloc.
    void* Allocate(size_t n)
    {
        n = (n + 7) & ~size_t(7);
        if (n <= size_t(end_ - pos_)) {
            void* p = pos_;
            pos_ += n;
            return p;
        }
        return AllocateBlock(n);
    }
    void Release();

private:
    void* AllocateBlock(size_t n);
    struct Block {
        Block* next;
        size_t size; // bytes, this header included
    };
    struct SpareOwner;
    static std::atomic<Block*> spare_;
    static SpareOwner spareOwner_;
    Block* blocks_ = nullptr;
    char* pos_ = nullptr;
    char* end_ = nullptr;
    size_t nextSize_ = 16 * 1024;
};

class CSmfEvent : public SmfLink<CSmfEvent> {
public:
    // Events come from the heap or, with `new (arena) ...`, from a file's
    // arena; `delete` suits both (an arena event only runs its destructor).
    // An event belongs to the file of its arena and must not outlive it.
    static void* operator new(size_t size);
    static void* operator new(size_t size, SmfArena& arena)
    {
        auto* p = static_cast<char*>(arena.Allocate(size + kOriginSize));
        *reinterpret_cast<uint64_t*>(p) = kArenaOrigin;
        return p + kOriginSize;
    }
    static void operator delete(void* p);
    static void operator delete(void* p, SmfArena&);

    virtual ~CSmfEvent();
    CSmfEvent(const CSmfEvent&) = delete;
    // Deletes `first` and every event after it, a whole list that goes away
    // at once: links are not mended, and a channel event from an arena,
    // which holds nothing else, is left to its arena.
    static void DeleteChain(CSmfEvent* first);
    CSmfEvent& operator=(const CSmfEvent&) = delete;

    // Reads what follows the status byte; bytesRead counts what was consumed.
    virtual bool Read(SmfArchive& ar, uint32_t& bytesRead) = 0;
    // Writes delta, status (unless running status omits it) and the rest.
    virtual bool Write(SmfArchive& ar) = 0;
    // Clears the record, copies the common fields, then FillRecord.
    virtual void GetData(CSmfEventRecord& record) const;
    // SetDelta(record.delta), then ApplyRecord; false: the event refused it.
    virtual bool SetData(const CSmfEventRecord& record);
    virtual void FillRecord(CSmfEventRecord& record) const = 0;
    virtual bool ApplyRecord(const CSmfEventRecord& record) = 0;

    // Links this event after prev (taking it out of any list it is in).
    void InsertAfter(CSmfEvent* prev);
    // Takes the event out of its list; the next event absorbs its delta so
    // that later events keep their time. The caller owns it afterwards.
    void Unlink();

    uint32_t GetDelta() const { return delta_; }
    // Ignored (false) for values above 0x0FFFFFFF, which cannot be written.
    bool SetDelta(uint32_t value);
    uint8_t GetStatus() const { return status_; }
    uint32_t GetLength() const { return length_; }
    const uint8_t* GetDataBytes() const { return data_; }
    // Bytes in a track body, delta and status included, before running status.
    uint32_t GetEncodedSize() const { return encodedSize_; }
    // True when the status byte is left out on write: a status below 0xF0
    // equal to the previous event's (the list head's 0 for the first event).
    bool UsesRunningStatus() const;
    bool IsChannel() const { return isChannel_; }
    // Links this event, which is in no list, after `last`, the last event
    // of a list (the bulk builders' append).
    void LinkAfterLast(CSmfEvent* last) { LinkNodeAfter(last); }

protected:
    // The delta is cut to 28 bits, the most a track can hold, so that the
    // encoded size always matches the bytes written.
    CSmfEvent(uint32_t delta, uint8_t status) : status_(status), delta_(delta & kSmfMaxVarLen) {}
    // Size of everything after the delta time.
    virtual uint32_t BodySize() const = 0;
    void UpdateSize();
    bool ReadData(SmfArchive& ar, uint32_t length, uint32_t& bytesRead);
    bool TakeData(const CSmfEventRecord& record);
    void SetDataBytes(const uint8_t* bytes, uint32_t length);
    // Writes delta, then `head` (status and what precedes the data), then
    // the length and data when withData.
    bool WriteEvent(SmfArchive& ar, const uint8_t* head, size_t headLength, bool withData) const;

    // Fields packed so that a channel event takes 48 bytes on 64-bit.
    uint8_t status_;
    uint8_t data1_ = 0; // channel messages only
    uint8_t data2_ = 0;
    bool isChannel_ = false;
    uint32_t delta_;
    uint32_t encodedSize_ = 0;
    uint32_t length_ = 0;
    uint8_t* data_ = nullptr; // owned, length_ bytes

private:
    // Every event is preceded by one word telling where it came from, so
    // that `delete` knows whether to free it.
    static constexpr size_t kOriginSize = 8;
    static constexpr uint64_t kHeapOrigin = 0x48656170, kArenaOrigin = 0x4172656E;
    bool FromArena() const { return reinterpret_cast<const uint64_t*>(this)[-1] == kArenaOrigin; }
};

class CSmfChannelEvent final : public CSmfEvent {
public:
    CSmfChannelEvent(uint32_t delta, uint8_t status);
    // An event already read: its data bytes are given.
    CSmfChannelEvent(uint32_t delta, uint8_t status, uint8_t data1, uint8_t data2) : CSmfEvent(delta, status)
    {
        isChannel_ = true;
        data1_ = data1;
        data2_ = data2;
        encodedSize_ = VarLenSize(delta_) + ChannelDataLength(status) + 1;
    }
    bool Read(SmfArchive& ar, uint32_t& bytesRead) override;
    bool Write(SmfArchive& ar) override;
    // Write with the running-status decision already taken.
    bool WriteMessage(SmfArchive& ar, bool runningStatus) const;
    void FillRecord(CSmfEventRecord& record) const override;
    // Refuses statuses whose low 7 bits are 0x70 or more (0x70-0x7F and
    // 0xF0-0xFF) and records carrying data.
    bool ApplyRecord(const CSmfEventRecord& record) override;
    uint8_t Data1() const { return data1_; }
    uint8_t Data2() const { return data2_; }
    uint32_t DataLength() const { return ChannelDataLength(status_); }

protected:
    uint32_t BodySize() const override { return DataLength() + 1u; }
};

class CSmfMetaEvent final : public CSmfEvent {
public:
    CSmfMetaEvent(uint32_t delta, uint8_t status = 0xFF);
    bool Read(SmfArchive& ar, uint32_t& bytesRead) override;
    bool Write(SmfArchive& ar) override;
    void FillRecord(CSmfEventRecord& record) const override;
    bool ApplyRecord(const CSmfEventRecord& record) override;
    uint8_t MetaType() const { return metaType_; }

protected:
    uint32_t BodySize() const override;

private:
    uint8_t metaType_ = 0;
};

// Statuses 0xF0 to 0xFE: a length and that many data bytes.
class CSmfSysexEvent final : public CSmfEvent {
public:
    CSmfSysexEvent(uint32_t delta, uint8_t status);
    bool Read(SmfArchive& ar, uint32_t& bytesRead) override;
    bool Write(SmfArchive& ar) override;
    void FillRecord(CSmfEventRecord& record) const override;
    bool ApplyRecord(const CSmfEventRecord& record) override;

protected:
    uint32_t BodySize() const override;
};

// First element of every track's event list; never read or written.
class CSmfListHead final : public CSmfEvent {
public:
    CSmfListHead() : CSmfEvent(0, 0) {}
    // Empties the list at once; returns its first event, for DeleteChain.
    CSmfEvent* TakeAll()
    {
        CSmfEvent* first = Next();
        ForgetLinks();
        return first;
    }
    bool Read(SmfArchive&, uint32_t& bytesRead) override
    {
        bytesRead = 0;
        return false;
    }
    bool Write(SmfArchive&) override { return false; }
    void FillRecord(CSmfEventRecord& record) const override { record.kind = kSmfEventListHead; }
    bool ApplyRecord(const CSmfEventRecord&) override { return false; }

protected:
    uint32_t BodySize() const override { return 0; }
};

} // namespace tavro

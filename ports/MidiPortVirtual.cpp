// Virtual ports: the per-process mapping tables, listener registration in
// the shared block, delivery to listeners and reception on their window.
#include "ports/MidiPortVirtual.h"

#include "module/ScriptArray.h"
#include "module/Trace.h"
#include "ports/ThreadWait.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace {

constexpr DWORD kSectionWaitMs = 1000;
// How long a sender waits for one listener to take a message. A listener
// whose thread does not answer for that long (hung, busy, or a host that
// pumps nothing and is not polling) loses the message instead of stalling
// the sender, which may be the timer thread sending for every control of
// its process. The sender is told (immediate sends return false, queued
// ones are counted in g_lost).
constexpr UINT kDeliverWaitMs = 2000;

// The slot's routine word. Openers that keep no delivery count write some
// process-local value there (nobody reads it); ours write kRoutineIdle, and
// from then on the word carries the state of the latest delivery to that
// slot: the sender writes "pending" with a ticket before it sends, the
// listener turns it into "claimed" after copying the data, and a sender
// whose wait ran out turns an unclaimed ticket into "withdrawn". Every
// change is an interlocked exchange, so exactly one side wins.
constexpr uint32_t kRoutineMask = 0xFFFF0000;
constexpr uint32_t kRoutineWithdrawn = 0xFFFC0000;
constexpr uint32_t kRoutineClaimed = 0xFFFD0000;
constexpr uint32_t kRoutinePending = 0xFFFE0000;
constexpr uint32_t kRoutineIdle = 0xFFFF0000;

bool KeepsDeliveryCount(uint32_t routine)
{
    return (routine & kRoutineWithdrawn) == kRoutineWithdrawn;
}

volatile LONG* RoutineWord(ListenerSlot& slot)
{
    return reinterpret_cast<volatile LONG*>(&slot.routine);
}

// Exchanges the routine word from `expected` to `value`; returns what it held.
uint32_t ExchangeRoutine(ListenerSlot& slot, uint32_t value, uint32_t expected)
{
    return static_cast<uint32_t>(
        InterlockedCompareExchange(RoutineWord(slot), static_cast<LONG>(value), static_cast<LONG>(expected)));
}

// Messages this process sent on each index that did not reach every
// listener (interlocked).
volatile LONG g_lost[kVirtualPortCount];

// Mapping tables of this process, one entry per index. The mapping and view
// change only while the index's section is held; the count is interlocked.
HANDLE g_mapping[kVirtualPortCount];
VirtualPortBlock* g_view[kVirtualPortCount];
volatile LONG g_references[kVirtualPortCount];

// Open virtual input ports of this process by their published identifier.
// Delivery looks the identifier up here, so a value that names no open
// port of this process (stale, foreign or forged) is ignored.
std::mutex& ReceiverLock()
{
    static std::mutex lock;
    return lock;
}

std::unordered_map<uint32_t, CMidiPortVirtual*>& Receivers()
{
    static std::unordered_map<uint32_t, CMidiPortVirtual*> receivers;
    return receivers;
}

bool Register(uint32_t id, CMidiPortVirtual* port) noexcept
{
    try {
        std::lock_guard<std::mutex> receivers(ReceiverLock());
        Receivers()[id] = port;
        return true;
    } catch (...) {
        return false;
    }
}

// Identifiers carry the index in their low 5 bits and count from a start
// that differs between processes: a slot left by an ended process whose
// window handle later goes to another process's control is then unlikely
// to name one of that control's ports.
uint32_t NewReceiverId(uint32_t index)
{
    static std::atomic<uint32_t> next{(GetCurrentProcessId() * 2654435761u) ^ GetTickCount()};
    uint32_t id;
    do
        id = (next.fetch_add(1) << 5) | index;
    while (id == 0);
    return id;
}

uint32_t NextTicket()
{
    static std::atomic<uint32_t> next{0};
    return next.fetch_add(1) & 0xFFFF;
}

std::string DescribeBytes(uint32_t portNumber, const std::vector<uint8_t>& bytes)
{
    std::string text = std::to_string(portNumber) + ", [";
    for (size_t i = 0; i < bytes.size() && i < 8; ++i)
        text += (i ? " " : "") + std::to_string(bytes[i]);
    return text + (bytes.size() > 8 ? " ...]" : "]");
}

std::string WindowText(uint32_t word)
{
    char text[16];
    snprintf(text, sizeof text, "0x%X", word);
    return text;
}

uint32_t WindowWord(HWND window)
{
    return HandleToULong(window);
}

HWND WindowFromWord(uint32_t word)
{
    // Window handles are sign-extended 32-bit values in 64-bit processes.
    return static_cast<HWND>(LongToHandle(static_cast<LONG>(word)));
}

// Takes a port's lock. Its holder may be sending to a window of this very
// thread and waiting for the reply (the send timer's thread sending to the
// control that listens on the same index), so the wait keeps answering.
std::unique_lock<std::mutex> LockPort(std::mutex& portLock)
{
    std::unique_lock<std::mutex> lock(portLock, std::defer_lock);
    WaitUntilAnsweringSent([&lock] { return lock.try_lock(); }, INFINITE);
    return lock;
}

} // namespace

CMidiPortVirtual::CMidiPortVirtual(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput)
    : CMidiPort(owner, portNumber, deviceIndex, isInput, PORT_KIND_VIRTUAL)
{}

CMidiPortVirtual::~CMidiPortVirtual()
{
    Close();
}

const std::string& CMidiPortVirtual::GetName()
{
    if (name.empty()) {
        char text[16];
        snprintf(text, sizeof text, "Tavro %02u", deviceIndex + 1);
        name = text;
    }
    return name;
}

const VirtualPortBlock* CMidiPortVirtual::MappedBlock(uint32_t index)
{
    return index < kVirtualPortCount ? g_view[index] : nullptr;
}

long CMidiPortVirtual::LostMessages(uint32_t index)
{
    return index < kVirtualPortCount ? InterlockedCompareExchange(&g_lost[index], 0, 0) : 0;
}

bool CMidiPortVirtual::EnterSection(const char* method, const std::vector<uint8_t>* bytes)
{
    if (EnterMSect(section, kSectionWaitMs) != WAIT_TIMEOUT)
        return true;
    TAVRO_TRACE("MidiIO", method, bytes ? DescribeBytes(portNumber, *bytes) : std::to_string(portNumber),
                "virtual port " + tavro::TraceQuote(GetName()) + " stayed locked by another process or thread for " +
                    std::to_string(kSectionWaitMs / 1000) + " s");
    return false;
}

// Maps the index's block in this process if needed (section held).
bool CMidiPortVirtual::MapBlock()
{
    if (g_mapping[deviceIndex])
        return true;
    char blockName[16];
    snprintf(blockName, sizeof blockName, "tavro_%02u", deviceIndex);
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(VirtualPortBlock), blockName);
    if (!mapping)
        return false;
    auto* view = static_cast<VirtualPortBlock*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) {
        CloseHandle(mapping);
        return false;
    }
    g_mapping[deviceIndex] = mapping;
    g_view[deviceIndex] = view;
    return true;
}

// Drops this port's reference on the index; the last one unmaps the block.
void CMidiPortVirtual::ReleaseBlock()
{
    if (InterlockedDecrement(&g_references[deviceIndex]) != 0)
        return;
    UnmapViewOfFile(g_view[deviceIndex]);
    CloseHandle(g_mapping[deviceIndex]);
    g_view[deviceIndex] = nullptr;
    g_mapping[deviceIndex] = nullptr;
}

bool CMidiPortVirtual::Open()
{
    std::unique_lock<std::mutex> lock = LockPort(portLock_);
    CloseLocked();
    if (deviceIndex >= kVirtualPortCount)
        return false;
    if (!section) {
        char sectionName[16];
        snprintf(sectionName, sizeof sectionName, "tvms_%02u", deviceIndex);
        section = CreateMSect(1, 1, sectionName);
        if (!section) {
            TAVRO_NOTE(std::string("cannot create the counted section ") + sectionName + ": " + tavro::LastErrorText());
            return false;
        }
    }
    if (!EnterSection(isInput ? "OpenMidiInPort" : "OpenMidiOutPort")) {
        CloseMSect(section);
        section = nullptr;
        TAVRO_NOTE("the port's counted section stayed taken past its time-out");
        return false;
    }
    if (!MapBlock()) {
        TAVRO_NOTE("cannot map the port's shared block: " + tavro::LastErrorText());
        LeaveMSect(section, 1, nullptr);
        return false;
    }
    InterlockedIncrement(&g_references[deviceIndex]);
    VirtualPortBlock* block = g_view[deviceIndex];

    if (isInput) {
        if (++block->inputCount > kListenerSlotCount) {
            --block->inputCount;
            ReleaseBlock();
            LeaveMSect(section, 1, nullptr);
            CloseMSect(section);
            section = nullptr;
            TAVRO_NOTE("the port has its " + std::to_string(kListenerSlotCount) + " listeners already");
            return false;
        }
        receiverId_ = NewReceiverId(deviceIndex);
        if (!Register(receiverId_, this)) {
            // Out of memory: the section must not stay taken.
            --block->inputCount;
            ReleaseBlock();
            LeaveMSect(section, 1, nullptr);
            receiverId_ = 0;
            return false;
        }
        // With every slot taken (left by processes that ended without
        // closing) the port opens but receives nothing.
        slotTaken_ = false;
        for (ListenerSlot& slot : block->slots) {
            if (slot.inUse == 0) {
                slot.routine = kRoutineIdle;
                slot.receiverPort = receiverId_;
                slot.receiverWindow = WindowWord(owner->NotifyWindow());
                slot.inUse = 1;
                slotTaken_ = true;
                break;
            }
        }
    } else {
        ++block->outputCount;
    }
    LeaveMSect(section, 1, nullptr);
    opened_ = true;
    isOpen = true;
    return true;
}

bool CMidiPortVirtual::Close()
{
    // Cleared before waiting for the lock: a sender that holds it or takes
    // it next gives up instead of keeping the close waiting.
    isOpen = false;
    std::unique_lock<std::mutex> lock = LockPort(portLock_);
    return CloseLocked();
}

bool CMidiPortVirtual::CloseLocked()
{
    isOpen = false;
    if (!opened_)
        return true;
    opened_ = false;
    // Past the wait the close goes on regardless; it then does not leave.
    const bool entered = EnterSection(isInput ? "CloseMidiInPort" : "CloseMidiOutPort");
    VirtualPortBlock* block = g_view[deviceIndex];
    if (isInput) {
        {
            std::lock_guard<std::mutex> receivers(ReceiverLock());
            Receivers().erase(receiverId_);
        }
        // Identifiers are only unique within a process: the window tells
        // this process's slot from another's with the same value. A sender
        // that found the window gone freed the slot and counted the port off
        // already; a port that never got a slot counts itself off here.
        const uint32_t window = WindowWord(owner->NotifyWindow());
        bool countedOff = slotTaken_;
        for (ListenerSlot& slot : block->slots) {
            if (slot.inUse != 0 && slot.receiverPort == receiverId_ && slot.receiverWindow == window) {
                slot = ListenerSlot{};
                countedOff = false;
                break;
            }
        }
        if (!countedOff && block->inputCount > 0)
            --block->inputCount;
        slotTaken_ = false;
        receiverId_ = 0;
    } else {
        --block->outputCount;
    }
    ReleaseBlock();
    if (entered)
        LeaveMSect(section, 1, nullptr);
    CloseMSect(section);
    section = nullptr;
    return true;
}

bool CMidiPortVirtual::CanSend()
{
    return !isInput && isOpen;
}

bool CMidiPortVirtual::Send(SAFEARRAY* array)
{
    std::vector<uint8_t> bytes;
    if (!array || tavro::ReadScriptBytes(array, bytes))
        return array ? SendBytes(bytes) : CanSend();
    // An element that does not convert fails only a message someone receives.
    return CanSend() && !HasListener();
}

bool CMidiPortVirtual::HasListener()
{
    std::unique_lock<std::mutex> lock = LockPort(portLock_);
    if (!isOpen || !opened_ || !EnterSection("SendMidiEvent"))
        return false;
    bool any = false;
    for (const ListenerSlot& slot : g_view[deviceIndex]->slots)
        any = any || slot.inUse != 0;
    LeaveMSect(section, 1, nullptr);
    return any;
}

bool CMidiPortVirtual::SendBytes(const std::vector<uint8_t>& bytes)
{
    if (isInput)
        return false;
    std::unique_lock<std::mutex> lock = LockPort(portLock_);
    if (!isOpen || !opened_)
        return false;
    bool sent = EnterSection("SendMidiEvent", &bytes);
    if (sent) {
        sent = DeliverToListeners(bytes);
        LeaveMSect(section, 1, nullptr);
    }
    if (!sent)
        InterlockedIncrement(&g_lost[deviceIndex]);
    return sent;
}

// Hands the message to every listener of the index, one after the other
// (section held). False when one of them did not take it.
bool CMidiPortVirtual::DeliverToListeners(const std::vector<uint8_t>& bytes)
{
    VirtualPortBlock* block = g_view[deviceIndex];
    bool sent = true;
    for (ListenerSlot& slot : block->slots) {
        // Another process may rewrite the block: take each word once.
        const ListenerSlot listener = slot;
        if (listener.inUse == 0)
            continue;
        const HWND window = WindowFromWord(listener.receiverWindow);
        if (!IsWindow(window)) {
            // Its process ended without closing: free the slot before the
            // handle can name an unrelated process's window.
            slot = ListenerSlot{};
            if (block->inputCount > 0)
                --block->inputCount;
            continue;
        }
        if (bytes.size() > kVirtualDataSize) {
            TAVRO_TRACE("MidiIO", "SendMidiEvent", DescribeBytes(portNumber, bytes),
                        std::to_string(bytes.size()) + " bytes do not fit virtual port " +
                            tavro::TraceQuote(GetName()) + " (at most 128)");
            return false;
        }
        if (!DeliverToListener(slot, listener, window, bytes)) {
            TAVRO_TRACE("MidiIO", "SendMidiEvent", DescribeBytes(portNumber, bytes),
                        "listener window " + WindowText(listener.receiverWindow) + " of virtual port " +
                            tavro::TraceQuote(GetName()) + " did not take the message within " +
                            std::to_string(kDeliverWaitMs / 1000) + " s");
            sent = false;
        }
    }
    return sent;
}

bool CMidiPortVirtual::DeliverToListener(ListenerSlot& slot, const ListenerSlot& listener, HWND window,
                                         const std::vector<uint8_t>& bytes)
{
    DWORD_PTR answer = 0;
    const bool counted = KeepsDeliveryCount(listener.routine);
    if (counted && listener.routine != kRoutineIdle) {
        // An earlier message to it timed out (or its sender died) and may
        // still wait in the listener's queue, with the same parameters as
        // this one. Sent messages are answered in order, so once this empty
        // one is answered that late one has been handled, and dropped.
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kDeliverWaitMs, &answer))
            return false;
        ExchangeRoutine(slot, kRoutineIdle, listener.routine);
    }
    if (!bytes.empty())
        memcpy(g_view[deviceIndex]->data, bytes.data(), bytes.size());
    const uint32_t ticket = NextTicket();
    if (counted)
        ExchangeRoutine(slot, kRoutinePending | ticket, kRoutineIdle);
    // Returns once the receiver has copied the data area (or gave up).
    const bool answered =
        SendMessageTimeoutA(window, WM_VIRTUALMIDI, listener.receiverPort, static_cast<LPARAM>(bytes.size()),
                            SMTO_NORMAL, kDeliverWaitMs, &answer) != 0;
    if (!counted)
        return answered;
    // Withdraw an unclaimed ticket, so that a late handling drops it.
    const uint32_t prior =
        ExchangeRoutine(slot, answered ? kRoutineIdle : kRoutineWithdrawn | ticket, kRoutinePending | ticket);
    if (prior == (kRoutineClaimed | ticket)) {
        ExchangeRoutine(slot, kRoutineIdle, prior);
        return true;
    }
    // Answered but not claimed: the port closed meanwhile, nobody to lose.
    return answered;
}

LRESULT CMidiPortVirtual::Deliver(MidiPortOwner* receiver, WPARAM receiverId, LPARAM length)
{
    if (length < 0 || static_cast<uint64_t>(length) > kVirtualDataSize)
        return 0;
    // Held across the hand-over so that a port of another control of this
    // process cannot close under it; closing takes it only briefly.
    std::lock_guard<std::mutex> receivers(ReceiverLock());
    auto found = Receivers().find(static_cast<uint32_t>(receiverId));
    if (found == Receivers().end() || static_cast<WPARAM>(static_cast<uint32_t>(receiverId)) != receiverId)
        return 0;
    CMidiPortVirtual* port = found->second;
    VirtualPortBlock* block = g_view[port->deviceIndex];
    if (port->owner != receiver || !port->isOpen || !block)
        return 0;
    ListenerSlot* own = nullptr;
    const uint32_t window = WindowWord(receiver->NotifyWindow());
    for (ListenerSlot& slot : block->slots)
        if (slot.inUse != 0 && slot.receiverPort == receiverId && slot.receiverWindow == window)
            own = &slot;
    uint8_t data[kVirtualDataSize];
    memcpy(data, block->data, static_cast<size_t>(length));
    const uint32_t routine = own ? static_cast<uint32_t>(InterlockedCompareExchange(RoutineWord(*own), 0, 0)) : 0;
    if (own && KeepsDeliveryCount(routine) && routine != kRoutineIdle) {
        // Claim the pending ticket only after copying: a sender that gave
        // up withdrew it, and the data area may hold another message now.
        // The withdrawn mark stays until a sender has seen this window
        // answer again (see DeliverToListener).
        const uint32_t state = routine & kRoutineMask;
        if (state != kRoutinePending ||
            ExchangeRoutine(*own, kRoutineClaimed | (routine & 0xFFFF), routine) != routine) {
            TAVRO_TRACE("MidiIO", "OnVirtualMidiMessage", std::to_string(port->portNumber),
                        "a message whose sender stopped waiting reached virtual port " +
                            tavro::TraceQuote(port->GetName()) + " late and was dropped");
            return 0;
        }
    }
    // Idle (a sender that keeps no delivery count, or a direct send): the
    // data area holds this message for as long as the sender waits.
    const int64_t now = receiver->ReadMasterClock();
    receiver->AddInputEvent(port, now, now, static_cast<uint32_t>(length), data);
    return 1;
}

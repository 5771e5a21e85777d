// Shared-memory layouts that processes of both word sizes read and write:
// the counted section's counts and the per-index virtual port block.
#pragma once

#include <cstddef>
#include <cstdint>

// The window message by which a virtual output port hands a message to the
// receiving control's notification window (WM_USER + 302), sent, not posted:
// wParam is the receiver's port identifier, lParam the message length.
constexpr uint32_t WM_VIRTUALMIDI = 0x52E;

// Every field is a little-endian 32-bit word, so 32-bit and 64-bit
// processes share one layout; interlocked operations work on them as LONG.

// The counts of one counted section ("ZLK_MSECT_MMF_<name>").
struct MSectShared {
    int32_t initialised; // 1 once the creator has filled the rest
    int32_t spinLock;    // 0 free, 1 held
    int32_t waiting;     // announced waiters not yet counted off by a release
    int32_t available;   // counts that can be taken now
    int32_t maximum;     // at least 1
};
static_assert(sizeof(MSectShared) == 20, "counted section block is 20 bytes");
static_assert(offsetof(MSectShared, initialised) == 0 && offsetof(MSectShared, spinLock) == 4 &&
                  offsetof(MSectShared, waiting) == 8 && offsetof(MSectShared, available) == 12 &&
                  offsetof(MSectShared, maximum) == 16,
              "counted section field offsets");

// One registered virtual input port of some process.
struct ListenerSlot {
    uint32_t routine;        // opener's process-local value; nobody reads it
    uint32_t receiverPort;   // receiver's process-local port identifier
    uint32_t receiverWindow; // receiver's notification window (handles fit 32 bits)
    uint32_t inUse;          // 1 occupied, 0 free
};
static_assert(sizeof(ListenerSlot) == 16, "listener slot is 16 bytes");
static_assert(offsetof(ListenerSlot, routine) == 0 && offsetof(ListenerSlot, receiverPort) == 4 &&
                  offsetof(ListenerSlot, receiverWindow) == 8 && offsetof(ListenerSlot, inUse) == 12,
              "listener slot field offsets");

constexpr int kVirtualPortCount = 32;  // indexes 0..31
constexpr int kListenerSlotCount = 10; // listeners per index
constexpr uint32_t kVirtualDataSize = 128;

// The block "tavro_%02i" of one virtual port index.
struct VirtualPortBlock {
    uint32_t inputCount;  // open virtual input ports of this index, all processes
    uint32_t outputCount; // open virtual output ports of this index, all processes
    ListenerSlot slots[kListenerSlotCount];
    uint8_t data[kVirtualDataSize]; // the message being delivered
};
static_assert(sizeof(VirtualPortBlock) == 296, "virtual port block is 296 bytes");
static_assert(offsetof(VirtualPortBlock, inputCount) == 0 && offsetof(VirtualPortBlock, outputCount) == 4 &&
                  offsetof(VirtualPortBlock, slots) == 8 && offsetof(VirtualPortBlock, data) == 168,
              "virtual port block field offsets");

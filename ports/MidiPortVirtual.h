// Virtual MIDI ports: 32 indexes shared by every process of the machine
// through the named blocks "tavro_NN", delivered by a sent window message.
#pragma once

#include "ports/MSect.h"
#include "ports/MidiPort.h"
#include "ports/VirtualShared.h"

#include <mutex>

class CMidiPortVirtual final : public CMidiPort {
public:
    CMidiPortVirtual(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput);
    ~CMidiPortVirtual() override;

    // With no listener the array is not even examined: the send succeeds.
    bool Send(SAFEARRAY* array) override;
    bool CanSend() override;
    bool SendBytes(const std::vector<uint8_t>& bytes) override;
    bool Close() override;
    bool Open() override;
    const std::string& GetName() override;

    // Handles WM_VIRTUALMIDI on the notification window of `receiver`:
    // stores the message of the index's data area when `receiverId` names
    // one of that control's open virtual input ports. 1 when stored, 0 when
    // the identifier or the length is not acceptable.
    static LRESULT Deliver(MidiPortOwner* receiver, WPARAM receiverId, LPARAM length);

    // This process's view of an index's block, null while no virtual port
    // of the index is open here.
    static const VirtualPortBlock* MappedBlock(uint32_t index);

    // Messages this process sent on virtual output index `index` that did not
    // reach every listener: a listener did not take one within the delivery
    // bound, the index stayed locked, or it was too long. Immediate sends also
    // report that by their result; queued ones have no other witness.
    static long LostMessages(uint32_t index);

private:
    bool HasListener();
    // Enters the index's section; traces a time-out as a failure of `method`
    // (with the message, if any).
    bool EnterSection(const char* method, const std::vector<uint8_t>* bytes = nullptr);
    bool DeliverToListeners(const std::vector<uint8_t>& bytes);
    bool DeliverToListener(ListenerSlot& slot, const ListenerSlot& listener, HWND window,
                           const std::vector<uint8_t>& bytes);
    bool CloseLocked();
    bool MapBlock();
    void ReleaseBlock();

    // Open, Close and Send of one port may come from the control's thread
    // and the send timer's thread at once; waits for it handle sent messages.
    std::mutex portLock_;
    MSect* section = nullptr;
    // Whether the port holds its index (section entered and left, counted
    // in the block, referenced here); isOpen is cleared as a close begins.
    bool opened_ = false;
    // Process-local identifier published in the listener slot while an
    // input port is open; fresh at every open, so a stale slot never
    // names a later opening.
    uint32_t receiverId_ = 0;
    bool slotTaken_ = false; // the open found a free listener slot
};

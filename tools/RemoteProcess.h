// Talking to windows of another process: messages with a bound, so a hung
// application cannot block a script for good, and memory in the target
// process for records that messages carry by pointer (the system copies
// them between processes for no control message of this kind).
#pragma once

#include "tools/ControlRecords.h"

#include <windows.h>

#include <string>

namespace tavro {

// How long a query of another process's window waits for its answer.
constexpr UINT kQueryTimeoutMs = 3000;

// Whether this process runs under Wine (whose ntdll exports its version).
bool RunningUnderWine();

// Whether `window` belongs to a process other than this one.
bool OfOtherProcess(HWND window);

// Sends a message to `window` and gives its reply. A window of this process
// gets a plain SendMessage; one of another process a send that gives up
// after kQueryTimeoutMs or on a refused send: then false, and `error` is the
// reason. `wide` sends the Unicode form.
bool SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& reply, bool wide = false);
std::string BoundedSendError();

// A block of read-write memory in the process of a window, freed when the
// owner goes. The records written there use the target's own layout.
class RemoteBlock {
public:
    RemoteBlock(HWND window, size_t size);
    ~RemoteBlock();
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    explicit operator bool() const { return address_ != nullptr; }
    // Why the block could not be made.
    const std::string& Error() const { return error_; }
    const ControlRecordLayout& Layout() const { return *layout_; }
    uint64_t Address(size_t offset = 0) const;
    LPARAM Param(size_t offset = 0) const { return static_cast<LPARAM>(Address(offset)); }
    bool Write(size_t offset, const void* data, size_t size);
    bool Read(size_t offset, void* data, size_t size) const;
    // A message that timed out may still be handled later (Windows does not
    // withdraw it): the block is then left to the target instead of freed
    // under it.
    void LeaveToTarget() { leaveToTarget_ = true; }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_ = 0;
    const ControlRecordLayout* layout_ = &kRecordLayout32;
    std::string error_;
    bool leaveToTarget_ = false;
};

} // namespace tavro

// Bounded messages and memory in another process (see RemoteProcess.h).
#include "tools/RemoteProcess.h"
#include "module/Trace.h"

#include <commctrl.h>

#include <cstddef>

namespace tavro {

namespace {

// The record layout of this build is the system's own: the table cannot
// drift from the headers without failing the build.
constexpr const ControlRecordLayout& kOwnLayout = sizeof(void*) == 8 ? kRecordLayout64 : kRecordLayout32;
static_assert(kOwnLayout.pointerSize == sizeof(void*), "pointer size");
static_assert(kOwnLayout.tabItemSize == sizeof(TCITEMA) && kOwnLayout.tabItemText == offsetof(TCITEMA, pszText) &&
                  kOwnLayout.tabItemTextMax == offsetof(TCITEMA, cchTextMax),
              "TCITEMA layout");
static_assert(kOwnLayout.listItemSize == sizeof(LVITEMA) && kOwnLayout.listItemSubItem == offsetof(LVITEMA, iSubItem) &&
                  kOwnLayout.listItemText == offsetof(LVITEMA, pszText) &&
                  kOwnLayout.listItemTextMax == offsetof(LVITEMA, cchTextMax),
              "LVITEMA layout");
static_assert(kOwnLayout.notifySize == sizeof(NMHDR) && kOwnLayout.notifyId == offsetof(NMHDR, idFrom) &&
                  kOwnLayout.notifyCode == offsetof(NMHDR, code),
              "NMHDR layout");

thread_local DWORD g_sendError = 0;

// Whether a process runs 64-bit code: a WOW64 process is 32-bit; any other
// is 64-bit when this build is, or when this 32-bit build itself runs on a
// 64-bit system.
bool Is64Bit(HANDLE process)
{
    BOOL wow = FALSE;
    if (IsWow64Process(process, &wow) && wow)
        return false;
    if (sizeof(void*) == 8)
        return true;
    BOOL selfWow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &selfWow) && selfWow;
}

} // namespace

bool RunningUnderWine()
{
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool OfOtherProcess(HWND window)
{
    DWORD process = 0;
    return window && GetWindowThreadProcessId(window, &process) && process != GetCurrentProcessId();
}

bool SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& reply, bool wide)
{
    reply = 0;
    g_sendError = 0;
    if (!OfOtherProcess(window)) {
        reply = wide ? SendMessageW(window, message, wParam, lParam) : SendMessageA(window, message, wParam, lParam);
        return true;
    }
    DWORD_PTR result = 0;
    SetLastError(ERROR_SUCCESS);
    const UINT flags = SMTO_ABORTIFHUNG | SMTO_ERRORONEXIT;
    const LRESULT sent = wide ? SendMessageTimeoutW(window, message, wParam, lParam, flags, kQueryTimeoutMs, &result)
                              : SendMessageTimeoutA(window, message, wParam, lParam, flags, kQueryTimeoutMs, &result);
    if (!sent) {
        g_sendError = GetLastError() ? GetLastError() : ERROR_TIMEOUT;
        return false;
    }
    reply = static_cast<LRESULT>(result);
    return true;
}

std::string BoundedSendError()
{
    if (g_sendError == ERROR_TIMEOUT)
        return "no answer within " + std::to_string(kQueryTimeoutMs) + " ms";
    return "the message was refused: " + ErrorText(g_sendError);
}

RemoteBlock::RemoteBlock(HWND window, size_t size) : size_(size)
{
    DWORD id = 0;
    if (!window || !GetWindowThreadProcessId(window, &id)) {
        error_ = "no window";
        return;
    }
    process_ = OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process_) {
        error_ = "cannot open process " + std::to_string(id) + ": " + LastErrorText();
        return;
    }
    layout_ = &RecordLayoutFor(Is64Bit(process_));
    address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!address_) {
        error_ = "cannot allocate memory in process " + std::to_string(id) + ": " + LastErrorText();
        return;
    }
    // A 32-bit build passes the address in a 32-bit LPARAM, which reaches a
    // 64-bit target sign-extended: only an address below 2 GB arrives whole.
    if (sizeof(void*) == 4 && layout_->pointerSize == 8 && Address() + size > 0x7FFFFFFF) {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        address_ = nullptr;
        error_ = "the memory given in process " + std::to_string(id) + " lies above 2 GB";
    }
}

RemoteBlock::~RemoteBlock()
{
    if (address_ && !leaveToTarget_)
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_)
        CloseHandle(process_);
}

uint64_t RemoteBlock::Address(size_t offset) const
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address_)) + offset;
}

bool RemoteBlock::Write(size_t offset, const void* data, size_t size)
{
    SIZE_T done = 0;
    return address_ && offset + size <= size_ &&
           WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
}

bool RemoteBlock::Read(size_t offset, void* data, size_t size) const
{
    SIZE_T done = 0;
    return address_ && offset + size <= size_ &&
           ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
}

} // namespace tavro

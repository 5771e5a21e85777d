// The clipboard as the controls use it: opened for one operation, with a
// bounded retry, and the global blocks it carries locked while read.
#pragma once

#include <windows.h>

#include <string>

namespace tavro {

// How long an open keeps retrying while another program holds the clipboard.
// Clipboard history, remote-desktop sharing and office suites open it for a
// moment after every change, so a write followed at once by a read would
// otherwise fail now and then.
constexpr DWORD kClipboardOpenWaitMs = 1000;

// Opens the clipboard without an owner window for the life of the object.
class ClipboardSession {
public:
    ClipboardSession();
    ~ClipboardSession();
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool IsOpen() const { return open_; }
    // Why the open failed, for the trace: the holder's window class and the
    // system's error text.
    std::string FailureText() const;

private:
    bool open_ = false;
    DWORD error_ = 0;
    HWND holder_ = nullptr;
};

// Locks a global memory block for the life of the object; a null block gives
// null data.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL h) : h_(h), data_(h ? GlobalLock(h) : nullptr) {}
    ~GlobalLockGuard()
    {
        if (data_)
            GlobalUnlock(h_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    char* data() const { return static_cast<char*>(data_); }

private:
    HGLOBAL h_;
    void* data_;
};

} // namespace tavro

// Waits for the threads that own MidiIO windows. Other threads and processes
// deliver virtual-port data by sending to those windows and wait for the
// answer, so such a thread must keep answering while it waits itself.
#pragma once

#include <windows.h>

// Handles the messages other threads have sent to this thread's windows
// (nothing posted is taken).
void AnswerSentMessages();

// WaitForSingleObject that answers sent messages meanwhile; a null handle
// waits until `ready()` holds instead (polled each millisecond).
DWORD WaitAnsweringSent(HANDLE handle, DWORD timeoutMs);
// The same for any of `count` handles (1 or 2): WAIT_OBJECT_0 + i when
// handle i was signalled.
DWORD WaitAnyAnsweringSent(const HANDLE* handles, DWORD count, DWORD timeoutMs);

template <class Ready>
bool WaitUntilAnsweringSent(Ready ready, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!ready()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        WaitAnsweringSent(nullptr, 1);
    }
    return true;
}

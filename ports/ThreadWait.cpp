// Waits that keep answering messages sent to the waiting thread.
#include "ports/ThreadWait.h"

void AnswerSentMessages()
{
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

DWORD WaitAnsweringSent(HANDLE handle, DWORD timeoutMs)
{
    return WaitAnyAnsweringSent(&handle, handle ? 1 : 0, timeoutMs);
}

DWORD WaitAnyAnsweringSent(const HANDLE* handles, DWORD count, DWORD timeoutMs)
{
    // A thread without windows (the timer thread, workers) is sent nothing.
    if (!IsGUIThread(FALSE)) {
        if (count)
            return WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
        Sleep(timeoutMs);
        return WAIT_TIMEOUT;
    }
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = timeoutMs == INFINITE ? INFINITE : timeoutMs > elapsed ? timeoutMs - elapsed : 0;
        const DWORD rc = MsgWaitForMultipleObjects(count, count ? handles : nullptr, FALSE, left, QS_SENDMESSAGE);
        if (rc != WAIT_OBJECT_0 + count)
            return rc; // signalled, timed out or failed
        AnswerSentMessages();
        if (left == 0)
            return WAIT_TIMEOUT;
    }
}

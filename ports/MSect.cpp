// Counted section between processes: the spin lock and count rules that
// every process sharing a section follows.
#include "ports/MSect.h"

#include "module/Trace.h"
#include "ports/ThreadWait.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <new>

namespace {

volatile LONG* Word(int32_t& field)
{
    return reinterpret_cast<volatile LONG*>(&field);
}

// Whether process `id` has ended (or never existed).
bool ProcessEnded(DWORD id)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER; // denied: it exists
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// Holders of ours write their process ID into the lock word (others write
// 1; both are "held"), so that a process killed inside the lock, for the few
// instructions it holds it, does not leave it held for good.
void TakeSpinLock(MSectShared* shared)
{
    const LONG self = static_cast<LONG>(GetCurrentProcessId());
    for (unsigned attempt = 1;; ++attempt) {
        const LONG holder = InterlockedCompareExchange(Word(shared->spinLock), self, 0);
        if (holder == 0)
            return;
        if (attempt % 4096 == 0 && holder != 1 && holder != self && ProcessEnded(static_cast<DWORD>(holder)) &&
            InterlockedCompareExchange(Word(shared->spinLock), self, holder) == holder)
            return;
        Sleep(0);
    }
}

void ReleaseSpinLock(MSectShared* shared)
{
    InterlockedExchange(Word(shared->spinLock), 0);
}

// The initialised word is read by joiners only as "not 0". In a section of
// maximum 1 it also names the holder of the count: the holder's process ID
// while one of our processes holds it, kNoHolder otherwise (free, or taken
// by a process that does not record itself). So a dead holder can be found.
constexpr LONG kNoHolder = 1;

// How long a newcomer steps aside for a woken waiter (see EnterMSect).
constexpr DWORD kStepAsideMs = 1;

bool TracksHolder(const MSectShared* shared)
{
    return shared->maximum == 1;
}

// Takes one available count (spin lock held).
bool TakeCount(MSectShared* shared)
{
    if (shared->available < 1)
        return false;
    --shared->available;
    if (TracksHolder(shared))
        shared->initialised = static_cast<LONG>(GetCurrentProcessId());
    return true;
}

// Gives the count of a holder that ended without leaving back, unless the
// holder has changed meanwhile. True when it did.
bool RecoverFromDeadHolder(MSect* section, LONG holder)
{
    MSectShared* shared = section->view;
    TakeSpinLock(shared);
    const bool recovered = shared->initialised == holder && shared->available == 0;
    if (recovered) {
        shared->available = 1;
        shared->initialised = kNoHolder;
        if (shared->waiting > 0)
            SetEvent(section->event);
    }
    ReleaseSpinLock(shared);
    if (recovered)
        TAVRO_TRACE("MidiIO", "EnterMSect", "",
                    "the counted section's holder, process " + std::to_string(holder) +
                        ", ended without leaving: its count is given back");
    return recovered;
}

// A handle that is signalled when the process `holder` ends; null when it
// has ended already (`gone`) or cannot be watched.
HANDLE WatchHolder(LONG holder, bool& gone)
{
    gone = false;
    if (holder == kNoHolder || static_cast<DWORD>(holder) == GetCurrentProcessId())
        return nullptr;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(holder));
    // No such process (error 87); denied access means it exists.
    gone = !process && GetLastError() == ERROR_INVALID_PARAMETER;
    return process;
}

void FreeSection(MSect* section)
{
    if (section->view)
        UnmapViewOfFile(section->view);
    if (section->mapping)
        CloseHandle(section->mapping);
    if (section->event)
        CloseHandle(section->event);
    delete section;
}

} // namespace

MSect* CreateMSect(LONG initialCount, LONG maximumCount, const char* name)
{
    const size_t nameLength = name ? strlen(name) : 0;
    if (maximumCount < 1 || initialCount < 0 || initialCount > maximumCount || nameLength > kMSectMaxName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* section = new (std::nothrow) MSect;
    if (!section) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    char eventName[16 + kMSectMaxName];
    char mappingName[16 + kMSectMaxName];
    if (nameLength) {
        snprintf(eventName, sizeof eventName, "ZLK_MSECT_EVT_%s", name);
        snprintf(mappingName, sizeof mappingName, "ZLK_MSECT_MMF_%s", name);
    }

    section->event = CreateEventA(nullptr, FALSE, FALSE, nameLength ? eventName : nullptr);
    if (!section->event) {
        DWORD error = GetLastError();
        FreeSection(section);
        SetLastError(error);
        return nullptr;
    }
    section->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(MSectShared),
                                          nameLength ? mappingName : nullptr);
    const bool existed = section->mapping && GetLastError() == ERROR_ALREADY_EXISTS;
    if (section->mapping)
        section->view = static_cast<MSectShared*>(MapViewOfFile(section->mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (!section->view) {
        DWORD error = GetLastError();
        FreeSection(section);
        SetLastError(error);
        return nullptr;
    }

    MSectShared* shared = section->view;
    if (!existed) {
        shared->spinLock = 0;
        shared->waiting = 0;
        shared->available = initialCount;
        shared->maximum = maximumCount;
        // Joiners read the counts only after this exchange.
        InterlockedExchange(Word(shared->initialised), kNoHolder);
    } else {
        // The creator is between creating the block and filling it.
        while (InterlockedCompareExchange(Word(shared->initialised), 0, 0) == 0)
            Sleep(0);
    }
    return section;
}

// Waiters count themselves: `waiting` is the number of threads asleep on the
// event, each taking itself off when it wakes, and every release signals
// while it is above 0. Nothing resets the event: a set event is only a
// reason to look at the counts again, so a signal can never be lost to a
// waiter that was answering sent messages, nor merged with a second one
// while somebody still sleeps. A newcomer that finds a count free while
// others sleep steps aside once, for a moment, so that the woken one takes
// it: a sender in a tight loop would otherwise take it back every time,
// and a close or open could wait as long as that sender keeps sending.
DWORD EnterMSect(MSect* section, DWORD timeoutMs)
{
    MSectShared* shared = section->view;
    bool queued = false;  // this thread is counted in `waiting`
    bool yielded = false; // it has waited or stepped aside once
    for (;;) {
        TakeSpinLock(shared);
        if (queued && shared->waiting > 0)
            --shared->waiting;
        queued = false;
        if ((yielded || shared->waiting == 0) && TakeCount(shared)) {
            // Another release may have come while the event was still set.
            if (shared->available >= 1 && shared->waiting > 0)
                SetEvent(section->event);
            ReleaseSpinLock(shared);
            return 0;
        }
        if (shared->available >= 1) {
            ReleaseSpinLock(shared);
            yielded = true;
            Sleep(kStepAsideMs);
            continue;
        }
        ++shared->waiting;
        queued = true;
        yielded = true;
        const LONG holder = TracksHolder(shared) ? shared->initialised : kNoHolder;
        ReleaseSpinLock(shared);

        bool holderGone = false;
        HANDLE holderProcess = WatchHolder(holder, holderGone);
        DWORD rc = WAIT_OBJECT_0 + 1;
        if (!holderGone) {
            // The holder may be sending to a window of this thread: answer.
            const HANDLE handles[2] = {section->event, holderProcess};
            rc = WaitAnyAnsweringSent(handles, holderProcess ? 2 : 1, timeoutMs);
        }
        if (holderProcess)
            CloseHandle(holderProcess);
        if (rc == WAIT_OBJECT_0 + 1 || rc == WAIT_TIMEOUT) {
            TakeSpinLock(shared);
            if (shared->waiting > 0)
                --shared->waiting;
            ReleaseSpinLock(shared);
            queued = false;
            if (rc == WAIT_TIMEOUT)
                return WAIT_TIMEOUT;
            RecoverFromDeadHolder(section, holder);
        }
        // Woken (or the wait failed): look at the counts again, taking this
        // thread off `waiting` under the same lock.
    }
}

BOOL LeaveMSect(MSect* section, LONG releaseCount, LONG* previousCount)
{
    MSectShared* shared = section->view;
    TakeSpinLock(shared);
    if (previousCount)
        *previousCount = shared->available;
    if (releaseCount < 0 ||
        static_cast<int64_t>(shared->available) + releaseCount > static_cast<int64_t>(shared->maximum)) {
        ReleaseSpinLock(shared);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    shared->available += releaseCount;
    if (releaseCount > 0 && TracksHolder(shared))
        shared->initialised = kNoHolder;
    // One signal wakes one sleeper; a woken one that takes a count passes
    // the signal on while counts and sleepers remain.
    if (releaseCount > 0 && shared->waiting > 0)
        SetEvent(section->event);
    ReleaseSpinLock(shared);
    return TRUE;
}

void CloseMSect(MSect* section)
{
    if (section)
        FreeSection(section);
}

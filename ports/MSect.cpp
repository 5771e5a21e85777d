// Counted section between processes: the spin lock and count rules that
// every process sharing a section follows.
#include "ports/MSect.h"

#include "ports/ThreadWait.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

volatile LONG* Word(int32_t& field)
{
    return reinterpret_cast<volatile LONG*>(&field);
}

void TakeSpinLock(MSectShared* shared)
{
    while (InterlockedExchange(Word(shared->spinLock), 1) != 0)
        Sleep(0);
}

void ReleaseSpinLock(MSectShared* shared)
{
    InterlockedExchange(Word(shared->spinLock), 0);
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
        InterlockedExchange(Word(shared->initialised), 1);
    } else {
        // The creator is between creating the block and filling it.
        while (InterlockedCompareExchange(Word(shared->initialised), 0, 0) == 0)
            Sleep(0);
    }
    return section;
}

DWORD EnterMSect(MSect* section, DWORD timeoutMs)
{
    MSectShared* shared = section->view;
    for (;;) {
        TakeSpinLock(shared);
        if (shared->available >= 1) {
            --shared->available;
            ReleaseSpinLock(shared);
            return 0;
        }
        ++shared->waiting;
        // A signal left from an earlier release with nobody waiting must not
        // let this wait through without a count.
        ResetEvent(section->event);
        ReleaseSpinLock(shared);
        // The holder may be sending to a window of this thread: answer.
        if (WaitAnsweringSent(section->event, timeoutMs) == WAIT_TIMEOUT)
            return WAIT_TIMEOUT;
        // Woken (or the wait failed): look at the counts again.
    }
}

BOOL LeaveMSect(MSect* section, LONG releaseCount, LONG* previousCount)
{
    MSectShared* shared = section->view;
    TakeSpinLock(shared);
    if (previousCount)
        *previousCount = shared->available;
    if (releaseCount < 0
        || static_cast<int64_t>(shared->available) + releaseCount > static_cast<int64_t>(shared->maximum)) {
        ReleaseSpinLock(shared);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    shared->available += releaseCount;
    LONG wake = releaseCount < shared->waiting ? releaseCount : shared->waiting;
    for (LONG i = 0; i < wake; ++i) {
        --shared->waiting;
        SetEvent(section->event);
    }
    ReleaseSpinLock(shared);
    return TRUE;
}

void CloseMSect(MSect* section)
{
    if (section)
        FreeSection(section);
}

// Counted section: a counting semaphore shared by name between processes,
// made of a named auto-reset event and a named 20-byte block of counts.
#pragma once

#include "ports/VirtualShared.h"

#include <windows.h>

// Process-local handle of one section; made by CreateMSect, freed by CloseMSect.
struct MSect {
    HANDLE event = nullptr;      // "ZLK_MSECT_EVT_<name>": waiters sleep on it
    HANDLE mapping = nullptr;    // "ZLK_MSECT_MMF_<name>": the counts
    MSectShared* view = nullptr; // this process's view of the counts
};

constexpr size_t kMSectMaxName = 128;

// Creates the section, or joins it (keeping its counts) when it exists.
// Null with last error 87 for a bad count or a name over 128 characters;
// null or empty name: a section private to the process.
MSect* CreateMSect(LONG initialCount, LONG maximumCount, const char* name);
// Takes one count: 0, or WAIT_TIMEOUT (258) when timeoutMs ran out.
DWORD EnterMSect(MSect* section, DWORD timeoutMs);
// Gives back releaseCount counts. False with last error 87 for a negative
// count or one that would exceed the maximum; previousCount (if given)
// receives the available count before the call, also when it fails.
BOOL LeaveMSect(MSect* section, LONG releaseCount, LONG* previousCount);
// Releases this process's handles and frees the object; null is ignored.
void CloseMSect(MSect* section);

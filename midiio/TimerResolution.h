// The 1 ms timer resolution that scheduled output and OnTimer need, held
// while any MidiIO control exists.
#pragma once

#include <windows.h>

namespace tavro {

// GetProcessInformation and SetProcessInformation, when the system has them.
using ProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
struct ProcessPowerApi {
    ProcessInformationFn get = nullptr;
    ProcessInformationFn set = nullptr;
};

// Looked up in kernel32 at first use; a test may put other functions here
// while no control exists.
ProcessPowerApi& TimerThrottlingApi();

// The first call asks for 1 ms and opts the process out of the timer
// resolution throttling of Windows 11, which ignores the request in a process
// whose windows are all invisible (a script host with our message-only window
// is one). The last matching End restores the previous throttling state.
void BeginTimerResolution();
void EndTimerResolution();

} // namespace tavro

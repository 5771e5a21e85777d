// Timer resolution and the process's power-throttling opt-out.
#include "midiio/TimerResolution.h"

#include "module/Trace.h"

#include <mmsystem.h>

#include <mutex>

namespace tavro {

namespace {

// Guards the user count and the saved state; held only around the calls
// below, which never wait on another thread.
std::mutex g_lock;
int g_users = 0;
bool g_optedOut = false;
PROCESS_POWER_THROTTLING_STATE g_previous = {};

PROCESS_POWER_THROTTLING_STATE DefaultThrottling()
{
    PROCESS_POWER_THROTTLING_STATE state = {};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    return state; // no mask bit: the system decides
}

void OptOutOfThrottling()
{
    const ProcessPowerApi& api = TimerThrottlingApi();
    if (!api.set)
        return; // before Windows 8, or Wine: nothing throttles the timer
    g_previous = DefaultThrottling();
    PROCESS_POWER_THROTTLING_STATE state = g_previous;
    if (api.get && !api.get(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state))
        state = g_previous; // not readable before Windows 11: the default was in force
    g_previous = state;
    state.ControlMask |= PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask &= ~static_cast<ULONG>(PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION);
    g_optedOut = api.set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state) != FALSE;
    // The class is unknown before Windows 10 1709: carry on as there.
    if (!g_optedOut)
        TAVRO_TRACE("MidiIO", "Create", "", "timer throttling stays as it is: " + LastErrorText());
}

void RestoreThrottling()
{
    const ProcessPowerApi& api = TimerThrottlingApi();
    if (g_optedOut && api.set)
        api.set(GetCurrentProcess(), ProcessPowerThrottling, &g_previous, sizeof g_previous);
    g_optedOut = false;
}

} // namespace

ProcessPowerApi& TimerThrottlingApi()
{
    static ProcessPowerApi api = [] {
        ProcessPowerApi found;
        if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
            found.get = reinterpret_cast<ProcessInformationFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetProcessInformation")));
            found.set = reinterpret_cast<ProcessInformationFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetProcessInformation")));
        }
        return found;
    }();
    return api;
}

void BeginTimerResolution()
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_users++ == 0)
        OptOutOfThrottling();
    timeBeginPeriod(1);
}

void EndTimerResolution()
{
    std::lock_guard<std::mutex> lock(g_lock);
    timeEndPeriod(1);
    if (--g_users == 0)
        RestoreThrottling();
}

} // namespace tavro

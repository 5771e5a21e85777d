// The exports of TAVRO.OCX.
#include "midiio/MidiNotifyWnd.h"
#include "module/InPlaceActivation.h"
#include "module/Registration.h"
#include "ocx/Classes.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    // On FreeLibrary (not at process exit) the window classes must go with
    // the code of their window procedures.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        UnregisterNotifyWindowClass();
        tavro::UnregisterControlWindowClass();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    return tavro::ServerGetClassObject(tavro::kTavroServer, clsid, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return tavro::ServerCanUnloadNow();
}

STDAPI DllRegisterServer()
{
    return tavro::RegisterServer(tavro::kTavroServer);
}

STDAPI DllUnregisterServer()
{
    return tavro::UnregisterServer(tavro::kTavroServer);
}

STDAPI DllInstall(BOOL install, LPCWSTR cmdLine)
{
    return tavro::InstallServer(tavro::kTavroServer, install, cmdLine);
}

} // extern "C"

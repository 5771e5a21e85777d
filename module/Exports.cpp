// The four exports of the in-process server.
#include "midiio/MidiNotifyWnd.h"
#include "module/ClassFactory.h"
#include "module/Module.h"
#include "module/Registration.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    // On FreeLibrary (not at process exit) the window class must go with
    // the code of its window procedure.
    if (reason == DLL_PROCESS_DETACH && !reserved)
        UnregisterNotifyWindowClass();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const tavro::ServerClass* cls = tavro::FindServerClass(clsid);
    if (!cls)
        return CLASS_E_CLASSNOTAVAILABLE;
    return tavro::GetClassFactory(*cls, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    if (tavro::ModuleInUse())
        return S_FALSE;
    tavro::ReleaseTypeLibCache();
    return S_OK;
}

STDAPI DllRegisterServer()
{
    return tavro::RegisterServer();
}

STDAPI DllUnregisterServer()
{
    return tavro::UnregisterServer();
}

} // extern "C"

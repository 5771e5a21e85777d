// Writes and removes what script hosts and control containers look up under
// HKEY_CLASSES_ROOT: CLSID, ProgIDs, server path and threading model, the
// control markers, and the registered type library.
#include "module/Registration.h"

#include "module/ClassFactory.h"
#include "module/ComUtil.h"
#include "module/Module.h"

#include <olectl.h>

#include <string>

namespace tavro {

namespace {

std::string GuidString(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return ToAnsi(text, wcslen(text));
}

std::string LoadResourceString(UINT id)
{
    char text[256] = {};
    int n = LoadStringA(ModuleInstance(), id, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

// Creates HKCR\key and sets one string value (the default one when name is null).
bool SetValue(const std::string& key, const char* name, const std::string& value)
{
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr)
        != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool DeleteTree(const std::string& key)
{
    LONG rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
        rc = RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

// "TAVRO.MidiIOCtrl.1" -> "TAVRO.MidiIOCtrl"
std::string VersionIndependent(const std::string& progId)
{
    size_t dot = progId.rfind('.');
    return dot == std::string::npos ? progId : progId.substr(0, dot);
}

bool RegisterClass(const ServerClass& cls, const GUID& libid, const std::string& modulePath)
{
    const std::string clsid = GuidString(cls.Clsid());
    const std::string key = "CLSID\\" + clsid;
    const std::string typeName = LoadResourceString(cls.typeNameId);
    bool ok = SetValue(key, nullptr, typeName)
              && SetValue(key + "\\InprocServer32", nullptr, modulePath)
              && SetValue(key + "\\InprocServer32", "ThreadingModel", "Apartment");
    const wchar_t* wideProgId = cls.ProgId();
    if (!ok || !wideProgId)
        return ok; // a property page needs no more

    const std::string progId = ToAnsi(wideProgId, wcslen(wideProgId));
    const std::string indep = VersionIndependent(progId);
    ok = SetValue(key + "\\ProgID", nullptr, progId)
         && SetValue(key + "\\VersionIndependentProgID", nullptr, indep)
         && SetValue(key + "\\TypeLib", nullptr, GuidString(libid))
         && SetValue(key + "\\Version", nullptr, "1.0")
         && SetValue(progId, nullptr, typeName)
         && SetValue(progId + "\\CLSID", nullptr, clsid)
         && SetValue(indep, nullptr, typeName)
         && SetValue(indep + "\\CLSID", nullptr, clsid)
         && SetValue(indep + "\\CurVer", nullptr, progId);
    if (!ok || !cls.MiscStatus())
        return ok; // a plain automation object is not a control

    char misc[16];
    wsprintfA(misc, "%lu", static_cast<unsigned long>(cls.MiscStatus()));
    char bitmap[16];
    wsprintfA(bitmap, ", %u", cls.bitmapId);
    return SetValue(key + "\\Control", nullptr, "")
           && SetValue(key + "\\MiscStatus", nullptr, "0")
           && SetValue(key + "\\MiscStatus\\1", nullptr, misc)
           && SetValue(key + "\\ToolboxBitmap32", nullptr, modulePath + bitmap);
}

bool UnregisterClass(const ServerClass& cls)
{
    bool ok = DeleteTree("CLSID\\" + GuidString(cls.Clsid()));
    if (const wchar_t* wideProgId = cls.ProgId()) {
        const std::string progId = ToAnsi(wideProgId, wcslen(wideProgId));
        ok = DeleteTree(progId) && ok;
        ok = DeleteTree(VersionIndependent(progId)) && ok;
    }
    return ok;
}

SYSKIND NativeSysKind()
{
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

} // namespace

HRESULT RegisterServer(const ServerModule& server)
{
    const std::wstring path = ModulePath();
    ComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.out()))
        || FAILED(RegisterTypeLib(lib.get(), const_cast<LPOLESTR>(path.c_str()), nullptr)))
        return SELFREG_E_TYPELIB;

    const std::string modulePath = ToAnsi(path.c_str(), path.size());
    for (size_t i = 0; i < server.count; ++i)
        if (!RegisterClass(server.classes[i], *server.libid, modulePath))
            return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterServer(const ServerModule& server)
{
    if (FAILED(UnRegisterTypeLib(*server.libid, 1, 0, LOCALE_NEUTRAL, NativeSysKind())))
        return SELFREG_E_TYPELIB;
    bool ok = true;
    for (size_t i = 0; i < server.count; ++i)
        ok = UnregisterClass(server.classes[i]) && ok;
    return ok ? S_OK : SELFREG_E_CLASS;
}

} // namespace tavro

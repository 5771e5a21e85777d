// Writes and removes what script hosts and control containers look up under
// HKEY_CLASSES_ROOT (machine-wide) or HKCU\Software\Classes (one user): CLSID,
// ProgIDs, server path and threading model, the control markers, and the
// registered type library.
#include "module/Registration.h"

#include "module/ClassFactory.h"
#include "module/ComUtil.h"
#include "module/Module.h"

#include <olectl.h>

#include <string>

// In oleaut32 since Windows Vista, but not declared by mingw-w64's headers.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* lib, OLECHAR* fullPath, OLECHAR* helpDir);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                                   SYSKIND syskind);

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

// Creates root\key and sets one string value (the default one when name is null).
bool SetValue(HKEY root, const std::string& key, const char* name, const std::string& value)
{
    HKEY h = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr)
        != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool DeleteTree(HKEY root, const std::string& key)
{
    LONG rc = RegDeleteTreeA(root, key.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
        rc = RegDeleteKeyA(root, key.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

// "TAVRO.MidiIOCtrl.1" -> "TAVRO.MidiIOCtrl"
std::string VersionIndependent(const std::string& progId)
{
    size_t dot = progId.rfind('.');
    return dot == std::string::npos ? progId : progId.substr(0, dot);
}

bool RegisterClass(HKEY root, const ServerClass& cls, const GUID& libid, const std::string& modulePath)
{
    const std::string clsid = GuidString(cls.Clsid());
    const std::string key = "CLSID\\" + clsid;
    const std::string typeName = LoadResourceString(cls.typeNameId);
    bool ok = SetValue(root, key, nullptr, typeName)
              && SetValue(root, key + "\\InprocServer32", nullptr, modulePath)
              && SetValue(root, key + "\\InprocServer32", "ThreadingModel", "Apartment");
    const wchar_t* wideProgId = cls.ProgId();
    if (!ok || !wideProgId)
        return ok; // a property page needs no more

    const std::string progId = ToAnsi(wideProgId, wcslen(wideProgId));
    const std::string indep = VersionIndependent(progId);
    ok = SetValue(root, key + "\\ProgID", nullptr, progId)
         && SetValue(root, key + "\\VersionIndependentProgID", nullptr, indep)
         && SetValue(root, key + "\\TypeLib", nullptr, GuidString(libid))
         && SetValue(root, key + "\\Version", nullptr, "1.0")
         && SetValue(root, progId, nullptr, typeName)
         && SetValue(root, progId + "\\CLSID", nullptr, clsid)
         && SetValue(root, indep, nullptr, typeName)
         && SetValue(root, indep + "\\CLSID", nullptr, clsid)
         && SetValue(root, indep + "\\CurVer", nullptr, progId);
    if (!ok || !cls.MiscStatus())
        return ok; // a plain automation object is not a control

    char misc[16];
    wsprintfA(misc, "%lu", static_cast<unsigned long>(cls.MiscStatus()));
    char bitmap[16];
    wsprintfA(bitmap, ", %u", cls.bitmapId);
    return SetValue(root, key + "\\Control", nullptr, "")
           && SetValue(root, key + "\\MiscStatus", nullptr, "0")
           && SetValue(root, key + "\\MiscStatus\\1", nullptr, misc)
           && SetValue(root, key + "\\ToolboxBitmap32", nullptr, modulePath + bitmap);
}

bool UnregisterClass(HKEY root, const ServerClass& cls)
{
    bool ok = DeleteTree(root, "CLSID\\" + GuidString(cls.Clsid()));
    if (const wchar_t* wideProgId = cls.ProgId()) {
        const std::string progId = ToAnsi(wideProgId, wcslen(wideProgId));
        ok = DeleteTree(root, progId) && ok;
        ok = DeleteTree(root, VersionIndependent(progId)) && ok;
    }
    return ok;
}

SYSKIND NativeSysKind()
{
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

// The root that a scope's keys go under; the user's root is opened (and
// created on a new profile) and closed again by its owner.
class ClassesRoot {
public:
    explicit ClassesRoot(RegistrationScope scope)
    {
        if (scope == RegistrationScope::Machine)
            key_ = HKEY_CLASSES_ROOT;
        else if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &key_, nullptr)
                 == ERROR_SUCCESS)
            owned_ = true;
    }
    ~ClassesRoot()
    {
        if (owned_)
            RegCloseKey(key_);
    }
    ClassesRoot(const ClassesRoot&) = delete;
    ClassesRoot& operator=(const ClassesRoot&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
    bool owned_ = false;
};

} // namespace

HRESULT RegisterServer(const ServerModule& server, RegistrationScope scope)
{
    const std::wstring path = ModulePath();
    ComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.out())))
        return SELFREG_E_TYPELIB;
    LPOLESTR libPath = const_cast<LPOLESTR>(path.c_str());
    if (FAILED(scope == RegistrationScope::Machine ? RegisterTypeLib(lib.get(), libPath, nullptr)
                                                   : RegisterTypeLibForUser(lib.get(), libPath, nullptr)))
        return SELFREG_E_TYPELIB;

    ClassesRoot root(scope);
    if (!root.get())
        return SELFREG_E_CLASS;
    const std::string modulePath = ToAnsi(path.c_str(), path.size());
    for (size_t i = 0; i < server.count; ++i)
        if (!RegisterClass(root.get(), server.classes[i], *server.libid, modulePath))
            return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterServer(const ServerModule& server, RegistrationScope scope)
{
    if (FAILED(scope == RegistrationScope::Machine
                   ? UnRegisterTypeLib(*server.libid, 1, 0, LOCALE_NEUTRAL, NativeSysKind())
                   : UnRegisterTypeLibForUser(*server.libid, 1, 0, LOCALE_NEUTRAL, NativeSysKind())))
        return SELFREG_E_TYPELIB;
    ClassesRoot root(scope);
    if (!root.get())
        return SELFREG_E_CLASS;
    bool ok = true;
    for (size_t i = 0; i < server.count; ++i)
        ok = UnregisterClass(root.get(), server.classes[i]) && ok;
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT InstallServer(const ServerModule& server, BOOL install, LPCWSTR cmdLine)
{
    RegistrationScope scope = RegistrationScope::Machine;
    if (cmdLine && _wcsicmp(cmdLine, L"user") == 0)
        scope = RegistrationScope::User;
    else if (cmdLine && *cmdLine)
        return E_INVALIDARG;
    return install ? RegisterServer(server, scope) : UnregisterServer(server, scope);
}

} // namespace tavro

// Writes and removes what script hosts and control containers look up under
// HKLM\Software\Classes (machine-wide) or HKCU\Software\Classes (one user),
// with the wide-character API so that any install folder name survives: CLSID,
// ProgIDs, server path and threading model, the control markers, and the
// registered type library.
#include "module/Registration.h"

#include "module/ClassFactory.h"
#include "module/ComUtil.h"
#include "module/Module.h"
#include "module/Trace.h"

#include <olectl.h>

#include <string>

// In oleaut32 since Windows Vista, but not declared by mingw-w64's headers.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* lib, OLECHAR* fullPath, OLECHAR* helpDir);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);

namespace tavro {

namespace {

std::wstring GuidString(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring LoadResourceString(UINT id)
{
    const wchar_t* text = nullptr;
    // Length 0 asks for a read-only pointer into the resource itself.
    int n = LoadStringW(ModuleInstance(), id, reinterpret_cast<wchar_t*>(&text), 0);
    return n > 0 && text ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

// Creates root\key and sets one string value (the default one when name is null).
// The registry calls return their error instead of setting the last error:
// a failure passes it on there, for the trace.
bool Succeeded(LONG rc)
{
    if (rc != ERROR_SUCCESS)
        SetLastError(static_cast<DWORD>(rc));
    return rc == ERROR_SUCCESS;
}

bool SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY h = nullptr;
    if (!Succeeded(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr)))
        return false;
    LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return Succeeded(rc);
}

bool DeleteTree(HKEY root, const std::wstring& key)
{
    LONG rc = RegDeleteTreeW(root, key.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
        rc = RegDeleteKeyW(root, key.c_str());
    return rc == ERROR_FILE_NOT_FOUND || Succeeded(rc);
}

// "TAVRO.MidiIOCtrl.1" -> "TAVRO.MidiIOCtrl"
std::wstring VersionIndependent(const std::wstring& progId)
{
    size_t dot = progId.rfind(L'.');
    return dot == std::wstring::npos ? progId : progId.substr(0, dot);
}

bool RegisterClass(HKEY root, const ServerClass& cls, const GUID& libid, const std::wstring& modulePath)
{
    const std::wstring clsid = GuidString(cls.Clsid());
    const std::wstring key = L"CLSID\\" + clsid;
    const std::wstring typeName = LoadResourceString(cls.typeNameId);
    bool ok = SetValue(root, key, nullptr, typeName) &&
              SetValue(root, key + L"\\InprocServer32", nullptr, modulePath) &&
              SetValue(root, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (!ok || !cls.ProgId())
        return ok; // a property page needs no more

    const std::wstring progId = cls.ProgId();
    const std::wstring indep = VersionIndependent(progId);
    ok = SetValue(root, key + L"\\ProgID", nullptr, progId) &&
         SetValue(root, key + L"\\VersionIndependentProgID", nullptr, indep) &&
         SetValue(root, key + L"\\TypeLib", nullptr, GuidString(libid)) &&
         SetValue(root, key + L"\\Version", nullptr, L"1.0") && SetValue(root, progId, nullptr, typeName) &&
         SetValue(root, progId + L"\\CLSID", nullptr, clsid) && SetValue(root, indep, nullptr, typeName) &&
         SetValue(root, indep + L"\\CLSID", nullptr, clsid) && SetValue(root, indep + L"\\CurVer", nullptr, progId);
    if (!ok || !cls.MiscStatus())
        return ok; // a plain automation object is not a control

    return SetValue(root, key + L"\\Control", nullptr, L"") && SetValue(root, key + L"\\MiscStatus", nullptr, L"0") &&
           SetValue(root, key + L"\\MiscStatus\\1", nullptr, std::to_wstring(cls.MiscStatus())) &&
           SetValue(root, key + L"\\ToolboxBitmap32", nullptr, modulePath + L", " + std::to_wstring(cls.bitmapId));
}

bool UnregisterClass(HKEY root, const ServerClass& cls)
{
    bool ok = DeleteTree(root, L"CLSID\\" + GuidString(cls.Clsid()));
    if (const wchar_t* progId = cls.ProgId()) {
        ok = DeleteTree(root, progId) && ok;
        ok = DeleteTree(root, VersionIndependent(progId)) && ok;
    }
    return ok;
}

const char* ScopeName(RegistrationScope scope)
{
    return scope == RegistrationScope::Machine ? "machine" : "user";
}

SYSKIND NativeSysKind()
{
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

// The root that a scope's keys go under, named explicitly: the merged
// HKEY_CLASSES_ROOT would send machine-wide writes to the user's hive
// wherever an earlier per-user install left a key of the same name.
class ClassesRoot {
public:
    explicit ClassesRoot(RegistrationScope scope)
    {
        HKEY hive = scope == RegistrationScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        if (!Succeeded(
                RegCreateKeyExW(hive, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr)))
            key_ = nullptr;
    }
    ~ClassesRoot()
    {
        if (key_)
            RegCloseKey(key_);
    }
    ClassesRoot(const ClassesRoot&) = delete;
    ClassesRoot& operator=(const ClassesRoot&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

HRESULT RegisterServer(const ServerModule& server, RegistrationScope scope)
{
    const std::wstring path = ModulePath();
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.out());
    if (FAILED(hr)) {
        TAVRO_TRACE("Server", "Register", ScopeName(scope), "cannot load the type library: " + HresultText(hr));
        return SELFREG_E_TYPELIB;
    }
    LPOLESTR libPath = const_cast<LPOLESTR>(path.c_str());
    hr = scope == RegistrationScope::Machine ? RegisterTypeLib(lib.get(), libPath, nullptr)
                                             : RegisterTypeLibForUser(lib.get(), libPath, nullptr);
    if (FAILED(hr)) {
        TAVRO_TRACE("Server", "Register", ScopeName(scope), "cannot register the type library: " + HresultText(hr));
        return SELFREG_E_TYPELIB;
    }

    ClassesRoot root(scope);
    for (size_t i = 0; i < server.count; ++i)
        if (!root.get() || !RegisterClass(root.get(), server.classes[i], *server.libid, path)) {
            TAVRO_TRACE("Server", "Register", ScopeName(scope), "cannot write the class keys: " + LastErrorText());
            return SELFREG_E_CLASS;
        }
    return S_OK;
}

HRESULT UnregisterServer(const ServerModule& server, RegistrationScope scope)
{
    HRESULT hr = scope == RegistrationScope::Machine
                     ? UnRegisterTypeLib(*server.libid, 1, 0, LOCALE_NEUTRAL, NativeSysKind())
                     : UnRegisterTypeLibForUser(*server.libid, 1, 0, LOCALE_NEUTRAL, NativeSysKind());
    if (FAILED(hr)) {
        TAVRO_TRACE("Server", "Unregister", ScopeName(scope), "cannot remove the type library: " + HresultText(hr));
        return SELFREG_E_TYPELIB;
    }
    ClassesRoot root(scope);
    bool ok = root.get() != nullptr;
    for (size_t i = 0; root.get() && i < server.count; ++i)
        ok = UnregisterClass(root.get(), server.classes[i]) && ok;
    if (!ok)
        TAVRO_TRACE("Server", "Unregister", ScopeName(scope), "cannot remove the class keys: " + LastErrorText());
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

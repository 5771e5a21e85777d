// Self-registration of TAVRO.OCX (through regsvr32 and the exports), the
// unload check, and the type library that scripts and containers read.
// Leaves the OCX registered: the script tests depend on it.
#include "midiio/MidiIOCtrl.h"
#include "module/ClassFactory.h"
#include "module/ComUtil.h"
#include "smf/MidiFileCtrl.h"
#include "tools/MidiToolsCtrl.h"
#include "TAVRO_h.h"
#include "tests/wine/test_util.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using tavro::ComPtr;
using wt::OcxPath;

std::string Guid(REFGUID g)
{
    wchar_t text[40];
    StringFromGUID2(g, text, 40);
    return tavro::ToAnsi(text, wcslen(text));
}

// Where the classes are read: HKCR, or one user's or the machine's own part.
HKEY g_root = HKEY_CLASSES_ROOT;

// The default (or named) value of root\key; nullopt-like "\x01" when absent.
const std::string kAbsent = "\x01(absent)";
std::string ReadValue(const std::string& key, const char* name = nullptr)
{
    char data[1024];
    DWORD size = sizeof data;
    if (RegGetValueA(g_root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return kAbsent;
    return data;
}

bool KeyExists(const std::string& key)
{
    HKEY h;
    if (RegOpenKeyExA(g_root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

DWORD RunRegsvr32(const std::wstring& options)
{
    std::wstring cmd = L"regsvr32.exe " + options + L" \"" + OcxPath() + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0xFFFFFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

struct Expected {
    const CLSID* clsid;
    const char* progId; // null for property pages
    const char* typeName;
    const char* miscStatus;
    const char* bitmap;
};

const Expected kClasses[] = {
    {&CLSID_MidiIO, "TAVRO.MidiIOCtrl.1", "MidiIO Control", "131217", "1"},
    {&CLSID_MidiFile, "TAVRO.MidiFileCtrl.1", "MidiFile Control", "131473", "2"},
    {&CLSID_MidiTools, "TAVRO.MidiToolsCtrl.1", "MidiTools Control", "132497", "3"},
    {&CLSID_MidiIOPropPage, nullptr, "MidiIO Property Page", nullptr, nullptr},
    {&CLSID_MidiFilePropPage, nullptr, "MidiFile Property Page", nullptr, nullptr},
    {&CLSID_MidiToolsPropPage, nullptr, "MidiTools Property Page", nullptr, nullptr},
};

void ExpectRegistered()
{
    const std::string ocx = tavro::ToAnsi(OcxPath().c_str(), OcxPath().size());
    for (const Expected& c : kClasses) {
        const std::string key = "CLSID\\" + Guid(*c.clsid);
        SCOPED_TRACE(key + " " + c.typeName);
        EXPECT_EQ(ReadValue(key), c.typeName);
        EXPECT_EQ(lstrcmpiA(ReadValue(key + "\\InprocServer32").c_str(), ocx.c_str()), 0)
            << ReadValue(key + "\\InprocServer32");
        EXPECT_EQ(ReadValue(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
        if (!c.progId) {
            EXPECT_FALSE(KeyExists(key + "\\Control"));
            continue;
        }
        std::string indep = std::string(c.progId).substr(0, std::string(c.progId).rfind('.'));
        EXPECT_EQ(ReadValue(key + "\\ProgID"), c.progId);
        EXPECT_EQ(ReadValue(key + "\\VersionIndependentProgID"), indep);
        EXPECT_TRUE(KeyExists(key + "\\Control"));
        EXPECT_EQ(ReadValue(key + "\\MiscStatus\\1"), c.miscStatus);
        EXPECT_EQ(ReadValue(key + "\\ToolboxBitmap32"), ocx + ", " + c.bitmap);
        EXPECT_EQ(ReadValue(key + "\\TypeLib"), Guid(LIBID_TAVROLib));
        EXPECT_EQ(ReadValue(key + "\\Version"), "1.0");
        EXPECT_EQ(ReadValue(std::string(c.progId) + "\\CLSID"), Guid(*c.clsid));
        EXPECT_EQ(ReadValue(indep + "\\CurVer"), c.progId);
        if (g_root != HKEY_CLASSES_ROOT)
            continue; // Wine's COM reads HKLM\Software\Classes alone
        CLSID fromProgId = {};
        EXPECT_EQ(CLSIDFromProgID(tavro::ToWide(indep).c_str(), &fromProgId), S_OK);
        EXPECT_TRUE(IsEqualCLSID(fromProgId, *c.clsid));
    }
    ComPtr<ITypeLib> lib;
    EXPECT_EQ(LoadRegTypeLib(LIBID_TAVROLib, 1, 0, LOCALE_NEUTRAL, lib.out()), S_OK);
}

void ExpectUnregistered()
{
    for (const Expected& c : kClasses) {
        EXPECT_FALSE(KeyExists("CLSID\\" + Guid(*c.clsid))) << c.typeName;
        if (c.progId) {
            EXPECT_FALSE(KeyExists(c.progId)) << c.progId;
        }
    }
    ComPtr<ITypeLib> lib;
    EXPECT_NE(LoadRegTypeLib(LIBID_TAVROLib, 1, 0, LOCALE_NEUTRAL, lib.out()), S_OK);
}

template <class F>
F Export(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class Server : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        module_ = LoadLibraryW(OcxPath().c_str());
        ASSERT_NE(module_, nullptr);
        reg_ = Export<decltype(reg_)>(module_, "DllRegisterServer");
        unreg_ = Export<decltype(unreg_)>(module_, "DllUnregisterServer");
        canUnload_ = Export<decltype(canUnload_)>(module_, "DllCanUnloadNow");
        getClass_ = Export<decltype(getClass_)>(module_, "DllGetClassObject");
        ASSERT_TRUE(reg_ && unreg_ && canUnload_ && getClass_);
    }
    void TearDown() override
    {
        FreeLibrary(module_);
        CoUninitialize();
    }
    HMODULE module_ = nullptr;
    HRESULT(WINAPI* reg_)() = nullptr;
    HRESULT(WINAPI* unreg_)() = nullptr;
    HRESULT(WINAPI* canUnload_)() = nullptr;
    HRESULT(WINAPI* getClass_)(REFCLSID, REFIID, void**) = nullptr;
};

TEST_F(Server, RegistersTwiceUnregistersAndRegistersAgain)
{
    EXPECT_EQ(RunRegsvr32(L"/s"), 0u);
    EXPECT_EQ(reg_(), S_OK);
    ExpectRegistered();
    EXPECT_EQ(RunRegsvr32(L"/s /u"), 0u);
    ExpectUnregistered();
    // Unregistering what is not registered: the library is missing.
    EXPECT_EQ(unreg_(), SELFREG_E_TYPELIB);
    // Left registered for the tests that create controls by ProgID.
    EXPECT_EQ(reg_(), S_OK);
    ExpectRegistered();
}

// regsvr32 /n /i:user writes every key under HKCU\\Software\\Classes and none
// machine-wide; /u removes it all. (Windows merges the user's classes into
// HKEY_CLASSES_ROOT; Wine 8 does not, so controls are not created here.)
TEST_F(Server, PerUserInstallAndRemoval)
{
    ASSERT_EQ(unreg_(), S_OK);
    HKEY user = nullptr, machine = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr, &user, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes", 0, KEY_READ, &machine), ERROR_SUCCESS);
    EXPECT_EQ(RunRegsvr32(L"/s /n /i:user"), 0u);
    g_root = user;
    ExpectRegistered();
    g_root = machine;
    EXPECT_FALSE(KeyExists("CLSID\\" + Guid(CLSID_MidiTools)));
    EXPECT_FALSE(KeyExists("TAVRO.MidiToolsCtrl.1"));
    g_root = HKEY_CLASSES_ROOT;
    EXPECT_EQ(RunRegsvr32(L"/s /u /n /i:user"), 0u);
    g_root = user;
    ExpectUnregistered();
    g_root = HKEY_CLASSES_ROOT;
    RegCloseKey(user);
    RegCloseKey(machine);
    EXPECT_NE(RunRegsvr32(L"/s /n /i:nonsense"), 0u); // DllInstall refuses other command lines
    EXPECT_EQ(reg_(), S_OK);                          // the other tests need the machine-wide one
}

TEST_F(Server, ClassObjectsAndUnloadCount)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClass_(CLSID_MidiTools, IID_IClassFactory, reinterpret_cast<void**>(factory.out())), S_OK);
    EXPECT_EQ(canUnload_(), S_OK); // static factories do not count

    ComPtr<IDispatch> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(control.out())), S_OK);
    ComPtr<IDispatch> second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(second.out())), S_OK);
    EXPECT_NE(control.get(), second.get()); // a new object per request
    EXPECT_EQ(canUnload_(), S_FALSE);
    control.reset();
    second.reset();
    EXPECT_EQ(canUnload_(), S_OK);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnload_(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnload_(), S_OK);

    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                      reinterpret_cast<void**>(aggregated.out())),
              CLASS_E_NOAGGREGATION);

    const std::pair<const CLSID*, const IID*> others[] = {
        {&CLSID_MidiIO, &IID_IDispatch},
        {&CLSID_MidiFile, &IID_IDispatch},
        {&CLSID_MidiIOPropPage, &IID_IPropertyPage},
        {&CLSID_MidiFilePropPage, &IID_IPropertyPage},
        {&CLSID_MidiToolsPropPage, &IID_IPropertyPage},
    };
    for (const auto& [clsid, iid] : others) {
        ComPtr<IClassFactory> f;
        ASSERT_EQ(getClass_(*clsid, IID_IClassFactory, reinterpret_cast<void**>(f.out())), S_OK);
        ComPtr<IUnknown> object;
        EXPECT_EQ(f->CreateInstance(nullptr, *iid, reinterpret_cast<void**>(object.out())), S_OK) << Guid(*clsid);
    }
    ComPtr<IClassFactory> none;
    EXPECT_EQ(getClass_(LIBID_TAVROLib, IID_IClassFactory, reinterpret_cast<void**>(none.out())),
              CLASS_E_CLASSNOTAVAILABLE);
}

// ---- The type library ----------------------------------------------------

ComPtr<ITypeInfo> InfoOf(ITypeLib* lib, REFGUID guid)
{
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(guid, info.out()), S_OK) << Guid(guid);
    return info;
}

// Every row of every dispatch table names the type library's member with
// that DISPID, with its parameter count and a matching result type; every
// member of the library has its row.
TEST(TypeLibrary, DispatchTablesAgreeWithTheLibrary)
{
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(OcxPath().c_str(), REGKIND_NONE, lib.out()), S_OK);
    for (const tavro::ControlClass* cls : {&CMidiIOCtrl::kClass, &CMidiFileCtrl::kClass, &CMidiToolsCtrl::kClass}) {
        ComPtr<ITypeInfo> info = InfoOf(lib.get(), *cls->dispatchIid);
        ASSERT_TRUE(info);
        DISPID previous = 0;
        for (size_t i = 0; i < cls->dispatch.count; ++i) {
            const tavro::DispatchEntry& e = cls->dispatch.entries[i];
            std::string name = tavro::ToAnsi(e.name, wcslen(e.name));
            SCOPED_TRACE(name);
            if (e.dispid > 0) {
                EXPECT_GT(e.dispid, previous) << "rows in DISPID order";
                previous = e.dispid;
            }
            LPOLESTR names[] = {const_cast<LPOLESTR>(e.name)};
            DISPID id = 0;
            ASSERT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK);
            EXPECT_EQ(id, e.dispid);

            TYPEATTR* ta = nullptr;
            ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
            bool found = false;
            for (UINT f = 0; f < ta->cFuncs; ++f) {
                FUNCDESC* fd = nullptr;
                ASSERT_EQ(info->GetFuncDesc(f, &fd), S_OK);
                if (fd->memid == e.dispid) {
                    found = true;
                    EXPECT_EQ(static_cast<UINT>(fd->cParams), e.argCount);
                    VARTYPE declared = fd->elemdescFunc.tdesc.vt;
                    // BOOL is declared long; FileWrite and FileAppend return
                    // a boolean that the library does not declare at all.
                    const bool undeclared = name == "FileWrite" || name == "FileAppend";
                    VARTYPE expected = e.resultType == VT_EMPTY || undeclared ? VARTYPE(VT_VOID)
                                       : e.resultType == VT_BOOL              ? VARTYPE(VT_I4)
                                                                              : e.resultType;
                    EXPECT_EQ(declared, expected);
                }
                info->ReleaseFuncDesc(fd);
            }
            info->ReleaseTypeAttr(ta);
            EXPECT_TRUE(found);
        }
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
        for (UINT f = 0; f < ta->cFuncs; ++f) {
            FUNCDESC* fd = nullptr;
            ASSERT_EQ(info->GetFuncDesc(f, &fd), S_OK);
            EXPECT_NE(cls->dispatch.Find(fd->memid), nullptr) << "no row for DISPID " << fd->memid;
            info->ReleaseFuncDesc(fd);
        }
        info->ReleaseTypeAttr(ta);
    }
}

// Every member of every interface has a help string that names each of its
// parameters, and docs/reference.md holds it under the member's heading.
TEST(TypeLibrary, HelpStringsAreInTheReference)
{
    std::ifstream file(TAVRO_REFERENCE_MD, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const std::string reference = text.str();
    ASSERT_FALSE(reference.empty()) << TAVRO_REFERENCE_MD;
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(OcxPath().c_str(), REGKIND_NONE, lib.out()), S_OK);
    for (const GUID* iid : {&DIID__DMidiIO, &DIID__DMidiIOEvents, &DIID__DMidiFile, &DIID__DMidiTools}) {
        ComPtr<ITypeInfo> info = InfoOf(lib.get(), *iid);
        ASSERT_TRUE(info);
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
        for (UINT f = 0; f < ta->cFuncs; ++f) {
            FUNCDESC* fd = nullptr;
            ASSERT_EQ(info->GetFuncDesc(f, &fd), S_OK);
            BSTR names[8] = {};
            UINT count = 0;
            info->GetNames(fd->memid, names, 8, &count);
            tavro::Bstr doc;
            info->GetDocumentation(fd->memid, nullptr, doc.out(), nullptr, nullptr);
            const std::string name = tavro::ToAnsi(names[0]), help = tavro::ToAnsi(doc.get());
            EXPECT_GT(help.size(), 20u) << name;
            EXPECT_NE(reference.find("# " + name + "\n"), std::string::npos) << name;
            EXPECT_NE(reference.find("\n" + help + "\n"), std::string::npos) << name;
            for (UINT i = 1; i < count; ++i)
                EXPECT_NE(help.find(tavro::ToAnsi(names[i])), std::string::npos) << name << " " << i;
            for (UINT i = 0; i < count; ++i)
                SysFreeString(names[i]);
            info->ReleaseFuncDesc(fd);
        }
        info->ReleaseTypeAttr(ta);
    }
}

} // namespace

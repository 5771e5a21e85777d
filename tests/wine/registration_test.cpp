// Self-registration of TAVRO.OCX (through regsvr32 and the exports), the
// unload check, and the type library that scripts and containers read.
// Leaves the OCX registered: the script tests depend on it.
#include "midiio/MidiIOCtrl.h"
#include "module/ClassFactory.h"
#include "module/ComUtil.h"
#include "smf/MidiFileCtrl.h"
#include "tools/MidiToolsCtrl.h"
#include "TAVRO_h.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include <string>

namespace {

using tavro::ComPtr;

std::wstring OcxPath()
{
    // The OCX is built next to the test programs.
    std::wstring path = tavro::ModulePath();
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"TAVRO.OCX";
}

std::string Guid(REFGUID g)
{
    wchar_t text[40];
    StringFromGUID2(g, text, 40);
    return tavro::ToAnsi(text, wcslen(text));
}

// The default (or named) value of HKCR\key; nullopt-like "\x01" when absent.
const std::string kAbsent = "\x01(absent)";
std::string ReadValue(const std::string& key, const char* name = nullptr)
{
    char data[1024];
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return kAbsent;
    return data;
}

bool KeyExists(const std::string& key)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
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

TEST_F(Server, Regsvr32RegistersTwiceAndUnregistersEverything)
{
    EXPECT_EQ(RunRegsvr32(L"/s"), 0u);
    EXPECT_EQ(RunRegsvr32(L"/s"), 0u);
    ExpectRegistered();
    EXPECT_EQ(RunRegsvr32(L"/s /u"), 0u);
    ExpectUnregistered();
}

TEST_F(Server, ExportsRegisterTwiceUnregisterAndRegisterAgain)
{
    EXPECT_EQ(reg_(), S_OK);
    EXPECT_EQ(reg_(), S_OK);
    ExpectRegistered();
    EXPECT_EQ(unreg_(), S_OK);
    ExpectUnregistered();
    // Unregistering what is not registered: the library is missing.
    EXPECT_EQ(unreg_(), SELFREG_E_TYPELIB);
    // Left registered for the tests that create controls by ProgID.
    EXPECT_EQ(reg_(), S_OK);
    ExpectRegistered();
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

    for (const CLSID* clsid : {&CLSID_MidiIO, &CLSID_MidiFile}) {
        ComPtr<IClassFactory> f;
        ASSERT_EQ(getClass_(*clsid, IID_IClassFactory, reinterpret_cast<void**>(f.out())), S_OK);
        ComPtr<IDispatch> d;
        EXPECT_EQ(f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(d.out())), S_OK);
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

struct TypeShape {
    const GUID* guid;
    const char* name;
    const char* doc;
    TYPEKIND kind;
    WORD flags;
    int funcs;
};

TEST(TypeLibrary, IdentityAndShapeOfEveryType)
{
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(OcxPath().c_str(), REGKIND_NONE, lib.out()), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_TAVROLib));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(attr);
    tavro::Bstr name, doc, help;
    ASSERT_EQ(lib->GetDocumentation(-1, name.out(), doc.out(), nullptr, help.out()), S_OK);
    EXPECT_EQ(tavro::ToAnsi(name.get()), "TAVROLib");
    EXPECT_EQ(tavro::ToAnsi(doc.get()), "TAVRO ActiveX Control module");
    EXPECT_NE(tavro::ToAnsi(help.get()).find("TAVRO.hlp"), std::string::npos);

    const WORD dispatchFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE;
    const WORD coclassFlags = TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL;
    const TypeShape shapes[] = {
        {&DIID__DMidiIO, "_DMidiIO", "Dispatch interface for MidiIO Control", TKIND_DISPATCH, dispatchFlags, 29},
        {&DIID__DMidiIOEvents, "_DMidiIOEvents", "Event interface for MidiIO Control", TKIND_DISPATCH,
         TYPEFLAG_FDISPATCHABLE, 2},
        {&CLSID_MidiIO, "MidiIO", "MidiIO Control", TKIND_COCLASS, coclassFlags, 0},
        {&DIID__DMidiFile, "_DMidiFile", "Dispatch interface for MidiFile Control", TKIND_DISPATCH, dispatchFlags, 5},
        {&DIID__DMidiFileEvents, "_DMidiFileEvents", "Event interface for MidiFile Control", TKIND_DISPATCH,
         TYPEFLAG_FDISPATCHABLE, 0},
        {&CLSID_MidiFile, "MidiFile", "MidiFile Control", TKIND_COCLASS, coclassFlags, 0},
        {&DIID__DMidiTools, "_DMidiTools", "Dispatch interface for MidiTools Control", TKIND_DISPATCH,
         dispatchFlags, 74},
        {&DIID__DMidiToolsEvents, "_DMidiToolsEvents", "Event interface for MidiTools Control", TKIND_DISPATCH,
         TYPEFLAG_FDISPATCHABLE, 0},
        {&CLSID_MidiTools, "MidiTools", "MidiTools Control", TKIND_COCLASS, coclassFlags, 0},
    };
    EXPECT_EQ(lib->GetTypeInfoCount(), sizeof shapes / sizeof shapes[0]);
    for (const TypeShape& s : shapes) {
        SCOPED_TRACE(s.name);
        ComPtr<ITypeInfo> info = InfoOf(lib.get(), *s.guid);
        ASSERT_TRUE(info);
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, s.kind);
        EXPECT_EQ(ta->wTypeFlags & (dispatchFlags | coclassFlags), s.flags);
        EXPECT_EQ(ta->cFuncs, s.funcs);
        info->ReleaseTypeAttr(ta);
        tavro::Bstr tname, tdoc;
        ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, tname.out(), tdoc.out(), nullptr, nullptr), S_OK);
        EXPECT_EQ(tavro::ToAnsi(tname.get()), s.name);
        EXPECT_EQ(tavro::ToAnsi(tdoc.get()), s.doc);
    }
}

// Every row of every dispatch table names the type library's member with
// that DISPID, with its parameter count and a matching result type.
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
    }
    // MidiTools binds every member of the library but AboutBox.
    ComPtr<ITypeInfo> tools = InfoOf(lib.get(), DIID__DMidiTools);
    ASSERT_TRUE(tools);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(tools->GetTypeAttr(&ta), S_OK);
    for (UINT f = 0; f < ta->cFuncs; ++f) {
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(tools->GetFuncDesc(f, &fd), S_OK);
        EXPECT_TRUE(fd->memid == DISPID_ABOUTBOX || CMidiToolsCtrl::kClass.dispatch.Find(fd->memid))
            << "no dispatch row for DISPID " << fd->memid;
        tools->ReleaseFuncDesc(fd);
    }
    tools->ReleaseTypeAttr(ta);
}

} // namespace

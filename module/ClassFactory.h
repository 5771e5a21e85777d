// A server's creatable classes, their class factories and the exports that
// serve them; the OCX and the test event server each pass their own list.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace tavro {

struct ControlClass;

// One creatable class: what DllGetClassObject serves and what registration
// writes. A control takes its CLSID, ProgID and misc status from its
// ControlClass; a property page has only a CLSID.
struct ServerClass {
    const ControlClass* control; // null for a property page
    const CLSID* pageClsid;      // the page's CLSID; null for a control
    UINT typeNameId;             // string resource with the user type name
    UINT bitmapId;               // toolbox bitmap resource, 0 for none
    // Makes a new object with one reference; null when the class cannot be
    // created by this build.
    IUnknown* (*create)();

    const CLSID& Clsid() const;
    const wchar_t* ProgId() const; // null for a page
    DWORD MiscStatus() const;      // 0 for a page or a plain automation object
};

// Everything a server registers: its classes in registration order and the
// library embedded as its resource TYPELIB 1.
struct ServerModule {
    const ServerClass* classes;
    size_t count;
    const GUID* libid;
};

// The bodies of DllGetClassObject and DllCanUnloadNow for a server.
HRESULT ServerGetClassObject(const ServerModule& server, REFCLSID clsid, REFIID riid, void** ppv);
HRESULT ServerCanUnloadNow();

// A class factory with static lifetime: each CreateInstance makes a new
// object with `create`; the server lock, not its references, keeps the
// module loaded.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(IUnknown* (*create)()) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    IUnknown* (*create_)();
};

} // namespace tavro

// The module's creatable classes and their class factories.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace tavro {

// One creatable class: what DllGetClassObject serves and what registration
// writes. Controls have a ProgID, a bitmap and misc status; property pages don't.
struct ServerClass {
    const CLSID* clsid;
    const char* progId;         // null for property pages
    UINT typeNameId;            // string resource with the user type name
    UINT bitmapId;              // toolbox bitmap resource, 0 for pages
    DWORD miscStatus;           // 0 for pages
    // Makes a new object with one reference; null when the class cannot be
    // created by this build.
    IUnknown* (*create)();
};

// The six classes of the module, in registration order.
const ServerClass* ServerClasses(size_t* count);
const ServerClass* FindServerClass(REFCLSID clsid);

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

// The factory of one of the module's classes.
HRESULT GetClassFactory(const ServerClass& cls, REFIID riid, void** ppv);

} // namespace tavro

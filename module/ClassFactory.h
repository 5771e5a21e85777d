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

// Static factory of one class; each CreateInstance makes a new object.
HRESULT GetClassFactory(const ServerClass& cls, REFIID riid, void** ppv);

} // namespace tavro

// Self-registration: the classes' registry entries and the type library.
#pragma once

#include "module/ClassFactory.h"

namespace tavro {

// Registers the type library from the module's own resource, then every
// class. Returns S_OK, SELFREG_E_TYPELIB or SELFREG_E_CLASS.
HRESULT RegisterServer(const ServerModule& server);
// Removes the type library, then every class; same result codes.
HRESULT UnregisterServer(const ServerModule& server);

} // namespace tavro

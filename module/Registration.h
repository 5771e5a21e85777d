// Self-registration: the classes' registry entries and the type library.
#pragma once

#include "module/ClassFactory.h"

namespace tavro {

// Machine: HKLM\Software\Classes (needs administrator rights); User: the
// current user's HKCU\Software\Classes, which needs none.
enum class RegistrationScope { Machine, User };

// Registers the type library from the module's own resource, then every
// class. Returns S_OK, SELFREG_E_TYPELIB or SELFREG_E_CLASS.
HRESULT RegisterServer(const ServerModule& server, RegistrationScope scope = RegistrationScope::Machine);
// Removes the type library, then every class; same result codes.
HRESULT UnregisterServer(const ServerModule& server, RegistrationScope scope = RegistrationScope::Machine);
// DllInstall: the command line "user" (regsvr32 /n /i:user) registers or
// removes per user; an empty one machine-wide; anything else is E_INVALIDARG.
HRESULT InstallServer(const ServerModule& server, BOOL install, LPCWSTR cmdLine);

} // namespace tavro

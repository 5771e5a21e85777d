// Module-wide state: the module handle, the object and lock count that
// DllCanUnloadNow reads, and the type library cache.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace tavro {

// The module the framework is linked into (the OCX, or a test program).
HINSTANCE ModuleInstance();
std::wstring ModulePath();

// Live objects and server locks; the module may unload only at zero.
void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

// The type library embedded as resource TYPELIB 1 of this module, loaded
// once and shared by every control.
HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out);
HRESULT LoadModuleTypeLib(ITypeLib** out);
// Drops the cached library; called when the module is about to unload.
void ReleaseTypeLibCache();

} // namespace tavro

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

// Marks module code that runs on a thread holding no object reference: a
// timer tick, a winmm callback, a reader thread. The module may not unload
// while one runs, nor for a short grace after the last has left, which
// covers the instructions that return to the system and a tick the system
// had already picked when its timer was killed.
class ModuleCodeScope {
public:
    ModuleCodeScope();
    ~ModuleCodeScope();
    ModuleCodeScope(const ModuleCodeScope&) = delete;
    ModuleCodeScope& operator=(const ModuleCodeScope&) = delete;
};
constexpr DWORD kUnloadGraceMs = 250;
bool ModuleCodeRunning();

// The type library embedded as resource TYPELIB 1 of this module, loaded
// once and shared by every control.
HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out);
HRESULT LoadModuleTypeLib(ITypeLib** out);
// Drops the cached library; called when the module is about to unload.
void ReleaseTypeLibCache();

} // namespace tavro

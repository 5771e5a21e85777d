// Module handle, object counting and the type library cache.
#include "module/Module.h"

#include "module/ComUtil.h"

#include <mutex>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tavro {

namespace {
LONG g_moduleRefs = 0;
LONG g_codeRunning = 0;
// GetTickCount64 when the last scope left; read and written atomically.
LONGLONG g_lastLeft = 0;
std::mutex g_typeLibMutex;
ITypeLib* g_typeLib = nullptr;
} // namespace

HINSTANCE ModuleInstance()
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

std::wstring ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(ModuleInstance(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void ModuleAddRef()
{
    InterlockedIncrement(&g_moduleRefs);
}

void ModuleRelease()
{
    InterlockedDecrement(&g_moduleRefs);
}

bool ModuleInUse()
{
    return InterlockedCompareExchange(&g_moduleRefs, 0, 0) != 0;
}

ModuleCodeScope::ModuleCodeScope()
{
    InterlockedIncrement(&g_codeRunning);
}

ModuleCodeScope::~ModuleCodeScope()
{
    // Stamped before the count drops, so a reader that sees zero sees the stamp.
    InterlockedExchange64(&g_lastLeft, static_cast<LONGLONG>(GetTickCount64()));
    InterlockedDecrement(&g_codeRunning);
}

bool ModuleCodeRunning()
{
    if (InterlockedCompareExchange(&g_codeRunning, 0, 0) != 0)
        return true;
    const LONGLONG left = InterlockedCompareExchange64(&g_lastLeft, 0, 0);
    return left != 0 && static_cast<LONGLONG>(GetTickCount64()) - left < static_cast<LONGLONG>(kUnloadGraceMs);
}

HRESULT LoadModuleTypeLib(ITypeLib** out)
{
    *out = nullptr;
    std::lock_guard<std::mutex> lock(g_typeLibMutex);
    if (!g_typeLib) {
        // The module's own resource: always the library this code was built with.
        HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &g_typeLib);
        if (FAILED(hr))
            return hr;
    }
    g_typeLib->AddRef();
    *out = g_typeLib;
    return S_OK;
}

HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out)
{
    *out = nullptr;
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadModuleTypeLib(lib.out());
    if (FAILED(hr))
        return hr;
    return lib->GetTypeInfoOfGuid(guid, out);
}

void ReleaseTypeLibCache()
{
    std::lock_guard<std::mutex> lock(g_typeLibMutex);
    if (g_typeLib) {
        g_typeLib->Release();
        g_typeLib = nullptr;
    }
}

} // namespace tavro

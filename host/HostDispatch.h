// Small helpers shared by the host's script objects: name tables for
// GetIDsOfNames, argument access and dispatch exceptions.
#pragma once

#include "module/ComUtil.h"

#include <oaidl.h>

namespace tavro::host {

struct MemberName {
    DISPID id;
    const wchar_t* name;
};

// Resolves names case-insensitively (VBScript ignores case; JScript callers
// use the exact names).
template <size_t N>
HRESULT IdsOfNames(const MemberName (&table)[N], LPOLESTR* names, UINT count, DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (i == 0) {
            for (const MemberName& m : table)
                if (names[0] && _wcsicmp(names[0], m.name) == 0)
                    ids[0] = m.id;
        }
        if (ids[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME; // named arguments are not supported
    }
    return hr;
}

// Argument `index` counted from the first one the script wrote (rgvarg holds
// them last to first), behind any by-reference indirection; null if absent.
VARIANT* ArgAt(DISPPARAMS* params, UINT index);

// Fills EXCEPINFO so the script sees `scode` as its error number and
// returns DISP_E_EXCEPTION.
HRESULT RaiseError(EXCEPINFO* excep, HRESULT scode, const std::wstring& description);

} // namespace tavro::host

// Argument coercion and result conversion for the dispatch tables.
#include "module/Dispatch.h"

namespace tavro {

const DispatchEntry* DispatchTable::Find(DISPID dispid) const
{
    for (size_t i = 0; i < count; ++i)
        if (entries[i].dispid == dispid)
            return &entries[i];
    return nullptr;
}

namespace dispatch_detail {

VARIANT* Deref(VARIANT* v)
{
    // VBScript passes variables as VT_BYREF|VT_VARIANT; a chain is possible.
    for (int depth = 0; v && v->vt == (VT_BYREF | VT_VARIANT) && depth < 8; ++depth)
        v = v->pvarVal;
    return v;
}

HRESULT Coerce(VARIANT* arg, VARTYPE vt, Variant& out)
{
    VARIANT* v = Deref(arg);
    if (!v)
        return DISP_E_TYPEMISMATCH;
    HRESULT hr = VariantChangeType(out.get(), v, 0, vt);
    if (FAILED(hr) && hr != DISP_E_OVERFLOW)
        hr = DISP_E_TYPEMISMATCH;
    return hr;
}

HRESULT SetLong(VARIANT* out, long value)
{
    out->vt = VT_I4;
    out->lVal = value;
    return S_OK;
}

HRESULT SetBool(VARIANT* out, bool value)
{
    out->vt = VT_BOOL;
    out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT SetString(VARIANT* out, BSTR owned)
{
    if (!owned && !(owned = SysAllocString(L"")))
        return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = owned;
    return S_OK;
}

HRESULT SetString(VARIANT* out, const std::string& value)
{
    BSTR s = ToBstr(value);
    return s ? SetString(out, s) : E_OUTOFMEMORY;
}

} // namespace dispatch_detail
} // namespace tavro

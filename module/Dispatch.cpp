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

HRESULT ChangeType(VARIANT* out, VARIANT* in, VARTYPE vt)
{
    // An object converts through its default value. VariantChangeType would
    // follow default values without end (an object can return itself), so
    // they are taken here, a bounded number of steps.
    constexpr int kMaxDefaultValueSteps = 8;
    Variant value;
    VARIANT* v = in;
    for (int step = 0;; ++step) {
        IDispatch* object = v->vt == VT_DISPATCH                                ? v->pdispVal
                            : v->vt == (VT_BYREF | VT_DISPATCH) && v->ppdispVal ? *v->ppdispVal
                                                                                : nullptr;
        if (!object)
            break;
        if (step == kMaxDefaultValueSteps)
            return DISP_E_TYPEMISMATCH;
        DISPPARAMS none = {};
        Variant next;
        if (FAILED(object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                                  &none, next.get(), nullptr, nullptr)))
            return DISP_E_TYPEMISMATCH;
        VariantClear(value.get());
        *value.get() = next.release();
        v = value.get();
    }
    return VariantChangeType(out, v, 0, vt);
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
    HRESULT hr = ChangeType(out.get(), v, vt);
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

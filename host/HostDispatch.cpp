// Argument access and dispatch exceptions for the host's script objects.
#include "host/HostDispatch.h"

namespace tavro::host {

VARIANT* ArgAt(DISPPARAMS* params, UINT index)
{
    if (!params || index >= params->cArgs)
        return nullptr;
    VARIANT* v = &params->rgvarg[params->cArgs - 1 - index];
    for (int depth = 0; v && v->vt == (VT_BYREF | VT_VARIANT) && depth < 8; ++depth)
        v = v->pvarVal;
    return v;
}

HRESULT RaiseError(EXCEPINFO* excep, HRESULT scode, const std::wstring& description)
{
    if (excep) {
        ZeroMemory(excep, sizeof(*excep));
        excep->bstrSource = SysAllocString(L"WScript");
        excep->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
        excep->scode = scode;
    }
    return DISP_E_EXCEPTION;
}

} // namespace tavro::host

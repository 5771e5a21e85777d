// Dispatch, class info and connection point container of every control,
// its default drawing and what the OLE concerns share.
#include "module/ControlBase.h"

#include <olectl.h>

#include <new>

namespace tavro {

namespace {

// Script engines read the error code from scode; wCode must stay 0 for
// VBScript to show it as Err.Number (0x800A0000 | code is its own facility).
void FillException(EXCEPINFO* excep, const wchar_t* source, const DispatchException& e)
{
    if (!excep)
        return;
    ZeroMemory(excep, sizeof(*excep));
    excep->bstrSource = SysAllocString(source);
    excep->bstrDescription = ToBstr(e.description);
    excep->dwHelpContext = 0;
    excep->scode = static_cast<SCODE>(0x800A0000u | e.code);
}

} // namespace

ControlBase::ControlBase(const ControlClass& cls)
    : class_(cls), events_(static_cast<IConnectionPointContainer*>(this), *cls.eventIid)
{}

ControlBase::~ControlBase() = default;

void ControlBase::FireEvent(DISPID dispid, DISPPARAMS* params)
{
    if (!EventsFrozen())
        events_.Fire(dispid, params);
}

void ControlBase::OnDraw(HDC dc, const RECT& bounds)
{
    FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

bool ControlBase::HiddenNow()
{
    return (class_.miscStatus & OLEMISC_INVISIBLEATRUNTIME) && UserMode();
}

void ControlBase::Redraw()
{
    Invalidate();
    NotifyViewChange();
}

STDMETHODIMP ControlBase::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP ControlBase::GetTypeInfo(UINT index, LCID, ITypeInfo** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return GetTypeInfoOfGuid(*class_.dispatchIid, out);
}

STDMETHODIMP ControlBase::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    ComPtr<ITypeInfo> info;
    HRESULT hr = GetTypeInfoOfGuid(*class_.dispatchIid, info.out());
    if (FAILED(hr))
        return hr;
    return info->GetIDsOfNames(names, count, ids);
}

STDMETHODIMP ControlBase::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excep, UINT* argErr)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    const DispatchEntry* entry = class_.dispatch.Find(dispid);
    if (!entry || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
        return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (!params)
        params = &none;
    if (params->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    if (params->cArgs != entry->argCount)
        return DISP_E_BADPARAMCOUNT;

    Variant scratch;
    if (result)
        VariantInit(result);
    else
        result = scratch.get();

    // No C++ exception crosses this line.
    try {
        return entry->invoke(this, params, result, argErr);
    } catch (const DispatchException& e) {
        VariantClear(result);
        FillException(excep, class_.progId, e);
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        VariantClear(result);
        return E_OUTOFMEMORY;
    } catch (...) {
        VariantClear(result);
        FillException(excep, class_.progId, DispatchException{0xFFFF, "Unexpected error"});
        return DISP_E_EXCEPTION;
    }
}

STDMETHODIMP ControlBase::GetClassInfo(ITypeInfo** out)
{
    if (!out)
        return E_POINTER;
    return GetTypeInfoOfGuid(*class_.clsid, out);
}

STDMETHODIMP ControlBase::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = *class_.eventIid;
    return S_OK;
}

STDMETHODIMP ControlBase::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    return CreateConnectionPointEnum(&events_, out);
}

STDMETHODIMP ControlBase::FindConnectionPoint(REFIID riid, IConnectionPoint** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, *class_.eventIid))
        return CONNECT_E_NOCONNECTION;
    *out = &events_;
    events_.AddRef();
    return S_OK;
}

} // namespace tavro

// IOleObject, IOleControl and IQuickActivate of every control.
#include "module/OleEmbedding.h"

#include "module/ControlBase.h"

#include <olectl.h>

namespace tavro {

ControlBase& OleEmbedding::Control()
{
    return static_cast<ControlBase&>(*this);
}

OleEmbedding::~OleEmbedding() = default;

bool OleEmbedding::UserMode() const
{
    ComPtr<IDispatch> ambient;
    if (!site_ || FAILED(site_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ambient.out()))))
        return true;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    Variant value;
    if (FAILED(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                               value.get(), nullptr, nullptr)) ||
        FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BOOL)))
        return true;
    return value->boolVal != VARIANT_FALSE;
}

void OleEmbedding::ChangeExtent(SIZEL size)
{
    if (size.cx == extent_.cx && size.cy == extent_.cy)
        return;
    extent_ = size;
    Control().SetDirty();
    Control().Redraw();
}

// ---- IOleObject ----------------------------------------------------------

STDMETHODIMP OleEmbedding::SetClientSite(IOleClientSite* site)
{
    // A site taken away ends any activation in it first.
    if (!site)
        Control().InPlaceDeactivate();
    site_ = site;
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = site_.get();
    if (*site)
        (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP OleEmbedding::Close(DWORD saveOption)
{
    Control().InPlaceDeactivate();
    if (site_ && saveOption != OLECLOSE_NOSAVE && Control().IsDirty() == S_OK)
        site_->SaveObject();
    if (adviseHolder_)
        adviseHolder_->SendOnClose();
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::GetClipboardData(DWORD, IDataObject** data)
{
    if (data)
        *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent, LPCRECT pos)
{
    IOleClientSite* site = site_ ? site_.get() : activeSite;
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_OPEN:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_INPLACEACTIVATE: {
        if (!site)
            return E_UNEXPECTED;
        HRESULT hr = Control().ActivateInPlace(site, pos, verb != OLEIVERB_INPLACEACTIVATE);
        if (SUCCEEDED(hr))
            site->ShowObject();
        return hr;
    }
    case OLEIVERB_HIDE:
        return Control().InPlaceDeactivate();
    case OLEIVERB_PROPERTIES:
        return Control().ShowProperties(parent ? parent : Control().ContainerWindow());
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default:
        return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

STDMETHODIMP OleEmbedding::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (verbs)
        *verbs = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP OleEmbedding::Update()
{
    return S_OK;
}

STDMETHODIMP OleEmbedding::IsUpToDate()
{
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetUserClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = *Control().Class().clsid;
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetUserType(DWORD form, LPOLESTR* type)
{
    // The registered type name is the class's string resource.
    return OleRegGetUserType(*Control().Class().clsid, form, type);
}

STDMETHODIMP OleEmbedding::SetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (size->cx < 0 || size->cy < 0)
        return E_INVALIDARG;
    ChangeExtent(*size);
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP OleEmbedding::Advise(IAdviseSink* sink, DWORD* cookie)
{
    if (!adviseHolder_) {
        HRESULT hr = CreateOleAdviseHolder(adviseHolder_.out());
        if (FAILED(hr))
            return hr;
    }
    return adviseHolder_->Advise(sink, cookie);
}

STDMETHODIMP OleEmbedding::Unadvise(DWORD cookie)
{
    return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP OleEmbedding::EnumAdvise(IEnumSTATDATA** advise)
{
    if (!advise)
        return E_POINTER;
    *advise = nullptr;
    return adviseHolder_ ? adviseHolder_->EnumAdvise(advise) : S_OK;
}

STDMETHODIMP OleEmbedding::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = Control().Class().miscStatus;
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

// ---- IOleControl ---------------------------------------------------------

STDMETHODIMP OleEmbedding::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    if (info->cb < sizeof(CONTROLINFO))
        return E_INVALIDARG;
    info->hAccel = nullptr; // no mnemonics
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP OleEmbedding::OnMnemonic(MSG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::OnAmbientPropertyChange(DISPID dispid)
{
    // Switching between design and run time shows or hides a control that
    // is invisible at run time.
    if (dispid == DISPID_AMBIENT_USERMODE || dispid == DISPID_UNKNOWN)
        Control().Redraw();
    return S_OK;
}

STDMETHODIMP OleEmbedding::FreezeEvents(BOOL freeze)
{
    if (freeze)
        ++freezeCount_;
    else if (freezeCount_ > 0)
        --freezeCount_;
    return S_OK;
}

// ---- IQuickActivate ------------------------------------------------------

STDMETHODIMP OleEmbedding::QuickActivate(QACONTAINER* container, QACONTROL* control)
{
    if (!container || !control)
        return E_POINTER;
    // Older containers pass a shorter QACONTAINER; the fields used here are
    // in every version.
    if (container->cbSize < offsetof(QACONTAINER, pUndoMgr) || control->cbSize < sizeof(QACONTROL))
        return E_INVALIDARG;
    SetClientSite(container->pClientSite);
    if (container->pAdviseSink)
        Control().SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    control->dwEventCookie = 0;
    if (container->pUnkEventSink)
        Control().Events().Advise(container->pUnkEventSink, &control->dwEventCookie);
    control->dwMiscStatus = Control().Class().miscStatus;
    Control().GetViewStatus(&control->dwViewStatus);
    control->dwPropNotifyCookie = 0;
    control->dwPointerActivationPolicy = 0;
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetContentExtent(SIZEL* size)
{
    return SetExtent(DVASPECT_CONTENT, size);
}

STDMETHODIMP OleEmbedding::GetContentExtent(SIZEL* size)
{
    return GetExtent(DVASPECT_CONTENT, size);
}

} // namespace tavro

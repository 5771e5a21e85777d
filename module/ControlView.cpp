// IViewObjectEx of every control: drawing, hit tests and the view's sink.
#include "module/ControlView.h"

#include "module/ControlBase.h"

namespace tavro {

namespace {

bool DrawnAspect(DWORD aspect)
{
    return aspect == DVASPECT_CONTENT || aspect == DVASPECT_OPAQUE || aspect == DVASPECT_TRANSPARENT;
}

} // namespace

ControlBase& ControlView::Control()
{
    return static_cast<ControlBase&>(*this);
}

ControlView::~ControlView() = default;

void ControlView::NotifyViewChange()
{
    if (!sink_ || !(sinkAspects_ & DVASPECT_CONTENT))
        return;
    ComPtr<IAdviseSink> sink = sink_;
    if (sinkFlags_ & ADVF_ONLYONCE)
        sink_.reset();
    sink->OnViewChange(DVASPECT_CONTENT, -1);
}

STDMETHODIMP ControlView::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                               BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (!DrawnAspect(aspect))
        return DV_E_DVASPECT;
    if (!dc)
        return E_INVALIDARG;
    RECT rect;
    if (bounds)
        rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    else if (Control().IsWindowless())
        rect = Control().PositionRect(); // a windowless object draws where it sits
    else
        return E_INVALIDARG;
    // Every control draws when asked, MidiTools at run time too: a container
    // that honours "invisible at run time" does not ask.
    Control().OnDraw(dc, rect);
    return S_OK;
}

STDMETHODIMP ControlView::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors)
{
    if (!colors)
        return E_POINTER;
    *colors = nullptr;
    return S_FALSE; // no palette of its own
}

STDMETHODIMP ControlView::Freeze(DWORD, LONG, void*, DWORD* cookie)
{
    if (cookie)
        *cookie = 0;
    return E_NOTIMPL;
}

STDMETHODIMP ControlView::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP ControlView::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    sink_ = sink;
    sinkAspects_ = aspects;
    sinkFlags_ = flags;
    if (sink && (flags & ADVF_PRIMEFIRST))
        NotifyViewChange();
    return S_OK;
}

STDMETHODIMP ControlView::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = sinkAspects_;
    if (flags)
        *flags = sinkFlags_;
    if (sink) {
        *sink = sink_.get();
        if (*sink)
            (*sink)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP ControlView::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    if (!size)
        return E_POINTER;
    if (!DrawnAspect(aspect))
        return DV_E_DVASPECT;
    *size = Control().Extent();
    return S_OK;
}

STDMETHODIMP ControlView::GetRect(DWORD aspect, LPRECTL rect)
{
    if (!rect)
        return E_POINTER;
    if (!DrawnAspect(aspect))
        return DV_E_DVASPECT;
    const SIZEL extent = Control().Extent();
    *rect = {0, 0, extent.cx, extent.cy};
    return S_OK;
}

STDMETHODIMP ControlView::GetViewStatus(DWORD* status)
{
    if (!status)
        return E_POINTER;
    // Draw's white fill covers the bounds.
    *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP ControlView::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG, DWORD* result)
{
    if (!bounds || !result)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *result = !Control().HiddenNow() && PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP ControlView::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG, DWORD* result)
{
    if (!bounds || !location || !result)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    RECT overlap;
    *result = !Control().HiddenNow() && IntersectRect(&overlap, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP ControlView::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL)
{
    return E_NOTIMPL; // any size will do
}

} // namespace tavro

// How a container embeds a control: its client site and ambient properties,
// verbs, extent, miscellaneous status and advise sinks (IOleObject), the
// control-specific calls (IOleControl) and the one-call setup
// (IQuickActivate).
#pragma once

#include "module/ComUtil.h"

#include <ocidl.h>
#include <oleidl.h>

namespace tavro {

class ControlBase;

class OleEmbedding : public IOleObject, public IOleControl, public IQuickActivate {
public:
    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                        LPCRECT pos) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;
    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* msg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispid) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;
    // IQuickActivate
    STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    STDMETHODIMP SetContentExtent(SIZEL* size) override;
    STDMETHODIMP GetContentExtent(SIZEL* size) override;

    IOleClientSite* ClientSite() const { return site_.get(); }
    // The container's ambient UserMode: false while a form is designed,
    // true when it runs and when the container does not say.
    bool UserMode() const;
    bool EventsFrozen() const { return freezeCount_ > 0; }
    // The control's size in HIMETRIC units, as saved with its state.
    SIZEL Extent() const { return extent_; }
    void ChangeExtent(SIZEL size);

protected:
    OleEmbedding() = default;
    ~OleEmbedding();

private:
    ControlBase& Control();

    ComPtr<IOleClientSite> site_;
    ComPtr<IOleAdviseHolder> adviseHolder_;
    SIZEL extent_ = {2540, 1270}; // one inch by half an inch
    LONG freezeCount_ = 0;
};

} // namespace tavro

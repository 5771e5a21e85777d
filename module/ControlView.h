// How a container draws a control and learns of its changes
// (IViewObjectEx, with IViewObject2 and IViewObject).
#pragma once

#include "module/ComUtil.h"

#include <ocidl.h>
#include <oleidl.h>

namespace tavro {

class ControlBase;

class ControlView : public IViewObjectEx {
public:
    // IViewObject
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc, HDC dc,
                      LPCRECTL bounds, LPCRECTL windowBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                      ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc,
                             LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* cookie) override;
    STDMETHODIMP Unfreeze(DWORD cookie) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    // IViewObject2
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;
    // IViewObjectEx
    STDMETHODIMP GetRect(DWORD aspect, LPRECTL rect) override;
    STDMETHODIMP GetViewStatus(DWORD* status) override;
    STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint, DWORD* result) override;
    STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint, DWORD* result) override;
    STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, HDC targetDc, DVEXTENTINFO* info,
                                  LPSIZEL size) override;

    // Tells the advised sink that the picture changed.
    void NotifyViewChange();

protected:
    ControlView() = default;
    ~ControlView();

private:
    ControlBase& Control();

    ComPtr<IAdviseSink> sink_;
    DWORD sinkAspects_ = 0;
    DWORD sinkFlags_ = 0;
};

} // namespace tavro

// In-place activation: windowless when the site allows it, otherwise in a
// child window of the container's (IOleInPlaceObjectWindowless,
// IOleInPlaceActiveObject).
#pragma once

#include "module/ComUtil.h"

#include <ocidl.h>
#include <oleidl.h>

namespace tavro {

class ControlBase;

class InPlaceActivation : public IOleInPlaceObjectWindowless, public IOleInPlaceActiveObject {
public:
    // IOleWindow (both interfaces)
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    // IOleInPlaceObjectWindowless
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHODIMP GetDropTarget(IDropTarget** target) override;
    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // Activates in `site` (UI-activates too when asked); the site tells the
    // position, `pos` is the fallback. S_OK also when already active.
    HRESULT ActivateInPlace(IOleClientSite* site, const RECT* pos, bool uiActivate);
    bool IsInPlaceActive() const { return active_; }
    bool IsWindowless() const { return active_ && !window_; }
    const RECT& PositionRect() const { return pos_; }
    // The window a dialog of the control should be owned by (or null).
    HWND ContainerWindow();
    // Asks the container (or the own window) to repaint the control.
    void Invalidate();

protected:
    InPlaceActivation() = default;
    ~InPlaceActivation();

private:
    ControlBase& Control();
    bool CreateControlWindow(HWND parent);
    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    ComPtr<IOleInPlaceSite> site_;
    ComPtr<IOleInPlaceSiteWindowless> windowlessSite_; // set while windowless
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IOleInPlaceUIWindow> document_;
    bool active_ = false;
    bool uiActive_ = false;
    bool activatedEx_ = false; // the site took OnInPlaceActivateEx
    HWND window_ = nullptr;    // own child window when not windowless
    RECT pos_ = {};            // in the container window's client coordinates
};

// The control window class lives with the module's code: a module that is
// unloaded (not at process exit) removes it first.
void UnregisterControlWindowClass();

} // namespace tavro

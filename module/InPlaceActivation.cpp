// In-place activation of every control. A windowless control is drawn by
// its container through IViewObject::Draw; otherwise the control paints a
// child window of its own.
#include "module/InPlaceActivation.h"

#include "module/ControlBase.h"
#include "module/Module.h"

#include <mutex>

namespace tavro {

namespace {

const wchar_t kWindowClass[] = L"tavro.ControlWindow";
std::mutex g_classMutex;
bool g_classRegistered = false;

} // namespace

void UnregisterControlWindowClass()
{
    std::lock_guard<std::mutex> lock(g_classMutex);
    if (g_classRegistered && UnregisterClassW(kWindowClass, ModuleInstance()))
        g_classRegistered = false;
}

ControlBase& InPlaceActivation::Control()
{
    return static_cast<ControlBase&>(*this);
}

InPlaceActivation::~InPlaceActivation()
{
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

HRESULT InPlaceActivation::ActivateInPlace(IOleClientSite* clientSite, const RECT* pos, bool uiActivate)
{
    if (!active_) {
        ComPtr<IOleInPlaceSite> site;
        if (FAILED(clientSite->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(site.out()))))
            return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        ComPtr<IOleInPlaceSiteWindowless> windowless;
        if (FAILED(clientSite->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                              reinterpret_cast<void**>(windowless.out()))) ||
            windowless->CanWindowlessActivate() != S_OK)
            windowless.reset();
        ComPtr<IOleInPlaceSiteEx> siteEx;
        BOOL noRedraw = FALSE;
        HRESULT hr;
        if (SUCCEEDED(clientSite->QueryInterface(IID_IOleInPlaceSiteEx, reinterpret_cast<void**>(siteEx.out())))) {
            hr = siteEx->OnInPlaceActivateEx(&noRedraw, windowless ? ACTIVATE_WINDOWLESS : 0);
            activatedEx_ = true;
        } else {
            windowless.reset(); // only the Ex call can say "windowless"
            hr = site->OnInPlaceActivate();
            activatedEx_ = false;
        }
        if (FAILED(hr))
            return hr;

        RECT clip = {};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof frameInfo;
        if (FAILED(site->GetWindowContext(frame_.out(), document_.out(), &pos_, &clip, &frameInfo)) && pos)
            pos_ = *pos;
        site_ = site;
        windowlessSite_ = windowless;
        HWND parent = nullptr;
        if (!windowless && (FAILED(site->GetWindow(&parent)) || !CreateControlWindow(parent))) {
            active_ = true;
            InPlaceDeactivate();
            return E_FAIL;
        }
        active_ = true;
        if (!noRedraw)
            Invalidate();
    }
    if (uiActivate && !uiActive_) {
        uiActive_ = true;
        site_->OnUIActivate();
        if (window_)
            SetFocus(window_);
        IOleInPlaceActiveObject* self = this;
        if (frame_)
            frame_->SetActiveObject(self, nullptr);
        if (document_)
            document_->SetActiveObject(self, nullptr);
    }
    return S_OK;
}

HWND InPlaceActivation::ContainerWindow()
{
    HWND window = nullptr;
    if (site_) {
        site_->GetWindow(&window);
        return window;
    }
    ComPtr<IOleWindow> siteWindow;
    IOleClientSite* clientSite = Control().ClientSite();
    if (clientSite && SUCCEEDED(clientSite->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(siteWindow.out()))))
        siteWindow->GetWindow(&window);
    return window;
}

void InPlaceActivation::Invalidate()
{
    if (!active_)
        return;
    if (window_) {
        // Run and design mode may have switched: show or hide the window too.
        ShowWindow(window_, Control().HiddenNow() ? SW_HIDE : SW_SHOWNA);
        InvalidateRect(window_, nullptr, TRUE);
        return;
    }
    // Not every windowless site invalidates for its object; its window will.
    if (windowlessSite_ && SUCCEEDED(windowlessSite_->InvalidateRect(&pos_, TRUE)))
        return;
    if (HWND window = ContainerWindow())
        InvalidateRect(window, &pos_, TRUE);
}

bool InPlaceActivation::CreateControlWindow(HWND parent)
{
    {
        std::lock_guard<std::mutex> lock(g_classMutex);
        if (!g_classRegistered) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = &InPlaceActivation::WindowProc;
            wc.hInstance = ModuleInstance();
            wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
            wc.lpszClassName = kWindowClass;
            g_classRegistered = RegisterClassW(&wc) != 0;
        }
    }
    const DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (Control().HiddenNow() ? 0 : WS_VISIBLE);
    window_ = CreateWindowExW(0, kWindowClass, L"", style, pos_.left, pos_.top, pos_.right - pos_.left,
                              pos_.bottom - pos_.top, parent, nullptr, ModuleInstance(), this);
    return window_ != nullptr;
}

LRESULT CALLBACK InPlaceActivation::WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<InPlaceActivation*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // the drawing covers the whole window
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        if (self && !self->Control().HiddenNow())
            self->Control().OnDraw(dc, client);
        EndPaint(window, &ps);
        return 0;
    }
    default:
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}

// ---- IOleWindow ----------------------------------------------------------

STDMETHODIMP InPlaceActivation::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL; // a windowless control has none
}

STDMETHODIMP InPlaceActivation::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

// ---- IOleInPlaceObject ---------------------------------------------------

STDMETHODIMP InPlaceActivation::InPlaceDeactivate()
{
    if (!active_)
        return S_OK;
    UIDeactivate();
    active_ = false;
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        window_ = nullptr;
    }
    ComPtr<IOleInPlaceSite> site = site_;
    site_.reset();
    windowlessSite_.reset();
    frame_.reset();
    document_.reset();
    ComPtr<IOleInPlaceSiteEx> siteEx;
    if (activatedEx_ && SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSiteEx, reinterpret_cast<void**>(siteEx.out()))))
        siteEx->OnInPlaceDeactivateEx(TRUE);
    else
        site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP InPlaceActivation::UIDeactivate()
{
    if (!uiActive_)
        return S_OK;
    uiActive_ = false;
    if (frame_)
        frame_->SetActiveObject(nullptr, nullptr);
    if (document_)
        document_->SetActiveObject(nullptr, nullptr);
    if (site_)
        site_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP InPlaceActivation::SetObjectRects(LPCRECT pos, LPCRECT)
{
    if (!pos)
        return E_POINTER;
    pos_ = *pos;
    if (window_)
        MoveWindow(window_, pos_.left, pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top, TRUE);
    // The control takes the size it is given.
    HDC screen = GetDC(nullptr);
    SIZEL extent = {MulDiv(pos_.right - pos_.left, 2540, GetDeviceCaps(screen, LOGPIXELSX)),
                    MulDiv(pos_.bottom - pos_.top, 2540, GetDeviceCaps(screen, LOGPIXELSY))};
    ReleaseDC(nullptr, screen);
    if (extent.cx >= 0 && extent.cy >= 0)
        Control().ChangeExtent(extent);
    Invalidate();
    return S_OK;
}

STDMETHODIMP InPlaceActivation::ReactivateAndUndo()
{
    return E_NOTIMPL;
}

// ---- IOleInPlaceObjectWindowless -----------------------------------------

STDMETHODIMP InPlaceActivation::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result)
{
    if (result)
        *result = 0;
    return S_FALSE; // no input handling: the container does the default
}

STDMETHODIMP InPlaceActivation::GetDropTarget(IDropTarget** target)
{
    if (target)
        *target = nullptr;
    return E_NOTIMPL;
}

// ---- IOleInPlaceActiveObject ---------------------------------------------

STDMETHODIMP InPlaceActivation::TranslateAccelerator(LPMSG)
{
    return S_FALSE;
}

STDMETHODIMP InPlaceActivation::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP InPlaceActivation::OnDocWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP InPlaceActivation::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

STDMETHODIMP InPlaceActivation::EnableModeless(BOOL)
{
    return S_OK;
}

} // namespace tavro

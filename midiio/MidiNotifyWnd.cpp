// The notification window: a message-only window per MidiIO control.
#include "midiio/MidiNotifyWnd.h"

#include "module/Module.h"

namespace {

const char kClassName[] = "TavroMidiNotifyWnd";

ATOM RegisterNotifyClass(WNDPROC proc)
{
    // One class per process; registering again just finds it.
    static ATOM atom = [proc] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = proc;
        wc.hInstance = tavro::ModuleInstance();
        wc.lpszClassName = kClassName;
        ATOM a = RegisterClassA(&wc);
        if (!a && GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
            a = 1;
        return a;
    }();
    return atom;
}

} // namespace

void UnregisterNotifyWindowClass()
{
    UnregisterClassA(kClassName, tavro::ModuleInstance());
}

CMidiNotifyWnd::CMidiNotifyWnd()
{
    if (!RegisterNotifyClass(&WindowProc))
        return;
    m_hWnd = CreateWindowExA(0, kClassName, "", WS_POPUP | WS_CHILD, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             tavro::ModuleInstance(), nullptr);
    if (m_hWnd)
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CMidiNotifyWnd::~CMidiNotifyWnd()
{
    if (m_hWnd) {
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
}

void CMidiNotifyWnd::RemovePending(UINT message)
{
    MSG msg;
    while (m_hWnd && PeekMessageA(&msg, m_hWnd, message, message, PM_REMOVE)) {}
}

LRESULT CALLBACK CMidiNotifyWnd::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CMidiNotifyWnd*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    CMidiNotifyHandler* owner = self ? self->m_pOwner : nullptr;
    if (owner) {
        switch (msg) {
        case WM_MIDIEVENTS:
            // Merge: one event for every notification waiting now.
            self->RemovePending(WM_MIDIEVENTS);
            owner->OnMidiEventsMessage();
            return 0;
        case WM_MIDITIMER:
            owner->OnTimerMessage(static_cast<UINT>(wParam));
            return 0;
        case WM_VIRTUALMIDI:
            return owner->OnVirtualMidiMessage(wParam, lParam);
        default:
            break;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

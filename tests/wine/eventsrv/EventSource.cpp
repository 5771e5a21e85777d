// Test-only in-process server for the tavrorun tests: EventSource objects
// fire OnTick at once (FireNow) or OnLater from their message-only window
// (FireLater), so only a host that dispatches messages delivers the latter.
#include "module/ClassFactory.h"
#include "module/ControlBase.h"
#include "module/Module.h"
#include "module/Registration.h"

#include "EventSource_h.h"

#include <olectl.h>

#include <new>
#include <string>

namespace {

constexpr UINT kFireLaterMessage = WM_APP + 1;

class EventSource : public tavro::ControlBase {
public:
    static const tavro::ControlClass kClass;
    static const tavro::ControlClass kClassInfoOnly;

    explicit EventSource(const tavro::ControlClass& cls);
    ~EventSource() override;

    // The second class hides IProvideClassInfo2, so a host must find the
    // event interface through the coclass.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (&Class() == &kClassInfoOnly && ppv && IsEqualIID(riid, IID_IProvideClassInfo2)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return ControlBase::QueryInterface(riid, ppv);
    }

    void FireNow(long count, const std::string& text);
    void FireLater(long count);
    void Poke(long value) { total_ += value; }
    long Total() { return total_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    long total_ = 0;
};

const tavro::DispatchEntry kDispatch[] = {
    TAVRO_DISP(1, "FireNow", VT_EMPTY, &EventSource::FireNow),
    TAVRO_DISP(2, "FireLater", VT_EMPTY, &EventSource::FireLater),
    TAVRO_DISP(3, "Poke", VT_EMPTY, &EventSource::Poke),
    TAVRO_DISP(4, "Total", VT_I4, &EventSource::Total),
};

const tavro::ControlClass EventSource::kClass = {
    &CLSID_EventSource,
    &DIID__DEventSource,
    &DIID__DEventSourceEvents,
    L"TavroTest.EventSource",
    tavro::MakeDispatchTable(kDispatch),
};

const tavro::ControlClass EventSource::kClassInfoOnly = {
    &CLSID_EventSourceClassInfo,         &DIID__DEventSource,
    &DIID__DEventSourceEvents,           L"TavroTest.EventSourceClassInfo",
    tavro::MakeDispatchTable(kDispatch),
};

const wchar_t kWindowClass[] = L"TavroTestEventSource";

EventSource::EventSource(const tavro::ControlClass& cls) : ControlBase(cls)
{
    static const ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &EventSource::WindowProc;
        wc.hInstance = tavro::ModuleInstance();
        wc.lpszClassName = kWindowClass;
        return RegisterClassW(&wc);
    }();
    if (atom)
        window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, tavro::ModuleInstance(),
                                  nullptr);
    if (window_)
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

EventSource::~EventSource()
{
    if (window_)
        DestroyWindow(window_);
}

void EventSource::FireNow(long count, const std::string& text)
{
    tavro::ComPtr<IDispatch> self(this); // a handler may drop the script's reference
    for (long i = 1; i <= count; ++i) {
        VARIANT args[2]; // last argument first
        args[0].vt = VT_BSTR;
        args[0].bstrVal = tavro::ToBstr(text);
        args[1].vt = VT_I4;
        args[1].lVal = i;
        DISPPARAMS params = {args, nullptr, 2, 0};
        FireEvent(1, &params);
        VariantClear(&args[0]);
    }
}

void EventSource::FireLater(long count)
{
    for (long i = 1; i <= count; ++i)
        PostMessageW(window_, kFireLaterMessage, static_cast<WPARAM>(i), 0);
}

LRESULT CALLBACK EventSource::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<EventSource*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != kFireLaterMessage || !self)
        return DefWindowProcW(window, message, wParam, lParam);
    tavro::ComPtr<IDispatch> keep(self);
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = static_cast<LONG>(wParam);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    self->FireEvent(2, &params);
    return 0;
}

IUnknown* CreateEventSource()
{
    return static_cast<IDispatch*>(new EventSource(EventSource::kClass));
}

IUnknown* CreateClassInfoOnly()
{
    return static_cast<IDispatch*>(new EventSource(EventSource::kClassInfoOnly));
}

const tavro::ServerClass kClasses[] = {
    {&EventSource::kClass, nullptr, 0, 0, &CreateEventSource},
    {&EventSource::kClassInfoOnly, nullptr, 0, 0, &CreateClassInfoOnly},
};
const tavro::ServerModule kServer = {kClasses, 2, &LIBID_EventSourceLib};

} // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    return tavro::ServerGetClassObject(kServer, clsid, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return tavro::ServerCanUnloadNow();
}

STDAPI DllRegisterServer()
{
    return tavro::RegisterServer(kServer);
}

STDAPI DllUnregisterServer()
{
    return tavro::UnregisterServer(kServer);
}

} // extern "C"

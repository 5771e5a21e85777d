// The base of the three controls: dispatch through the control's table,
// type information from the module's library, class info and the event
// connection point. Scripts may call a control as soon as it exists.
#pragma once

#include "module/ComObject.h"
#include "module/ConnectionPoint.h"
#include "module/Dispatch.h"

#include <ocidl.h>

namespace tavro {

// What identifies a control class to the framework.
struct ControlClass {
    const CLSID* clsid;
    const IID* dispatchIid;
    const IID* eventIid;
    const wchar_t* progId;  // source of the errors it raises
    DispatchTable dispatch; // in DISPID order
};

class ControlBase : public ComObject<ControlBase, IDispatch, IProvideClassInfo2, IConnectionPointContainer> {
public:
    static constexpr InterfaceEntry<ControlBase> kInterfaces[] = {
        TAVRO_INTERFACE(ControlBase, IDispatch),
        TAVRO_INTERFACE(ControlBase, IProvideClassInfo),
        TAVRO_INTERFACE(ControlBase, IProvideClassInfo2),
        TAVRO_INTERFACE(ControlBase, IConnectionPointContainer),
    };

    const ControlClass& Class() const { return class_; }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;
    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

    ~ControlBase() override;

protected:
    explicit ControlBase(const ControlClass& cls);

    // Raises an event on every advised sink, on the calling thread.
    void FireEvent(DISPID dispid, DISPPARAMS* params = nullptr);

private:
    const ControlClass& class_;
    ConnectionPoint events_;
};

} // namespace tavro

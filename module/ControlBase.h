// The base of every control: dispatch through the control's table, type
// information from the module's library, class info and the event
// connection point, plus the OLE interfaces a container uses, one class per
// concern (embedding, in-place activation, view, persistence, dialogs).
// Scripts may call a control as soon as it exists.
#pragma once

#include "module/ComObject.h"
#include "module/ConnectionPoint.h"
#include "module/ControlDialogs.h"
#include "module/ControlPersistence.h"
#include "module/ControlView.h"
#include "module/Dispatch.h"
#include "module/InPlaceActivation.h"
#include "module/OleEmbedding.h"

#include <ocidl.h>

namespace tavro {

// What identifies a control class to the framework.
struct ControlClass {
    const CLSID* clsid;
    const IID* dispatchIid;
    const IID* eventIid;
    const wchar_t* progId;  // source of the errors it raises
    DispatchTable dispatch; // in DISPID order
    // What a container sees; a class without misc status is registered as a
    // plain automation object, not a control.
    DWORD miscStatus = 0;                // OLEMISC_* bits
    UINT aboutDialogId = 0;              // dialog resource AboutBox shows
    const CLSID* propertyPage = nullptr; // the one page it lists, or none
    DWORD persistVersion = 0x00010000;   // stamp of its saved state (major.minor)
};

// The status bits every control of this framework reports; a class adds its own.
constexpr DWORD kControlMiscStatus =
    OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

class ControlBase : public ComObject<ControlBase, IDispatch, IProvideClassInfo2, IConnectionPointContainer,
                                     OleEmbedding, InPlaceActivation, ControlView, ControlPersistence, ControlDialogs> {
public:
    // IPersist, IOleWindow and the view interfaces have several paths to
    // this object; each is named by the interface that owns it.
    static constexpr InterfaceEntry<ControlBase> kInterfaces[] = {
        TAVRO_INTERFACE(ControlBase, IDispatch),
        TAVRO_INTERFACE(ControlBase, IProvideClassInfo),
        TAVRO_INTERFACE(ControlBase, IProvideClassInfo2),
        TAVRO_INTERFACE(ControlBase, IConnectionPointContainer),
        TAVRO_INTERFACE(ControlBase, IOleObject),
        TAVRO_INTERFACE(ControlBase, IOleControl),
        TAVRO_INTERFACE(ControlBase, IQuickActivate),
        TAVRO_INTERFACE_IID(ControlBase, IOleInPlaceObjectWindowless, IID_IOleWindow),
        TAVRO_INTERFACE_IID(ControlBase, IOleInPlaceObjectWindowless, IID_IOleInPlaceObject),
        TAVRO_INTERFACE(ControlBase, IOleInPlaceObjectWindowless),
        TAVRO_INTERFACE(ControlBase, IOleInPlaceActiveObject),
        TAVRO_INTERFACE_IID(ControlBase, IViewObjectEx, IID_IViewObject),
        TAVRO_INTERFACE_IID(ControlBase, IViewObjectEx, IID_IViewObject2),
        TAVRO_INTERFACE(ControlBase, IViewObjectEx),
        TAVRO_INTERFACE_IID(ControlBase, IPersistStreamInit, IID_IPersist),
        // IPersistStreamInit extends IPersistStream's table, so it serves both.
        TAVRO_INTERFACE_IID(ControlBase, IPersistStreamInit, IID_IPersistStream),
        TAVRO_INTERFACE(ControlBase, IPersistStreamInit),
        TAVRO_INTERFACE(ControlBase, IPersistPropertyBag),
        TAVRO_INTERFACE(ControlBase, IPersistStorage),
        TAVRO_INTERFACE(ControlBase, ISpecifyPropertyPages),
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

    // The look of a control that draws nothing of its own: the bounds
    // filled white and an inscribed ellipse in the DC's pen and brush.
    virtual void OnDraw(HDC dc, const RECT& bounds);

    // Shell coordination between the concerns.
    ConnectionPoint& Events() { return events_; }
    // True when the control shows nothing: invisible at run time and the
    // container runs (not designs) its form.
    bool HiddenNow();
    // The extent changed or the look did: repaint and tell the view's sink.
    void Redraw();

    ~ControlBase() override;

protected:
    explicit ControlBase(const ControlClass& cls);

    // Raises an event on every advised sink, on the calling thread; dropped
    // while the container has frozen events.
    void FireEvent(DISPID dispid, DISPPARAMS* params = nullptr);

private:
    const ControlClass& class_;
    ConnectionPoint events_;
};

} // namespace tavro

// A property page made of a child dialog resource and a caption string
// (IPropertyPage). It edits no property of its own: a class with real
// properties would read and write them in Apply.
#pragma once

#include "module/ComObject.h"
#include "module/ComUtil.h"

#include <ocidl.h>

#include <vector>

namespace tavro {

class PropertyPage : public ComObject<PropertyPage, IPropertyPage> {
public:
    static constexpr InterfaceEntry<PropertyPage> kInterfaces[] = {
        TAVRO_INTERFACE(PropertyPage, IPropertyPage),
    };

    // IPropertyPage
    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT cmdShow) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    STDMETHODIMP IsPageDirty() override;
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR helpDir) override;
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;

    ~PropertyPage() override;

protected:
    // Resource ids in the module: the dialog (style WS_CHILD) and the string
    // the frame shows on the page's tab.
    PropertyPage(UINT dialogId, UINT captionId);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

    UINT dialogId_;
    UINT captionId_;
    ComPtr<IPropertyPageSite> site_;
    std::vector<ComPtr<IUnknown>> objects_;
    HWND dialog_ = nullptr;
};

} // namespace tavro

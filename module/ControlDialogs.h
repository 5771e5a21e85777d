// The dialogs a control offers: its About box (run modally by the AboutBox
// method) and its property page (ISpecifyPropertyPages, and the frame the
// Properties verb opens).
#pragma once

#include <ocidl.h>

namespace tavro {

class ControlBase;

class ControlDialogs : public ISpecifyPropertyPages {
public:
    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override;

    // The dispatch method AboutBox (DISPID_ABOUTBOX): the class's About
    // dialog, modal, owned by the container's window when there is one.
    void AboutBox();
    // Opens the property frame with the control's page.
    HRESULT ShowProperties(HWND owner);

protected:
    ControlDialogs() = default;

private:
    ControlBase& Control();
};

} // namespace tavro

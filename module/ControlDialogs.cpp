// The About box and the property page list of every control.
#include "module/ControlDialogs.h"

#include "module/ControlBase.h"
#include "module/Module.h"

#include <olectl.h>

namespace tavro {

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

ControlBase& ControlDialogs::Control()
{
    return static_cast<ControlBase&>(*this);
}

STDMETHODIMP ControlDialogs::GetPages(CAUUID* pages)
{
    if (!pages)
        return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    const CLSID* page = Control().Class().propertyPage;
    if (!page)
        return S_OK;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems)
        return E_OUTOFMEMORY;
    pages->pElems[0] = *page;
    pages->cElems = 1;
    return S_OK;
}

void ControlDialogs::AboutBox()
{
    // The container may drop the control while the dialog runs.
    ComPtr<IOleObject> keepAlive(&Control());
    DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(Control().Class().aboutDialogId), Control().ContainerWindow(),
                    &AboutProc, 0);
}

HRESULT ControlDialogs::ShowProperties(HWND owner)
{
    const CLSID* page = Control().Class().propertyPage;
    if (!page)
        return E_NOTIMPL;
    LPOLESTR name = nullptr;
    OleRegGetUserType(*Control().Class().clsid, USERCLASSTYPE_SHORT, &name);
    IUnknown* objects[] = {static_cast<IOleObject*>(&Control())};
    HRESULT hr = OleCreatePropertyFrame(owner, 0, 0, name ? name : L"", 1, objects, 1, const_cast<CLSID*>(page),
                                        LOCALE_USER_DEFAULT, 0, nullptr);
    CoTaskMemFree(name);
    return hr;
}

} // namespace tavro

// The property page object: its dialog lives between Activate and Deactivate.
#include "module/PropertyPage.h"

#include "module/Module.h"

namespace tavro {

namespace {

LPOLESTR CoTaskString(const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy)
        memcpy(copy, text.c_str(), bytes);
    return copy;
}

} // namespace

PropertyPage::PropertyPage(UINT dialogId, UINT captionId) : dialogId_(dialogId), captionId_(captionId)
{}

PropertyPage::~PropertyPage()
{
    if (dialog_)
        DestroyWindow(dialog_);
}

INT_PTR CALLBACK PropertyPage::DialogProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG; // focus to the first control; nothing else to do
}

STDMETHODIMP PropertyPage::SetPageSite(IPropertyPageSite* site)
{
    site_ = site;
    return S_OK;
}

STDMETHODIMP PropertyPage::Activate(HWND parent, LPCRECT rect, BOOL)
{
    if (!rect)
        return E_POINTER;
    if (dialog_)
        return E_UNEXPECTED;
    dialog_ = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(dialogId_), parent, &DialogProc, 0);
    if (!dialog_)
        return E_FAIL;
    Move(rect);
    return S_OK;
}

STDMETHODIMP PropertyPage::Deactivate()
{
    if (dialog_) {
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
    return S_OK;
}

STDMETHODIMP PropertyPage::GetPageInfo(PROPPAGEINFO* info)
{
    if (!info)
        return E_POINTER;
    // The frame sizes its page before Activate: measure a hidden instance.
    HWND probe = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(dialogId_), GetDesktopWindow(), &DialogProc, 0);
    if (!probe)
        return E_FAIL;
    RECT rect;
    GetWindowRect(probe, &rect);
    DestroyWindow(probe);

    wchar_t caption[128] = {};
    LoadStringW(ModuleInstance(), captionId_, caption, 128);
    info->cb = sizeof *info;
    info->pszTitle = CoTaskString(caption);
    info->size = {rect.right - rect.left, rect.bottom - rect.top};
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return info->pszTitle ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP PropertyPage::SetObjects(ULONG count, IUnknown** objects)
{
    if (count && !objects)
        return E_POINTER;
    objects_.assign(objects, objects + count);
    return S_OK;
}

STDMETHODIMP PropertyPage::Show(UINT cmdShow)
{
    if (!dialog_)
        return E_UNEXPECTED;
    ShowWindow(dialog_, static_cast<int>(cmdShow));
    return S_OK;
}

STDMETHODIMP PropertyPage::Move(LPCRECT rect)
{
    if (!rect)
        return E_POINTER;
    if (!dialog_)
        return E_UNEXPECTED;
    MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

STDMETHODIMP PropertyPage::IsPageDirty()
{
    return S_FALSE;
}

STDMETHODIMP PropertyPage::Apply()
{
    return S_OK;
}

STDMETHODIMP PropertyPage::Help(LPCOLESTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP PropertyPage::TranslateAccelerator(MSG* msg)
{
    return dialog_ && msg && IsDialogMessageW(dialog_, msg) ? S_OK : S_FALSE;
}

} // namespace tavro

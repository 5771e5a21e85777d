// MidiTools control contents: text, class, type and state of a control, its
// check state, and the items and selection of lists, combo boxes, tabs and
// list views, with the notifications a user's change would send the parent.
#include "tools/MidiToolsCtrl.h"
#include "tools/ControlListing.h"

#include <commctrl.h>

#include <cwchar>
#include <vector>

namespace {

constexpr int kTypeClassBuffer = 255;
constexpr int kClassBuffer = 512;

int KindOf(HWND c)
{
    return tavro::ClassifyControl(tavro::WindowClass(c, kTypeClassBuffer), GetWindowLongA(c, GWL_STYLE)).code;
}

bool IsList(int kind)
{
    return kind == tavro::kListBoxSingleSel || kind == tavro::kListBoxMultiSel;
}

bool IsCombo(int kind)
{
    return kind >= tavro::kComboSimple && kind <= tavro::kComboDropList;
}

// WM_COMMAND to the control's parent as the control itself would send it.
void NotifyParent(HWND c, WORD code)
{
    const WORD id = static_cast<WORD>(GetDlgCtrlID(c));
    SendMessageA(GetParent(c), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(c));
}

// A list or combo item's text through its length and text messages. The
// text travels as UTF-16 and becomes ANSI here: Wine carries the ANSI form of
// these messages between processes only up to the first character.
std::string ItemString(HWND c, UINT lengthMsg, UINT textMsg, long index)
{
    const LRESULT length = SendMessageW(c, lengthMsg, static_cast<WPARAM>(index), 0);
    if (length < 0 || length > 0xFFFFF)
        return {};
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    if (SendMessageW(c, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data())) < 0)
        return {};
    return tavro::ToAnsi(text.data(), wcslen(text.data()));
}

std::string TabText(HWND c, long index)
{
    char text[256] = {};
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 255;
    if (!SendMessageA(c, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)))
        return {};
    return text;
}

// The texts of a list-view row's columns, tab-separated; empty columns add
// nothing while the text gathered so far is empty.
std::string RowText(HWND c, long index)
{
    HWND header = reinterpret_cast<HWND>(SendMessageA(c, LVM_GETHEADER, 0, 0));
    std::string row;
    for (int column = 0; column < static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)); ++column) {
        if (!row.empty())
            row += '\t';
        char text[256] = {};
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 255;
        SendMessageA(c, LVM_GETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        row += text;
    }
    return row;
}

} // namespace

std::string CMidiToolsCtrl::GetControlText(long Index)
{
    return tavro::WindowTitle(GetControlByIndex(Index));
}

BOOL CMidiToolsCtrl::SetControlText(long controlIndex, const std::string& Text)
{
    HWND c = GetControlByIndex(controlIndex);
    if (!c || !SetWindowTextA(c, Text.c_str()))
        return FALSE;
    NotifyParent(c, EN_CHANGE);
    return TRUE;
}

std::string CMidiToolsCtrl::GetControlClass(long controlIndex)
{
    return tavro::WindowClass(GetControlByIndex(controlIndex), kClassBuffer);
}

std::string CMidiToolsCtrl::GetControlType(long controlIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    if (!c)
        return {};
    return tavro::ClassifyControl(tavro::WindowClass(c, kTypeClassBuffer), GetWindowLongA(c, GWL_STYLE)).typeName;
}

BOOL CMidiToolsCtrl::IsControlEnabled(long controlIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    return c && IsWindowEnabled(c);
}

BOOL CMidiToolsCtrl::IsControlVisible(long controlIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    return c && IsWindowVisible(c);
}

long CMidiToolsCtrl::GetControlCheckState(long controlIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    return c ? static_cast<long>(SendMessageA(c, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CMidiToolsCtrl::SetControlCheckState(long controlIndex, long newState)
{
    if (newState < 0 || newState > 2)
        return FALSE;
    HWND c = GetControlByIndex(controlIndex);
    if (!c)
        return FALSE;
    SendMessageA(c, BM_SETCHECK, static_cast<WPARAM>(newState), 0);
    NotifyParent(c, BN_CLICKED);
    return TRUE;
}

long CMidiToolsCtrl::GetControlCurSel(long controlIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    const int kind = c ? KindOf(c) : 0;
    if (kind == tavro::kListBoxSingleSel)
        return static_cast<long>(SendMessageA(c, LB_GETCURSEL, 0, 0));
    if (IsCombo(kind))
        return static_cast<long>(SendMessageA(c, CB_GETCURSEL, 0, 0));
    if (kind == tavro::kTabControl)
        return static_cast<long>(SendMessageA(c, TCM_GETCURSEL, 0, 0));
    return 0;
}

long CMidiToolsCtrl::SetControlCurSel(long controlIndex, long selectionIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    if (!c)
        return 0;
    const int kind = KindOf(c);
    const WPARAM selection = static_cast<WPARAM>(selectionIndex);
    if (kind == tavro::kListBoxSingleSel || IsCombo(kind)) {
        const LRESULT reply = SendMessageA(c, kind == tavro::kListBoxSingleSel ? LB_SETCURSEL : CB_SETCURSEL,
                                           selection, 0);
        NotifyParent(c, LBN_SELCHANGE); // CBN_SELCHANGE has the same value
        return static_cast<long>(reply);
    }
    if (kind == tavro::kTabControl) {
        SendMessageA(c, TCM_SETCURSEL, selection, 0);
        NMHDR header = {};
        header.hwndFrom = c;
        header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(c));
        header.code = TCN_SELCHANGE;
        return static_cast<long>(
            SendMessageA(GetParent(c), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header)));
    }
    return -1;
}

long CMidiToolsCtrl::GetControlItemsCount(long controlIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    const int kind = c ? KindOf(c) : 0;
    if (IsList(kind))
        return static_cast<long>(SendMessageA(c, LB_GETCOUNT, 0, 0));
    if (IsCombo(kind))
        return static_cast<long>(SendMessageA(c, CB_GETCOUNT, 0, 0));
    if (kind == tavro::kTabControl)
        return static_cast<long>(SendMessageA(c, TCM_GETITEMCOUNT, 0, 0));
    if (kind == tavro::kListView)
        return static_cast<long>(SendMessageA(c, LVM_GETITEMCOUNT, 0, 0));
    return 0;
}

std::string CMidiToolsCtrl::GetControlItemText(long controlIndex, long itemIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    const int kind = c ? KindOf(c) : 0;
    if (IsList(kind))
        return ItemString(c, LB_GETTEXTLEN, LB_GETTEXT, itemIndex);
    if (IsCombo(kind))
        return ItemString(c, CB_GETLBTEXTLEN, CB_GETLBTEXT, itemIndex);
    if (kind == tavro::kTabControl)
        return TabText(c, itemIndex);
    if (kind == tavro::kListView)
        return RowText(c, itemIndex);
    return {};
}

long CMidiToolsCtrl::GetControlItemData(long controlIndex, long itemIndex)
{
    HWND c = GetControlByIndex(controlIndex);
    if (!c)
        return 0;
    const int kind = KindOf(c);
    if (IsList(kind))
        return static_cast<long>(SendMessageA(c, LB_GETITEMDATA, static_cast<WPARAM>(itemIndex), 0));
    if (IsCombo(kind))
        return static_cast<long>(SendMessageA(c, CB_GETITEMDATA, static_cast<WPARAM>(itemIndex), 0));
    return itemIndex;
}

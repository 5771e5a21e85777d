// MidiTools control contents: text, class, type and state of a control, its
// check state, and the items and selection of lists, combo boxes, tabs and
// list views, with the notifications a user's change would send the parent.
// Controls of another process are asked with a bound (RemoteProcess.h), and
// records passed by pointer live in that process's memory.
#include "tools/MidiToolsCtrl.h"
#include "module/ComUtil.h"
#include "module/Trace.h"
#include "tools/ControlListing.h"
#include "tools/RemoteMenu.h"
#include "tools/RemoteProcess.h"

#include <commctrl.h>

#include <cwchar>
#include <vector>

namespace {

constexpr int kTypeClassBuffer = 255;
constexpr int kClassBuffer = 512;
// Where the text buffer lies in a remote block, after the largest record.
constexpr size_t kRemoteTextOffset = 128;
constexpr size_t kRemoteTextChars = 256;

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

std::string Args(long a)
{
    return std::to_string(a);
}

std::string Args(long a, long b)
{
    return std::to_string(a) + ", " + std::to_string(b);
}

// A message to a control with its reply; a control of another process that
// does not answer in time, or refuses, traces and gives false.
bool Ask(const char* method, const std::string& args, HWND c, UINT message, WPARAM wParam, LPARAM lParam,
         LRESULT& reply, bool wide = false)
{
    if (tavro::SendBounded(c, message, wParam, lParam, reply, wide))
        return true;
    TAVRO_TRACE("MidiTools", method, args, tavro::BoundedSendError());
    return false;
}

// WM_COMMAND to the control's parent as the control itself would send it.
void NotifyParent(const char* method, const std::string& args, HWND c, WORD code)
{
    const WORD id = static_cast<WORD>(GetDlgCtrlID(c));
    LRESULT reply = 0;
    Ask(method, args, GetParent(c), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(c), reply);
}

// A list or combo item's text through its length and text messages. The
// text travels as UTF-16 and becomes ANSI here: Wine carries the ANSI form of
// these messages between processes only up to the first character.
std::string ItemString(const std::string& args, HWND c, UINT lengthMsg, UINT textMsg, long index)
{
    LRESULT length = 0;
    if (!Ask("GetControlItemText", args, c, lengthMsg, static_cast<WPARAM>(index), 0, length, true))
        return {};
    if (length < 0 || length > 0xFFFFF) {
        TAVRO_TRACE("MidiTools", "GetControlItemText", args, "no item " + std::to_string(index));
        return {};
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!Ask("GetControlItemText", args, c, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()),
             copied, true) ||
        copied < 0)
        return {};
    return tavro::ToAnsi(text.data(), wcslen(text.data()));
}

// A text that a control of another process writes through a record: the
// record and a cleared buffer are copied into that process, the message is
// sent there, and the buffer is read back. False when any step failed.
bool RemoteRecordText(const std::string& args, HWND c, UINT message, WPARAM wParam,
                      const std::vector<unsigned char>& record, tavro::RemoteBlock& block, LRESULT& reply,
                      std::string& text)
{
    char buffer[kRemoteTextChars] = {};
    if (!block.Write(0, record.data(), record.size()) || !block.Write(kRemoteTextOffset, buffer, sizeof buffer)) {
        TAVRO_TRACE("MidiTools", "GetControlItemText", args,
                    "cannot write into the control's process: " + tavro::LastErrorText());
        return false;
    }
    if (!Ask("GetControlItemText", args, c, message, wParam, block.Param(), reply)) {
        block.LeaveToTarget();
        return false;
    }
    if (!block.Read(kRemoteTextOffset, buffer, sizeof buffer - 1)) {
        TAVRO_TRACE("MidiTools", "GetControlItemText", args,
                    "cannot read the control's process: " + tavro::LastErrorText());
        return false;
    }
    text = buffer;
    return true;
}

std::string TabText(const std::string& args, HWND c, long index)
{
    LRESULT reply = 0;
    std::string text;
    if (!tavro::OfOtherProcess(c)) {
        char buffer[kRemoteTextChars] = {};
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = buffer;
        item.cchTextMax = 255;
        reply = SendMessageA(c, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        text = buffer;
    } else {
        tavro::RemoteBlock block(c, kRemoteTextOffset + kRemoteTextChars);
        if (!block) {
            TAVRO_TRACE("MidiTools", "GetControlItemText", args, block.Error());
            return {};
        }
        const auto record = tavro::TabTextRecord(block.Layout(), block.Address(kRemoteTextOffset), 255);
        if (!RemoteRecordText(args, c, TCM_GETITEMA, static_cast<WPARAM>(index), record, block, reply, text))
            return {};
    }
    if (!reply) {
        TAVRO_TRACE("MidiTools", "GetControlItemText", args, "no tab " + std::to_string(index));
        return {};
    }
    return text;
}

// The texts of a list-view row's columns, tab-separated; empty columns add
// nothing while the text gathered so far is empty. The column count is asked
// again after every column.
std::string RowText(const std::string& args, HWND c, long index)
{
    LRESULT header = 0;
    if (!Ask("GetControlItemText", args, c, LVM_GETHEADER, 0, 0, header))
        return {};
    const bool remote = tavro::OfOtherProcess(c);
    tavro::RemoteBlock block(remote ? c : nullptr, remote ? kRemoteTextOffset + kRemoteTextChars : 0);
    if (remote && !block) {
        TAVRO_TRACE("MidiTools", "GetControlItemText", args, block.Error());
        return {};
    }
    std::string row;
    for (int column = 0;; ++column) {
        LRESULT columns = 0;
        if (!Ask("GetControlItemText", args, reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, columns))
            return {};
        if (column >= static_cast<int>(columns))
            break;
        if (!row.empty())
            row += '\t';
        LRESULT reply = 0;
        std::string text;
        if (!remote) {
            char buffer[kRemoteTextChars] = {};
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = buffer;
            item.cchTextMax = 255;
            SendMessageA(c, LVM_GETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
            text = buffer;
        } else {
            const auto record = tavro::ListTextRecord(block.Layout(), column, block.Address(kRemoteTextOffset), 255);
            if (!RemoteRecordText(args, c, LVM_GETITEMTEXTA, static_cast<WPARAM>(index), record, block, reply, text))
                return {};
        }
        row += text;
    }
    return row;
}

// TCN_SELCHANGE to the tab control's parent; the result is the parent's
// reply. Across processes the header lives in the parent's process.
long NotifyTabChange(const std::string& args, HWND c)
{
    HWND parent = GetParent(c);
    const UINT_PTR id = static_cast<UINT_PTR>(GetDlgCtrlID(c));
    LRESULT reply = 0;
    if (!tavro::OfOtherProcess(parent)) {
        NMHDR header = {};
        header.hwndFrom = c;
        header.idFrom = id;
        header.code = TCN_SELCHANGE;
        reply = SendMessageA(parent, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
        return static_cast<long>(reply);
    }
    // Wine carries no WM_NOTIFY between processes, whatever its header
    // points to: there the parent's own thread sends it (RemoteMenu.h).
    if (tavro::RunningUnderWine()) {
        if (tavro::SendNotifyInOwnerThread(parent, c, id, static_cast<UINT>(TCN_SELCHANGE), reply))
            return static_cast<long>(reply);
        TAVRO_TRACE("MidiTools", "SetControlCurSel", args, "the dialog's thread did not take the notification");
        return 0;
    }
    tavro::RemoteBlock block(parent, kRemoteTextOffset);
    const auto record =
        tavro::NotifyRecord(block.Layout(), reinterpret_cast<intptr_t>(c), id, static_cast<uint32_t>(TCN_SELCHANGE));
    if (!block || !block.Write(0, record.data(), record.size())) {
        TAVRO_TRACE("MidiTools", "SetControlCurSel", args,
                    "cannot place the notification in the dialog's process: " +
                        (block ? tavro::LastErrorText() : block.Error()));
        return 0;
    }
    if (!Ask("SetControlCurSel", args, parent, WM_NOTIFY, id, block.Param(), reply)) {
        block.LeaveToTarget();
        return 0;
    }
    return static_cast<long>(reply);
}

// The whole text of a control of another process, which GetWindowText
// cannot read (it gives the text the control was created with).
bool RemoteWindowText(const std::string& args, HWND c, std::string& text)
{
    LRESULT length = 0;
    if (!Ask("GetControlText", args, c, WM_GETTEXTLENGTH, 0, 0, length, true))
        return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    LRESULT copied = 0;
    if (!Ask("GetControlText", args, c, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied,
             true))
        return false;
    buffer.back() = L'\0';
    text = tavro::ToAnsi(buffer.data(), wcslen(buffer.data()));
    return true;
}

} // namespace

std::string CMidiToolsCtrl::GetControlText(long Index)
{
    HWND c = FindControl("GetControlText", Args(Index), Index);
    if (!c || !tavro::OfOtherProcess(c))
        return tavro::WindowTitle(c);
    std::string text;
    return RemoteWindowText(Args(Index), c, text) ? text : std::string();
}

BOOL CMidiToolsCtrl::SetControlText(long controlIndex, const std::string& Text)
{
    const std::string args = Args(controlIndex) + ", " + tavro::TraceQuote(Text);
    HWND c = FindControl("SetControlText", args, controlIndex);
    if (!c)
        return FALSE;
    if (!tavro::OfOtherProcess(c)) {
        if (!SetWindowTextA(c, Text.c_str())) {
            TAVRO_TRACE("MidiTools", "SetControlText", args, "SetWindowText failed: " + tavro::LastErrorText());
            return FALSE;
        }
    } else {
        const std::wstring wide = tavro::ToWide(Text);
        LRESULT set = 0;
        if (!Ask("SetControlText", args, c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), set, true))
            return FALSE;
        if (!set) {
            TAVRO_TRACE("MidiTools", "SetControlText", args, "the control refused the text");
            return FALSE;
        }
    }
    NotifyParent("SetControlText", args, c, EN_CHANGE);
    return TRUE;
}

std::string CMidiToolsCtrl::GetControlClass(long controlIndex)
{
    return tavro::WindowClass(FindControl("GetControlClass", Args(controlIndex), controlIndex), kClassBuffer);
}

std::string CMidiToolsCtrl::GetControlType(long controlIndex)
{
    HWND c = FindControl("GetControlType", Args(controlIndex), controlIndex);
    if (!c)
        return {};
    return tavro::ClassifyControl(tavro::WindowClass(c, kTypeClassBuffer), GetWindowLongA(c, GWL_STYLE)).typeName;
}

BOOL CMidiToolsCtrl::IsControlEnabled(long controlIndex)
{
    HWND c = FindControl("IsControlEnabled", Args(controlIndex), controlIndex);
    return c && IsWindowEnabled(c);
}

BOOL CMidiToolsCtrl::IsControlVisible(long controlIndex)
{
    HWND c = FindControl("IsControlVisible", Args(controlIndex), controlIndex);
    return c && IsWindowVisible(c);
}

long CMidiToolsCtrl::GetControlCheckState(long controlIndex)
{
    HWND c = FindControl("GetControlCheckState", Args(controlIndex), controlIndex);
    LRESULT state = 0;
    return c && Ask("GetControlCheckState", Args(controlIndex), c, BM_GETCHECK, 0, 0, state) ? static_cast<long>(state)
                                                                                             : 0;
}

BOOL CMidiToolsCtrl::SetControlCheckState(long controlIndex, long newState)
{
    const std::string args = Args(controlIndex, newState);
    if (newState < 0 || newState > 2) {
        TAVRO_TRACE("MidiTools", "SetControlCheckState", args, "the state must be 0, 1 or 2");
        return FALSE;
    }
    HWND c = FindControl("SetControlCheckState", args, controlIndex);
    LRESULT reply = 0;
    if (!c || !Ask("SetControlCheckState", args, c, BM_SETCHECK, static_cast<WPARAM>(newState), 0, reply))
        return FALSE;
    NotifyParent("SetControlCheckState", args, c, BN_CLICKED);
    return TRUE;
}

long CMidiToolsCtrl::GetControlCurSel(long controlIndex)
{
    HWND c = FindControl("GetControlCurSel", Args(controlIndex), controlIndex);
    const int kind = c ? KindOf(c) : 0;
    const UINT message = kind == tavro::kListBoxSingleSel ? LB_GETCURSEL
                         : IsCombo(kind)                  ? CB_GETCURSEL
                         : kind == tavro::kTabControl     ? TCM_GETCURSEL
                                                          : 0;
    LRESULT selection = 0;
    return message && Ask("GetControlCurSel", Args(controlIndex), c, message, 0, 0, selection)
               ? static_cast<long>(selection)
               : 0;
}

long CMidiToolsCtrl::SetControlCurSel(long controlIndex, long selectionIndex)
{
    const std::string args = Args(controlIndex, selectionIndex);
    HWND c = FindControl("SetControlCurSel", args, controlIndex);
    if (!c)
        return 0;
    const int kind = KindOf(c);
    const WPARAM selection = static_cast<WPARAM>(selectionIndex);
    LRESULT reply = 0;
    if (kind == tavro::kListBoxSingleSel || IsCombo(kind)) {
        if (!Ask("SetControlCurSel", args, c, kind == tavro::kListBoxSingleSel ? LB_SETCURSEL : CB_SETCURSEL, selection,
                 0, reply))
            return 0;
        NotifyParent("SetControlCurSel", args, c, LBN_SELCHANGE); // CBN_SELCHANGE has the same value
        return static_cast<long>(reply);
    }
    if (kind == tavro::kTabControl) {
        if (!Ask("SetControlCurSel", args, c, TCM_SETCURSEL, selection, 0, reply))
            return 0;
        return NotifyTabChange(args, c);
    }
    TAVRO_TRACE("MidiTools", "SetControlCurSel", args, "control " + Args(controlIndex) + " has no single selection");
    return -1;
}

long CMidiToolsCtrl::GetControlItemsCount(long controlIndex)
{
    HWND c = FindControl("GetControlItemsCount", Args(controlIndex), controlIndex);
    const int kind = c ? KindOf(c) : 0;
    const UINT message = IsList(kind)                 ? LB_GETCOUNT
                         : IsCombo(kind)              ? CB_GETCOUNT
                         : kind == tavro::kTabControl ? TCM_GETITEMCOUNT
                         : kind == tavro::kListView   ? LVM_GETITEMCOUNT
                                                      : 0;
    LRESULT count = 0;
    return message && Ask("GetControlItemsCount", Args(controlIndex), c, message, 0, 0, count)
               ? static_cast<long>(count)
               : 0;
}

std::string CMidiToolsCtrl::GetControlItemText(long controlIndex, long itemIndex)
{
    const std::string args = Args(controlIndex, itemIndex);
    HWND c = FindControl("GetControlItemText", args, controlIndex);
    const int kind = c ? KindOf(c) : 0;
    if (IsList(kind))
        return ItemString(args, c, LB_GETTEXTLEN, LB_GETTEXT, itemIndex);
    if (IsCombo(kind))
        return ItemString(args, c, CB_GETLBTEXTLEN, CB_GETLBTEXT, itemIndex);
    if (kind == tavro::kTabControl)
        return TabText(args, c, itemIndex);
    if (kind == tavro::kListView)
        return RowText(args, c, itemIndex);
    return {};
}

long CMidiToolsCtrl::GetControlItemData(long controlIndex, long itemIndex)
{
    const std::string args = Args(controlIndex, itemIndex);
    HWND c = FindControl("GetControlItemData", args, controlIndex);
    if (!c)
        return 0;
    const int kind = KindOf(c);
    if (!IsList(kind) && !IsCombo(kind))
        return itemIndex;
    LRESULT data = 0;
    return Ask("GetControlItemData", args, c, IsList(kind) ? LB_GETITEMDATA : CB_GETITEMDATA,
               static_cast<WPARAM>(itemIndex), 0, data)
               ? static_cast<long>(data)
               : 0;
}

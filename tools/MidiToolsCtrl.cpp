// MidiTools: the dispatch table and the output and script-control methods.
#include "tools/MidiToolsCtrl.h"

#include "module/Trace.h"
#include "interface/Resources.h"
#include "TAVRO_h.h"
#include "tools/Scale.h"
#include "common/Wildcard.h"

#include <olectl.h>

namespace {

// Methods that drive windows never fail a call: TAVRO_DISP_OR rows give
// their failure result also for arguments of the wrong type.
const tavro::DispatchEntry kDispatch[] = {
    TAVRO_DISP(DISPID_ABOUTBOX, "AboutBox", VT_EMPTY, &CMidiToolsCtrl::AboutBox),
    TAVRO_DISP(1, "Print", VT_EMPTY, &CMidiToolsCtrl::Print),
    TAVRO_DISP(2, "Cls", VT_EMPTY, &CMidiToolsCtrl::Cls),
    TAVRO_DISP(3, "PrintLN", VT_EMPTY, &CMidiToolsCtrl::PrintLN),
    TAVRO_DISP(4, "Scale", VT_I4, &CMidiToolsCtrl::Scale),
    TAVRO_DISP(5, "Sleep", VT_EMPTY, &CMidiToolsCtrl::Sleep),
    TAVRO_DISP_OR(6, "GetMenusFromHost", VT_BSTR, &CMidiToolsCtrl::GetMenusFromHost, 0),
    TAVRO_DISP_OR(7, "CallHostMenu", VT_BOOL, &CMidiToolsCtrl::CallHostMenu, 0),
    TAVRO_DISP(8, "Assert", VT_EMPTY, &CMidiToolsCtrl::Assert),
    TAVRO_DISP(9, "TerminateScript", VT_EMPTY, &CMidiToolsCtrl::TerminateScript),
    TAVRO_DISP(10, "TerminateScriptNOW", VT_EMPTY, &CMidiToolsCtrl::TerminateScriptNOW),
    TAVRO_DISP_OR(11, "GetHostWindowText", VT_BSTR, &CMidiToolsCtrl::GetHostWindowText, 0),
    TAVRO_DISP_OR(12, "IsHostMenuEnabled", VT_BOOL, &CMidiToolsCtrl::IsHostMenuEnabled, -1),
    TAVRO_DISP_OR(13, "IsHostMenuChecked", VT_BOOL, &CMidiToolsCtrl::IsHostMenuChecked, -1),
    TAVRO_DISP_OR(14, "SetHostToForeground", VT_BOOL, &CMidiToolsCtrl::SetHostToForeground, 0),
    TAVRO_DISP(15, "GetTickCount", VT_I4, &CMidiToolsCtrl::GetTickCount),
    TAVRO_DISP_OR(16, "GetForegroundWindowName", VT_BSTR, &CMidiToolsCtrl::GetForegroundWindowName, 0),
    TAVRO_DISP_OR(17, "GetMouseWindowName", VT_BSTR, &CMidiToolsCtrl::GetMouseWindowName, 0),
    TAVRO_DISP_OR(18, "ClickButton", VT_BOOL, &CMidiToolsCtrl::ClickButton, 0),
    TAVRO_DISP_OR(19, "GetControlText", VT_BSTR, &CMidiToolsCtrl::GetControlText, 0),
    TAVRO_DISP_OR(20, "IsControlEnabled", VT_BOOL, &CMidiToolsCtrl::IsControlEnabled, 0),
    TAVRO_DISP_OR(21, "IsControlVisible", VT_BOOL, &CMidiToolsCtrl::IsControlVisible, 0),
    TAVRO_DISP_OR(22, "EnumControls", VT_BSTR, &CMidiToolsCtrl::EnumControls, 0),
    TAVRO_DISP_OR(23, "GetControlClass", VT_BSTR, &CMidiToolsCtrl::GetControlClass, 0),
    TAVRO_DISP_OR(24, "SetControlText", VT_BOOL, &CMidiToolsCtrl::SetControlText, 0),
    TAVRO_DISP_OR(25, "WaitForegroundWindow", VT_BOOL, &CMidiToolsCtrl::WaitForegroundWindow, 0),
    TAVRO_DISP_OR(26, "WaitForegroundWindowChanged", VT_BOOL, &CMidiToolsCtrl::WaitForegroundWindowChanged, 0),
    TAVRO_DISP_OR(27, "GetControlCheckState", VT_I4, &CMidiToolsCtrl::GetControlCheckState, 0),
    TAVRO_DISP_OR(28, "SetControlCheckState", VT_BOOL, &CMidiToolsCtrl::SetControlCheckState, 0),
    TAVRO_DISP_OR(29, "IsHostMenu", VT_BOOL, &CMidiToolsCtrl::IsHostMenu, 0),
    TAVRO_DISP_OR(30, "GetHostSubMenuName", VT_BSTR, &CMidiToolsCtrl::GetHostSubMenuName, 0),
    TAVRO_DISP_OR(31, "GetHostSubMenuCount", VT_I4, &CMidiToolsCtrl::GetHostSubMenuCount, 0),
    TAVRO_DISP(32, "ShowEditor", VT_BOOL, &CMidiToolsCtrl::ShowEditor),
    TAVRO_DISP_OR(33, "SetControlWindow", VT_BOOL, &CMidiToolsCtrl::SetControlWindow, 0),
    TAVRO_DISP_OR(34, "GetNumControls", VT_I4, &CMidiToolsCtrl::GetNumControls, 0),
    TAVRO_DISP_OR(35, "EnumAllControls", VT_BSTR, &CMidiToolsCtrl::EnumAllControls, 0),
    TAVRO_DISP_OR(36, "GetControlCurSel", VT_I4, &CMidiToolsCtrl::GetControlCurSel, 0),
    TAVRO_DISP_OR(37, "SetControlCurSel", VT_I4, &CMidiToolsCtrl::SetControlCurSel, 0),
    TAVRO_DISP_OR(38, "GetControlItemsCount", VT_I4, &CMidiToolsCtrl::GetControlItemsCount, 0),
    TAVRO_DISP(39, "PrintTabStopLength", VT_EMPTY, &CMidiToolsCtrl::PrintTabStopLength),
    TAVRO_DISP_OR(40, "GetMouseControl", VT_BSTR, &CMidiToolsCtrl::GetMouseControl, 0),
    TAVRO_DISP_OR(41, "GetControlType", VT_BSTR, &CMidiToolsCtrl::GetControlType, 0),
    TAVRO_DISP_OR(42, "GetControlItemText", VT_BSTR, &CMidiToolsCtrl::GetControlItemText, 0),
    TAVRO_DISP_OR(43, "MsgListBox", VT_BSTR, &CMidiToolsCtrl::MsgListBox, 0),
    TAVRO_DISP(44, "GetClipboardTextLength", VT_I4, &CMidiToolsCtrl::GetClipboardTextLength),
    TAVRO_DISP(45, "GetClipboardText", VT_BSTR, &CMidiToolsCtrl::GetClipboardText),
    TAVRO_DISP(46, "SetClipboardText", VT_EMPTY, &CMidiToolsCtrl::SetClipboardText),
    TAVRO_DISP(47, "EditorGetSelText", VT_BSTR, &CMidiToolsCtrl::EditorGetSelText),
    TAVRO_DISP(48, "EditorReplaceSelText", VT_EMPTY, &CMidiToolsCtrl::EditorReplaceSelText),
    TAVRO_DISP(49, "EditorSelectAll", VT_EMPTY, &CMidiToolsCtrl::EditorSelectAll),
    TAVRO_DISP(50, "EditorAddText", VT_EMPTY, &CMidiToolsCtrl::EditorAddText),
    TAVRO_DISP(51, "GetClipboardData", VT_BSTR, &CMidiToolsCtrl::GetClipboardData),
    TAVRO_DISP(52, "SetClipboardData", VT_EMPTY, &CMidiToolsCtrl::SetClipboardData),
    TAVRO_DISP(53, "FileRead", VT_BSTR, &CMidiToolsCtrl::FileRead),
    TAVRO_DISP(54, "FileWrite", VT_BOOL, &CMidiToolsCtrl::FileWrite),
    TAVRO_DISP(55, "FileAppend", VT_BOOL, &CMidiToolsCtrl::FileAppend),
    TAVRO_DISP(56, "FileExist", VT_BOOL, &CMidiToolsCtrl::FileExist),
    TAVRO_DISP(57, "FolderExist", VT_BOOL, &CMidiToolsCtrl::FolderExist),
    TAVRO_DISP(58, "GetFileSize", VT_I4, &CMidiToolsCtrl::GetFileSize),
    TAVRO_DISP(59, "FileCopy", VT_BOOL, &CMidiToolsCtrl::FileCopy),
    TAVRO_DISP(60, "FileMove", VT_BOOL, &CMidiToolsCtrl::FileMove),
    TAVRO_DISP(61, "FileDelete", VT_BOOL, &CMidiToolsCtrl::FileDelete),
    TAVRO_DISP(62, "GetFileTitle", VT_BSTR, &CMidiToolsCtrl::GetFileTitle),
    TAVRO_DISP(63, "SendKeys", VT_EMPTY, &CMidiToolsCtrl::SendKeys),
    TAVRO_DISP(64, "IsClipboardFormatAvailable", VT_BOOL, &CMidiToolsCtrl::IsClipboardFormatAvailable),
    TAVRO_DISP_OR(65, "SetCurrentHost", VT_BOOL, &CMidiToolsCtrl::SetCurrentHost, 0),
    TAVRO_DISP_OR(66, "GetForegroundClassName", VT_BSTR, &CMidiToolsCtrl::GetForegroundClassName, 0),
    TAVRO_DISP(67, "FileFind", VT_I4, &CMidiToolsCtrl::FileFind),
    TAVRO_DISP(68, "RunApp", VT_BOOL, &CMidiToolsCtrl::RunApp),
    TAVRO_DISP(69, "IsLike", VT_BOOL, &CMidiToolsCtrl::IsLike),
    TAVRO_DISP_OR(70, "EnumWindows", VT_I4, &CMidiToolsCtrl::EnumWindows, 0),
    TAVRO_DISP_OR(71, "GetControlItemData", VT_I4, &CMidiToolsCtrl::GetControlItemData, 0),
    TAVRO_DISP(72, "PrintFont", VT_BOOL, &CMidiToolsCtrl::PrintFont),
    TAVRO_DISP_OR(73, "SetControlFocus", VT_BOOL, &CMidiToolsCtrl::SetControlFocus, 0),
};

} // namespace

const tavro::ControlClass CMidiToolsCtrl::kClass = {
    &CLSID_MidiTools,
    &DIID__DMidiTools,
    &DIID__DMidiToolsEvents,
    L"TAVRO.MidiToolsCtrl.1",
    tavro::MakeDispatchTable(kDispatch),
    tavro::kControlMiscStatus | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INVISIBLEATRUNTIME,
    IDD_ABOUTBOX_MIDITOOLS,
    &CLSID_MidiToolsPropPage,
};

CMidiToolsCtrl::CMidiToolsCtrl() : ControlBase(kClass)
{}

IUnknown* CMidiToolsCtrl::Create()
{
    return static_cast<IDispatch*>(new CMidiToolsCtrl);
}

// ---- Debug output -----------------------------------------------------

void CMidiToolsCtrl::Print(const std::string& DebugString)
{
    OutputDebugStringA(DebugString.c_str());
}

void CMidiToolsCtrl::Cls()
{
    OutputDebugStringA("\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

void CMidiToolsCtrl::PrintLN(const std::string& DebugString)
{
    OutputDebugStringA((DebugString + "\r\n").c_str());
}

// ---- Script control -----------------------------------------------------

long CMidiToolsCtrl::Scale(double val, double valMin, double valMax, double resultMin, double resultMax)
{
    return tavro::ScaleValue(val, valMin, valMax, resultMin, resultMax);
}

void CMidiToolsCtrl::Sleep(long msecWait)
{
    // A negative wait would be an endless or near-endless sleep of the
    // host's thread; it returns at once instead.
    if (msecWait > 0)
        ::Sleep(static_cast<DWORD>(msecWait));
}

void CMidiToolsCtrl::Assert(long TestValueNotZero)
{
    if (TestValueNotZero == 0)
        throw tavro::DispatchException{TOOLS_ERR_SCRIPT, "Assertion Failed"};
}

void CMidiToolsCtrl::TerminateScript()
{}

void CMidiToolsCtrl::TerminateScriptNOW()
{
    throw tavro::DispatchException{TOOLS_ERR_SCRIPT, "Programm Stopped by TerminateScriptNOW() function"};
}

long CMidiToolsCtrl::GetTickCount()
{
    return static_cast<long>(::GetTickCount());
}

// ---- Editor family: there is no editor window ---------------------------

BOOL CMidiToolsCtrl::ShowEditor(long bShow)
{
    TAVRO_TRACE("MidiTools", "ShowEditor", std::to_string(bShow), "this host has no editor window");
    return FALSE;
}

void CMidiToolsCtrl::PrintTabStopLength(long)
{}

std::string CMidiToolsCtrl::EditorGetSelText()
{
    TAVRO_TRACE("MidiTools", "EditorGetSelText", "", "this host has no editor window");
    return {};
}

void CMidiToolsCtrl::EditorReplaceSelText(const std::string&)
{}

void CMidiToolsCtrl::EditorSelectAll()
{}

void CMidiToolsCtrl::EditorAddText(const std::string&)
{}

BOOL CMidiToolsCtrl::PrintFont(const std::string&, float)
{
    return TRUE;
}

// ---- Wildcards ----------------------------------------------------------

BOOL CMidiToolsCtrl::IsLike(const std::string& String, const std::string& Expression)
{
    std::string text = String;
    std::string pattern = Expression;
    // Lower-case with the system's rules for the ANSI code page.
    if (!text.empty())
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    if (!pattern.empty())
        CharLowerBuffA(pattern.data(), static_cast<DWORD>(pattern.size()));
    return tavro::WildcardMatch(text.c_str(), pattern.c_str());
}

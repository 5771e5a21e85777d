// MidiTools: the dispatch table and the output and script-control methods.
#include "tools/MidiToolsCtrl.h"

#include "TAVRO_h.h"
#include "tools/scale.h"
#include "tools/wildcard.h"

namespace {

const tavro::DispatchEntry kDispatch[] = {
    TAVRO_DISP(1, "Print", VT_EMPTY, &CMidiToolsCtrl::Print),
    TAVRO_DISP(2, "Cls", VT_EMPTY, &CMidiToolsCtrl::Cls),
    TAVRO_DISP(3, "PrintLN", VT_EMPTY, &CMidiToolsCtrl::PrintLN),
    TAVRO_DISP(4, "Scale", VT_I4, &CMidiToolsCtrl::Scale),
    TAVRO_DISP(5, "Sleep", VT_EMPTY, &CMidiToolsCtrl::Sleep),
    TAVRO_DISP(8, "Assert", VT_EMPTY, &CMidiToolsCtrl::Assert),
    TAVRO_DISP(9, "TerminateScript", VT_EMPTY, &CMidiToolsCtrl::TerminateScript),
    TAVRO_DISP(10, "TerminateScriptNOW", VT_EMPTY, &CMidiToolsCtrl::TerminateScriptNOW),
    TAVRO_DISP(15, "GetTickCount", VT_I4, &CMidiToolsCtrl::GetTickCount),
    TAVRO_DISP(32, "ShowEditor", VT_BOOL, &CMidiToolsCtrl::ShowEditor),
    TAVRO_DISP(39, "PrintTabStopLength", VT_EMPTY, &CMidiToolsCtrl::PrintTabStopLength),
    TAVRO_DISP(47, "EditorGetSelText", VT_BSTR, &CMidiToolsCtrl::EditorGetSelText),
    TAVRO_DISP(48, "EditorReplaceSelText", VT_EMPTY, &CMidiToolsCtrl::EditorReplaceSelText),
    TAVRO_DISP(49, "EditorSelectAll", VT_EMPTY, &CMidiToolsCtrl::EditorSelectAll),
    TAVRO_DISP(50, "EditorAddText", VT_EMPTY, &CMidiToolsCtrl::EditorAddText),
    TAVRO_DISP(69, "IsLike", VT_BOOL, &CMidiToolsCtrl::IsLike),
    TAVRO_DISP(72, "PrintFont", VT_BOOL, &CMidiToolsCtrl::PrintFont),
};

} // namespace

const tavro::ControlClass CMidiToolsCtrl::kClass = {
    &CLSID_MidiTools, &DIID__DMidiTools, &DIID__DMidiToolsEvents, L"TAVRO.MidiToolsCtrl.1",
    tavro::MakeDispatchTable(kDispatch),
};

CMidiToolsCtrl::CMidiToolsCtrl() : ControlBase(kClass) {}

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

void CMidiToolsCtrl::TerminateScript() {}

void CMidiToolsCtrl::TerminateScriptNOW()
{
    throw tavro::DispatchException{TOOLS_ERR_SCRIPT, "Programm Stopped by TerminateScriptNOW() function"};
}

long CMidiToolsCtrl::GetTickCount()
{
    return static_cast<long>(::GetTickCount());
}

// ---- Editor family: there is no editor window ---------------------------

BOOL CMidiToolsCtrl::ShowEditor(long)
{
    return FALSE;
}

void CMidiToolsCtrl::PrintTabStopLength(long) {}

std::string CMidiToolsCtrl::EditorGetSelText()
{
    return {};
}

void CMidiToolsCtrl::EditorReplaceSelText(const std::string&) {}

void CMidiToolsCtrl::EditorSelectAll() {}

void CMidiToolsCtrl::EditorAddText(const std::string&) {}

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

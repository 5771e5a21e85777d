// The MidiTools control: debug output, scaling, sleeping, assertions and
// script termination, wildcard tests (and, as they are built, window
// driving and script utilities).
#pragma once

#include "module/ControlBase.h"

#include <string>

class CMidiToolsCtrl : public tavro::ControlBase {
public:
    static IUnknown* Create();
    static const tavro::ControlClass kClass;

    // Output and script control
    void Print(const std::string& DebugString);
    void Cls();
    void PrintLN(const std::string& DebugString);
    long Scale(double val, double valMin, double valMax, double resultMin, double resultMax);
    void Sleep(long msecWait);
    void Assert(long TestValueNotZero);
    void TerminateScript();
    void TerminateScriptNOW();
    long GetTickCount();
    BOOL ShowEditor(long bShow);
    void PrintTabStopLength(long tabstopLength);
    std::string EditorGetSelText();
    void EditorReplaceSelText(const std::string& strText);
    void EditorSelectAll();
    void EditorAddText(const std::string& strText);
    BOOL PrintFont(const std::string& sFontName, float FontSize);

    // Wildcard matching
    BOOL IsLike(const std::string& String, const std::string& Expression);

private:
    CMidiToolsCtrl();

    // Windows of other applications; plain handles, revalidated on each use.
    HWND m_hHostWnd = nullptr;
    HWND m_hCtrlParent = nullptr;
    HWND m_hCtrlAnchor = nullptr;
};

// Error codes the control raises to scripts.
constexpr uint16_t TOOLS_ERR_SENDKEYS = 2000;
constexpr uint16_t TOOLS_ERR_SCRIPT = 2012;

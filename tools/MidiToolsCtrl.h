// The MidiTools control: debug output, scaling, sleeping, assertions and
// script termination, keystrokes, clipboard, files, file search, programs
// and wildcard tests, and driving the windows of other applications: the
// host window and its menus, window controls and foreground windows.
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

    // Clipboard (ToolsClipboard.cpp)
    long GetClipboardTextLength();
    std::string GetClipboardText();
    void SetClipboardText(const std::string& strData);
    std::string GetClipboardData(const std::string& formatName);
    void SetClipboardData(const std::string& formatName, const std::string& strData);
    BOOL IsClipboardFormatAvailable(const std::string& formatName);

    // Files and programs (ToolsFiles.cpp)
    std::string FileRead(const std::string& fileName);
    BOOL FileWrite(const std::string& fileName, const std::string& strData);
    BOOL FileAppend(const std::string& fileName, const std::string& strData);
    BOOL FileExist(const std::string& fileName);
    BOOL FolderExist(const std::string& folderName);
    long GetFileSize(const std::string& fileName);
    BOOL FileCopy(const std::string& fileName, const std::string& newfileName, long bReplaceIfExist);
    BOOL FileMove(const std::string& fileName, const std::string& newfileName, long bReplaceIfExist);
    BOOL FileDelete(const std::string& fileName);
    std::string GetFileTitle(const std::string& fileName);
    BOOL RunApp(const std::string& sAppName, const std::string& sParams);

    // Keyboard input (ToolsSendKeys.cpp)
    void SendKeys(const std::string& strKeys);

    // File search (ToolsFileFind.cpp)
    long FileFind(VARIANT* filesArray, const std::string& sFolder, const std::string& sFind, long bSubDir, long nSort);

    // Wildcard matching
    BOOL IsLike(const std::string& String, const std::string& Expression);

    // Host window and its menus (ToolsMenus.cpp)
    BOOL SetCurrentHost(const std::string& strClassName, const std::string& strWindowName);
    std::string GetHostWindowText();
    BOOL SetHostToForeground();
    std::string GetMenusFromHost(const std::string& rootMenuName);
    BOOL CallHostMenu(const std::string& menuName, long bWait);
    BOOL IsHostMenu(const std::string& menuName);
    long IsHostMenuEnabled(const std::string& menuName);
    long IsHostMenuChecked(const std::string& menuName);
    std::string GetHostSubMenuName(const std::string& mainMenu, long submenuIndex);
    long GetHostSubMenuCount(const std::string& rootMenuName);

    // Window controls (ToolsControls.cpp, ToolsControlItems.cpp)
    BOOL SetControlWindow(long controlIndex);
    long GetNumControls(long controlIndex);
    std::string EnumControls();
    std::string EnumAllControls();
    std::string GetMouseControl();
    BOOL ClickButton(const std::string& buttonName);
    BOOL SetControlFocus(long Index);
    std::string GetControlText(long Index);
    BOOL SetControlText(long controlIndex, const std::string& Text);
    std::string GetControlClass(long controlIndex);
    std::string GetControlType(long controlIndex);
    BOOL IsControlEnabled(long controlIndex);
    BOOL IsControlVisible(long controlIndex);
    long GetControlCheckState(long controlIndex);
    BOOL SetControlCheckState(long controlIndex, long newState);
    long GetControlCurSel(long controlIndex);
    long SetControlCurSel(long controlIndex, long selectionIndex);
    long GetControlItemsCount(long controlIndex);
    std::string GetControlItemText(long controlIndex, long itemIndex);
    long GetControlItemData(long controlIndex, long itemIndex);

    // Foreground windows and window enumeration (ToolsWindows.cpp)
    std::string GetForegroundWindowName();
    std::string GetForegroundClassName();
    std::string GetMouseWindowName();
    BOOL WaitForegroundWindow(const std::string& winName, long MsecWaitTime);
    BOOL WaitForegroundWindowChanged(const std::string& oldwinName, long MsecWaitTime);
    long EnumWindows(VARIANT* classArray, VARIANT* nameArray);
    std::string MsgListBox(const std::string& strData, const std::string& strSelection, const std::string& strTitle,
                           const std::string& strHelp, long bMultiSelect, long bSort);

private:
    CMidiToolsCtrl();

    // The host window while it is still a window, otherwise null.
    HWND GetHostWindow() const;
    // The control parent while it is valid, otherwise the foreground window
    // (forgetting the control parent).
    HWND GetTargetWindow();
    // The i-th direct child (from 1) of the target window, or null.
    HWND GetControlByIndex(long index);
    // The same, tracing a failure of `method` when there is no such control.
    HWND FindControl(const char* method, const std::string& args, long index);

    // Windows of other applications; plain handles, revalidated on each use.
    HWND m_hHostWnd = nullptr;
    HWND m_hCtrlParent = nullptr;
    HWND m_hCtrlAnchor = nullptr;
};

// Error codes the control raises to scripts.
constexpr uint16_t TOOLS_ERR_SENDKEYS = 2000;
constexpr uint16_t TOOLS_ERR_SCRIPT = 2012;
constexpr uint16_t TOOLS_ERR_FILEFIND = 1000;

namespace tavro {
// A window's whole title ("" for none) and class name, as 8-bit text.
std::string WindowTitle(HWND hwnd);
std::string WindowClass(HWND hwnd, int bufferChars);
// Title comparison of the foreground methods: whole text, case ignored.
bool SameTitle(const std::string& a, const std::string& b);
} // namespace tavro

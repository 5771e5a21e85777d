// The MidiTools control: debug output, scaling, sleeping, assertions and
// script termination, keystrokes, clipboard, files, file search, programs
// and wildcard tests (and, as they are built, window driving).
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
    long FileFind(VARIANT* filesArray, const std::string& sFolder, const std::string& sFind, long bSubDir,
                  long nSort);

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
constexpr uint16_t TOOLS_ERR_FILEFIND = 1000;

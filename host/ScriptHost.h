// The script site: runs one script file in a VBScript or JScript engine on
// the calling (single-threaded apartment) thread, reports script errors and
// keeps the event connections that WScript.ConnectObject makes.
#pragma once

#include "module/ComObject.h"
#include "module/ComUtil.h"

#include <activscp.h>
#include <ocidl.h>

#include <string>
#include <vector>

namespace tavro::host {

class WScriptObject;

class ScriptHost : public ComObject<ScriptHost, IActiveScriptSite> {
public:
    static constexpr InterfaceEntry<ScriptHost> kInterfaces[] = {
        TAVRO_INTERFACE_IID(ScriptHost, IActiveScriptSite, __uuidof(IActiveScriptSite)),
    };

    // `scriptPath` as given on the command line; `args` are the script's.
    ScriptHost(std::wstring scriptPath, std::vector<std::wstring> args);

    // Parses and runs `code`; returns the process exit code: the code of
    // WScript.Quit, 1 after a script error, 0 otherwise.
    int Run(const std::wstring& code);

    const std::wstring& ScriptFullName() const { return fullName_; }
    std::wstring ScriptName() const;
    const std::vector<std::wstring>& Arguments() const { return args_; }

    // Ends the run with `exitCode`. The engines here cannot interrupt a
    // running script, so when interrupting fails the process exits at once.
    void Terminate(int exitCode);

    // Waits `ms` milliseconds while dispatching this thread's window
    // messages, so events that objects post to their windows are delivered.
    void Sleep(long ms);

    // Connects `object`'s default source interface to the script procedures
    // named prefix + event name; fills `error` on failure.
    HRESULT Connect(IUnknown* object, const std::wstring& prefix, std::wstring* error);
    // Drops every connection made to `object`.
    void Disconnect(IUnknown* object);

    // An event handler failed with `hr`: reports it unless the engine did,
    // then ends the run with exit code 1.
    void HandlerFailed(HRESULT hr, EXCEPINFO* excep, unsigned errorsBefore);
    unsigned ErrorCount() const { return errors_; }

    // IActiveScriptSite
    STDMETHODIMP GetLCID(LCID* lcid) override;
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    STDMETHODIMP GetDocVersionString(BSTR* version) override;
    STDMETHODIMP OnScriptTerminate(const VARIANT* result, const EXCEPINFO* excep) override;
    STDMETHODIMP OnStateChange(SCRIPTSTATE state) override;
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override;
    STDMETHODIMP OnEnterScript() override;
    STDMETHODIMP OnLeaveScript() override;

private:
    ~ScriptHost() override;
    void DisconnectAll();
    void ReportError(const std::wstring& source, const std::wstring& description, HRESULT code, ULONG line, LONG column,
                     const std::wstring& lineText);

    struct Connection {
        ComPtr<IUnknown> identity;
        ComPtr<IConnectionPoint> point;
        DWORD cookie;
    };

    std::wstring path_;
    std::wstring fullName_;
    std::vector<std::wstring> args_;
    bool caseSensitive_ = false; // JScript names are case-sensitive
    ComPtr<IActiveScript> engine_;
    ComPtr<IDispatch> wscript_;
    std::vector<Connection> connections_;
    unsigned errors_ = 0;
    bool quitting_ = false;
    int exitCode_ = 0;

    friend class ComObject<ScriptHost, IActiveScriptSite>;
};

} // namespace tavro::host

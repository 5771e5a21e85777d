// Running a script in its engine, the site callbacks, error reports,
// sleeping with message dispatch and the event connections.
#include "host/ScriptHost.h"

#include "host/Console.h"
#include "host/EventSink.h"
#include "host/WScriptObject.h"

#include <cwchar>

namespace tavro::host {

namespace {

std::wstring HexCode(HRESULT code)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// The error number a script would see: scode, else the engine's wCode.
HRESULT CodeOf(const EXCEPINFO& info, HRESULT fallback)
{
    if (info.scode)
        return info.scode;
    if (info.wCode)
        return static_cast<HRESULT>(0x800A0000u | info.wCode);
    return fallback;
}

void ClearExcepInfo(EXCEPINFO* info)
{
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    ZeroMemory(info, sizeof(*info));
}

std::wstring Text(BSTR s)
{
    return s ? std::wstring(s, SysStringLen(s)) : std::wstring();
}

// The system's text for `code`, for errors the engine gave no description.
std::wstring SystemText(HRESULT code)
{
    wchar_t* text = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = n ? std::wstring(text, n) : std::wstring(L"(no description)");
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return result;
}

bool EndsWith(const std::wstring& text, const wchar_t* suffix)
{
    const size_t n = wcslen(suffix);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, suffix) == 0;
}

} // namespace

ScriptHost::ScriptHost(std::wstring scriptPath, std::vector<std::wstring> args)
    : path_(std::move(scriptPath)), args_(std::move(args))
{
    wchar_t full[MAX_PATH * 4] = {};
    DWORD n = GetFullPathNameW(path_.c_str(), MAX_PATH * 4, full, nullptr);
    fullName_ = n > 0 && n < MAX_PATH * 4 ? std::wstring(full, n) : path_;
}

ScriptHost::~ScriptHost() = default;

std::wstring ScriptHost::ScriptName() const
{
    const size_t slash = fullName_.find_last_of(L"\\/");
    return slash == std::wstring::npos ? fullName_ : fullName_.substr(slash + 1);
}

int ScriptHost::Run(const std::wstring& code)
{
    const wchar_t* language = nullptr;
    if (EndsWith(path_, L".vbs"))
        language = L"VBScript";
    else if (EndsWith(path_, L".js"))
        language = L"JScript";
    if (!language) {
        WriteLine(STD_ERROR_HANDLE, L"tavrorun: " + path_ + L": the file name must end in .vbs or .js");
        return 1;
    }
    caseSensitive_ = language[0] == L'J';

    CLSID clsid;
    ComPtr<IActiveScriptParse> parse;
    HRESULT hr = CLSIDFromProgID(language, &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                              reinterpret_cast<void**>(engine_.out()));
    if (SUCCEEDED(hr))
        hr = engine_->QueryInterface(__uuidof(IActiveScriptParse), reinterpret_cast<void**>(parse.out()));
    if (SUCCEEDED(hr)) {
        auto* wscript = new WScriptObject(this);
        wscript_ = ComPtr<IDispatch>(wscript);
        wscript->Release();
        hr = engine_->SetScriptSite(this);
    }
    if (SUCCEEDED(hr))
        hr = parse->InitNew();
    if (SUCCEEDED(hr))
        hr = engine_->AddNamedItem(L"WScript", SCRIPTITEM_ISVISIBLE);
    if (SUCCEEDED(hr))
        hr = engine_->SetScriptState(SCRIPTSTATE_STARTED);
    if (FAILED(hr)) {
        WriteLine(STD_ERROR_HANDLE,
                  std::wstring(L"tavrorun: cannot start the ") + language + L" engine (" + HexCode(hr) + L")");
        errors_++;
    } else {
        // In the started state the engine runs the text as it parses it.
        EXCEPINFO info = {};
        hr =
            parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr, &info);
        if (FAILED(hr) && errors_ == 0 && !quitting_) {
            if (info.pfnDeferredFillIn)
                info.pfnDeferredFillIn(&info);
            ReportError(Text(info.bstrSource), Text(info.bstrDescription), CodeOf(info, hr), 0, 0, {});
        }
        ClearExcepInfo(&info);
    }

    DisconnectAll();
    if (engine_)
        engine_->Close();
    engine_.reset();
    if (wscript_)
        static_cast<WScriptObject*>(wscript_.get())->Detach();
    wscript_.reset();
    if (quitting_)
        return exitCode_;
    return errors_ ? 1 : 0;
}

void ScriptHost::Terminate(int exitCode)
{
    if (quitting_)
        return;
    quitting_ = true;
    exitCode_ = exitCode;
    if (engine_ && SUCCEEDED(engine_->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0)))
        return;
    // Output is written unbuffered, so nothing is lost.
    ExitProcess(static_cast<UINT>(exitCode));
}

void ScriptHost::Sleep(long ms)
{
    const DWORD total = ms > 0 ? static_cast<DWORD>(ms) : 0;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (!quitting_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (quitting_ || elapsed >= total)
            return;
        MsgWaitForMultipleObjectsEx(0, nullptr, total - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

HRESULT ScriptHost::Connect(IUnknown* object, const std::wstring& prefix, std::wstring* error)
{
    ComPtr<IUnknown> identity;
    HRESULT hr = object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.out()));
    if (FAILED(hr)) {
        *error = L"not an object";
        return hr;
    }
    IID iid;
    ComPtr<ITypeInfo> events;
    hr = FindDefaultSource(identity.get(), &iid, events.out(), error);
    if (FAILED(hr))
        return hr;

    ComPtr<IDispatch> script;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (!engine_ || FAILED(hr = engine_->GetScriptDispatch(nullptr, script.out()))) {
        *error = L"the script engine does not expose its procedures";
        return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    if (FAILED(
            hr = identity->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.out()))) ||
        FAILED(hr = container->FindConnectionPoint(iid, point.out()))) {
        *error = L"the object has no connection point for its events";
        return hr;
    }
    EventSink* created = nullptr;
    if (FAILED(hr = EventSink::Create(this, iid, events.get(), script.get(), prefix, caseSensitive_, &created))) {
        *error = L"the event interface is not a dispinterface";
        return hr;
    }
    ComPtr<EventSink> sink(created);
    created->Release();
    DWORD cookie = 0;
    if (FAILED(hr = point->Advise(static_cast<IDispatch*>(sink.get()), &cookie))) {
        *error = L"the object refused the connection";
        return hr;
    }
    connections_.push_back({identity, point, cookie});
    return S_OK;
}

void ScriptHost::Disconnect(IUnknown* object)
{
    ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.out()))))
        return;
    // Taken out of the list first: unadvising releases a sink, which may
    // release the last reference to the host or call into the script.
    std::vector<Connection> dropped;
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->identity.get() == identity.get()) {
            dropped.push_back(std::move(*it));
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
    for (Connection& c : dropped)
        c.point->Unadvise(c.cookie);
}

void ScriptHost::DisconnectAll()
{
    std::vector<Connection> dropped;
    dropped.swap(connections_);
    for (Connection& c : dropped)
        c.point->Unadvise(c.cookie);
}

void ScriptHost::HandlerFailed(HRESULT hr, EXCEPINFO* excep, unsigned errorsBefore)
{
    if (excep->pfnDeferredFillIn)
        excep->pfnDeferredFillIn(excep);
    if (!quitting_ && errors_ == errorsBefore)
        ReportError(Text(excep->bstrSource), L"in an event handler: " + Text(excep->bstrDescription),
                    CodeOf(*excep, hr), 0, 0, {});
    ClearExcepInfo(excep);
    Terminate(1);
}

void ScriptHost::ReportError(const std::wstring& source, const std::wstring& description, HRESULT code, ULONG line,
                             LONG column, const std::wstring& lineText)
{
    errors_++;
    std::wstring where = path_;
    if (line > 0)
        where += L"(" + std::to_wstring(line) + L", " + std::to_wstring(column) + L")";
    WriteLine(STD_ERROR_HANDLE, where + L": " + (source.empty() ? L"script error" : source) + L": " +
                                    (description.empty() ? SystemText(code) : description) + L" (" + HexCode(code) +
                                    L")");
    if (!lineText.empty())
        WriteLine(STD_ERROR_HANDLE, L"    " + lineText);
}

// ---- IActiveScriptSite ----------------------------------------------------

STDMETHODIMP ScriptHost::GetLCID(LCID*)
{
    return E_NOTIMPL; // the engine uses the user's default
}

STDMETHODIMP ScriptHost::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info)
{
    if (item)
        *item = nullptr;
    if (info)
        *info = nullptr;
    if (!name || _wcsicmp(name, L"WScript") != 0 || !wscript_)
        return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_IUNKNOWN) {
        if (!item)
            return E_POINTER;
        *item = wscript_.get();
        (*item)->AddRef();
    }
    // No type information: the engine resolves WScript's members by name.
    if ((mask & SCRIPTINFO_ITYPEINFO) && !(mask & SCRIPTINFO_IUNKNOWN))
        return TYPE_E_ELEMENTNOTFOUND;
    return S_OK;
}

STDMETHODIMP ScriptHost::GetDocVersionString(BSTR* version)
{
    if (version)
        *version = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ScriptHost::OnScriptTerminate(const VARIANT*, const EXCEPINFO*)
{
    return S_OK;
}

STDMETHODIMP ScriptHost::OnStateChange(SCRIPTSTATE)
{
    return S_OK;
}

STDMETHODIMP ScriptHost::OnScriptError(IActiveScriptError* error)
{
    if (!error || quitting_)
        return S_OK;
    EXCEPINFO info = {};
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    Bstr lineText;
    if (SUCCEEDED(error->GetExceptionInfo(&info)) && info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    // The engine counts lines and columns from 0; 0 reports no position.
    if (SUCCEEDED(error->GetSourcePosition(&context, &line, &column)))
        line++;
    else
        line = 0;
    error->GetSourceLineText(lineText.out());
    ReportError(Text(info.bstrSource), Text(info.bstrDescription), CodeOf(info, E_FAIL), line, column + 1,
                Text(lineText.get()));
    ClearExcepInfo(&info);
    return S_OK;
}

STDMETHODIMP ScriptHost::OnEnterScript()
{
    return S_OK;
}

STDMETHODIMP ScriptHost::OnLeaveScript()
{
    return S_OK;
}

} // namespace tavro::host

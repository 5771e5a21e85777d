// Helpers of the MidiTools and MidiFile Windows tests: dispatch calls by
// DISPID with their exception information, and scratch folders.
#pragma once

#include "module/ComUtil.h"
#include "tools/MidiToolsCtrl.h"

#include <string>
#include <vector>

namespace toolstest {

// A new MidiTools control, released with the holder.
class Tools {
public:
    Tools() : unknown_(CMidiToolsCtrl::Create()) {}
    ~Tools() { unknown_->Release(); }
    Tools(const Tools&) = delete;
    Tools& operator=(const Tools&) = delete;
    IDispatch* dispatch() const { return static_cast<IDispatch*>(unknown_); }
    CMidiToolsCtrl* operator->() const { return static_cast<CMidiToolsCtrl*>(dispatch()); }

private:
    IUnknown* unknown_;
};

// One IDispatch::Invoke call: arguments are added first to last and are
// owned (cleared) by the call.
class Call {
public:
    Call(IDispatch* target, DISPID dispid) : target_(target), dispid_(dispid) { VariantInit(&result); }
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    Call& Arg(const VARIANT& v) { args_.push_back(v); return *this; }
    Call& Text(const std::string& ansi);     // VT_BSTR from ANSI text
    Call& Long(long value);                  // VT_I4
    Call& Ref(VARIANT* variable);            // VT_BYREF | VT_VARIANT, as VBScript passes variables
    HRESULT Run();

    VARIANT result;
    EXCEPINFO excep{};

private:
    IDispatch* target_;
    DISPID dispid_;
    std::vector<VARIANT> args_;
};

// The ANSI text of a VT_BSTR result; "<vt N>" for any other type.
std::string ResultText(const VARIANT& v);

// Bytes 0..255 in order.
std::string AllBytes();

// A new empty folder under the temporary folder, with a trailing backslash;
// removed with everything in it when the holder goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Writes and reads files with plain Win32 calls, independent of the controls.
void WriteRaw(const std::string& name, const std::string& bytes);
std::string ReadRaw(const std::string& name); // "<missing>" when it cannot be opened

} // namespace toolstest

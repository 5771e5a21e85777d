// Helpers of the MidiTools and MidiFile Windows tests: dispatch calls by
// DISPID with their exception information, and scratch folders.
#pragma once

#include "module/ComUtil.h"
#include "tools/MidiToolsCtrl.h"

#include <atomic>
#include <fstream>
#include <iterator>
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
    ~Call()
    {
        for (VARIANT& v : args_)
            VariantClear(&v);
        VariantClear(&result);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    Call& Text(const std::string& ansi) { Add(VT_BSTR).bstrVal = tavro::ToBstr(ansi); return *this; }
    Call& Long(LONG value) { Add(VT_I4).lVal = value; return *this; }
    // By reference, as VBScript passes variables.
    Call& Ref(VARIANT* variable) { Add(VT_BYREF | VT_VARIANT).pvarVal = variable; return *this; }

    HRESULT Run()
    {
        std::vector<VARIANT> reversed(args_.rbegin(), args_.rend()); // rgvarg is last to first
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        UINT argErr = 0;
        return target_->Invoke(dispid_, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &excep,
                               &argErr);
    }

    VARIANT result;
    EXCEPINFO excep{};

private:
    VARIANT& Add(VARTYPE vt)
    {
        args_.push_back(VARIANT{});
        args_.back().vt = vt;
        return args_.back();
    }

    IDispatch* target_;
    DISPID dispid_;
    std::vector<VARIANT> args_;
};

// The ANSI text of a VT_BSTR result; "<vt N>" for any other type.
inline std::string ResultText(const VARIANT& v)
{
    return v.vt == VT_BSTR ? tavro::ToAnsi(v.bstrVal) : "<vt " + std::to_string(v.vt) + ">";
}

// Bytes 0..255 in order.
inline std::string AllBytes()
{
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>(i);
    return bytes;
}

// Writes and reads files independently of the controls.
inline void WriteRaw(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}
inline std::string ReadRaw(const std::string& name) // "<missing>" when it cannot be opened
{
    std::ifstream in(name, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : "<missing>";
}

// A new empty folder under the temporary folder, with a trailing backslash;
// removed with everything in it when the holder goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* tag)
    {
        static std::atomic<int> serial{0};
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "tavro_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_"
            + std::to_string(++serial) + "\\";
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    static void RemoveTree(const std::string& folder)
    {
        WIN32_FIND_DATAA data;
        HANDLE h = FindFirstFileA((folder + "*").c_str(), &data);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = data.cFileName;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (name != "." && name != "..")
                        RemoveTree(folder + name + "\\");
                } else {
                    DeleteFileA((folder + name).c_str());
                }
            } while (FindNextFileA(h, &data));
            FindClose(h);
        }
        RemoveDirectoryA(folder.c_str());
    }

    std::string path_;
};

} // namespace toolstest

// Helpers of the MidiTools Windows tests (see tools_test_util.h).
#include "tests/wine/tools_test_util.h"

#include <atomic>
#include <fstream>
#include <iterator>

namespace toolstest {

namespace {

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + "\\");
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(h, &data));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

} // namespace

Call::~Call()
{
    for (VARIANT& v : args_)
        VariantClear(&v);
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
}

Call& Call::Text(const std::string& ansi)
{
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = tavro::ToBstr(ansi);
    return Arg(v);
}

Call& Call::Long(long value)
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return Arg(v);
}

Call& Call::Ref(VARIANT* variable)
{
    VARIANT v;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = variable;
    return Arg(v);
}

HRESULT Call::Run()
{
    std::vector<VARIANT> reversed(args_.rbegin(), args_.rend()); // rgvarg is last to first
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argErr = 0;
    return target_->Invoke(dispid_, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &excep,
                           &argErr);
}

std::string ResultText(const VARIANT& v)
{
    if (v.vt != VT_BSTR)
        return "<vt " + std::to_string(v.vt) + ">";
    return tavro::ToAnsi(v.bstrVal);
}

std::string AllBytes()
{
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>(i);
    return bytes;
}

ScratchFolder::ScratchFolder(const char* tag)
{
    static std::atomic<int> serial{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "tavro_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_"
        + std::to_string(++serial) + "\\";
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path_);
}

void WriteRaw(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadRaw(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace toolstest

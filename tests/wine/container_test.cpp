// The three controls in a container none of us wrote, Wine's ATL host
// window: activation and drawing, misc status, saved state, property page
// and About box; then the saved-state rules and the OCX's own resources.
// Needs a display (Xvfb) and the registered OCX.
#include "tests/wine/test_util.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <thread>

namespace {

using tavro::ComPtr;
using tavro::Variant;

using wt::OcxPath;
using wt::PumpFor;
using wt::PumpUntil;

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// A visible top-level window of this process with a descendant showing `text`.
struct WindowSearch {
    const std::wstring& text;
    HWND found;
};

BOOL CALLBACK SearchChild(HWND child, LPARAM param)
{
    auto* s = reinterpret_cast<WindowSearch*>(param);
    if (IsWindowVisible(child) && TextOf(child) == s->text)
        s->found = GetAncestor(child, GA_ROOT);
    return !s->found;
}

BOOL CALLBACK SearchTop(HWND top, LPARAM param)
{
    auto* s = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(top))
        EnumChildWindows(top, &SearchChild, param);
    return !s->found;
}

HWND FindWindowShowing(const std::wstring& text)
{
    WindowSearch search = {text, nullptr};
    EnumWindows(&SearchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Runs `modal` while another thread waits (60 s at most) for the window
// `find` names, describes it with `inspect` and presses its OK button.
std::wstring RunModal(const std::function<void()>& modal, const std::function<HWND()>& find,
                      const std::function<std::wstring(HWND)>& inspect)
{
    std::wstring seen = L"<no window>";
    std::thread closer([&] {
        for (int i = 0; i < 600; ++i, Sleep(100)) {
            if (HWND window = find()) {
                seen = inspect(window);
                // Posted: a modal loop checks for its end only after a posted message.
                PostMessageW(FindWindowExW(window, nullptr, L"Button", L"OK"), BM_CLICK, 0, 0);
                return;
            }
        }
    });
    modal();
    closer.join();
    return seen;
}

// The smallest property bag: named VARIANTs in memory.
class MemoryBag : public IPropertyBag {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyBag) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        auto it = values.find(name);
        return it == values.end() ? E_INVALIDARG : VariantCopy(value, it->second.get());
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override { return VariantCopy(values[name].get(), value); }
    std::map<std::wstring, Variant> values;
};

LONG BagLong(MemoryBag& bag, const wchar_t* name)
{
    Variant v;
    if (FAILED(bag.Read(name, v.get(), nullptr)) || FAILED(VariantChangeType(v.get(), v.get(), 0, VT_I4)))
        return -1;
    return v->lVal;
}

template <class I>
ComPtr<I> As(IUnknown* object, REFIID iid)
{
    ComPtr<I> result;
    if (object)
        object->QueryInterface(iid, reinterpret_cast<void**>(result.out()));
    return result;
}

ComPtr<IUnknown> NewControl(REFCLSID clsid)
{
    ComPtr<IUnknown> control;
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(control.out())),
        S_OK);
    return control;
}

SIZEL ExtentOf(IUnknown* control)
{
    SIZEL size = {-1, -1};
    As<IOleObject>(control, IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &size);
    return size;
}

struct Shell {
    const wchar_t* name;
    const wchar_t* progId;
    const CLSID* clsid;
    const CLSID* page;
    DWORD miscStatus;
    bool visible;
};

const Shell kShells[] = {
    {L"MidiIO", L"TAVRO.MidiIOCtrl.1", &CLSID_MidiIO, &CLSID_MidiIOPropPage, 0x20091, true},
    {L"MidiFile", L"TAVRO.MidiFileCtrl.1", &CLSID_MidiFile, &CLSID_MidiFilePropPage, 0x20191, true},
    {L"MidiTools", L"TAVRO.MidiToolsCtrl.1", &CLSID_MidiTools, &CLSID_MidiToolsPropPage, 0x20591, false},
};

const COLORREF kRed = RGB(255, 0, 0), kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// One control in an ATL host window (class "AtlAxWin", named by the ProgID)
// inside a top-level window of the test.
class AtlContainer : public ::testing::TestWithParam<Shell> {
protected:
    static void SetUpTestSuite()
    {
        OleInitialize(nullptr);
        atl_ = LoadLibraryW(L"atl.dll");
        auto init =
            reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void (*)()>(GetProcAddress(atl_, "AtlAxWinInit")));
        ASSERT_TRUE(init && init());
        getControl_ = reinterpret_cast<decltype(getControl_)>(
            reinterpret_cast<void (*)()>(GetProcAddress(atl_, "AtlAxGetControl")));
        ASSERT_NE(getControl_, nullptr);
        // One frame for all: without a window manager each top-level window
        // that goes away costs Wine a second.
        frame_ = CreateWindowExW(0, L"Static", L"container test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0,
                                 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(frame_); }

    void SetUp() override
    {
        host_ = CreateWindowExW(0, L"AtlAxWin", GetParam().progId, WS_CHILD | WS_VISIBLE, 20, 20, kWidth, kHeight,
                                frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
        ASSERT_EQ(getControl_(host_, control_.out()), S_OK);
        PumpFor(200);
    }
    void TearDown() override
    {
        control_.reset();
        DestroyWindow(host_);
        PumpFor(100);
    }

    // Paints the host red, has it repaint (the container draws its control)
    // and reads one pixel back.
    COLORREF Repainted(int x, int y)
    {
        HDC dc = GetDC(host_);
        RECT all = {0, 0, kWidth, kHeight};
        HBRUSH red = CreateSolidBrush(kRed);
        FillRect(dc, &all, red);
        DeleteObject(red);
        ReleaseDC(host_, dc);
        InvalidateRect(host_, nullptr, FALSE);
        UpdateWindow(host_);
        return Pixel(x, y);
    }
    COLORREF Pixel(int x, int y)
    {
        HDC dc = GetDC(host_);
        COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(host_, dc);
        return c;
    }

    static constexpr int kWidth = 160, kHeight = 100;
    static HMODULE atl_;
    static HRESULT(WINAPI* getControl_)(HWND, IUnknown**);
    static HWND frame_;
    HWND host_ = nullptr;
    ComPtr<IUnknown> control_;
};

HMODULE AtlContainer::atl_ = nullptr;
HRESULT(WINAPI* AtlContainer::getControl_)(HWND, IUnknown**) = nullptr;
HWND AtlContainer::frame_ = nullptr;

TEST_P(AtlContainer, ActivatesDrawsAndReportsItsStatus)
{
    const Shell& shell = GetParam();
    // Wine's ATL host activates every control windowless and draws it, so
    // MidiTools draws as well: white fill in the corner and inside, the
    // ellipse's black outline where it touches the middle of the left and top
    // edges. A container that honours "invisible at run time" (the flag in
    // the status below) asks no drawing, and then nothing shows.
    EXPECT_TRUE(PumpUntil([&] { return Repainted(kWidth / 2, kHeight / 2) == kWhite; }, 10000));
    EXPECT_EQ(Pixel(1, 1), kWhite);
    bool left = false, top = false;
    for (int i = 0; i < 3; ++i) {
        left = left || Pixel(i, kHeight / 2) == kBlack;
        top = top || Pixel(kWidth / 2, i) == kBlack;
    }
    EXPECT_TRUE(left && top);
    DWORD misc = 0;
    EXPECT_EQ(As<IOleObject>(control_.get(), IID_IOleObject)->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
    EXPECT_EQ(misc, shell.miscStatus);
    EXPECT_EQ((misc & OLEMISC_INVISIBLEATRUNTIME) == 0, shell.visible);
    CAUUID pages = {};
    ASSERT_EQ(As<ISpecifyPropertyPages>(control_.get(), IID_ISpecifyPropertyPages)->GetPages(&pages), S_OK);
    ASSERT_EQ(pages.cElems, 1u);
    EXPECT_TRUE(IsEqualCLSID(pages.pElems[0], *shell.page));
    CoTaskMemFree(pages.pElems);
}

TEST_P(AtlContainer, SavesAndReloadsThroughStreamAndPropertyBag)
{
    const Shell& shell = GetParam();
    SIZEL extent = {1234, 567};
    ASSERT_EQ(As<IOleObject>(control_.get(), IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
    auto stream = As<IPersistStreamInit>(control_.get(), IID_IPersistStreamInit);
    EXPECT_EQ(stream->IsDirty(), S_OK);

    ComPtr<IStream> saved;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, saved.out()), S_OK);
    ASSERT_EQ(stream->Save(saved.get(), TRUE), S_OK);
    EXPECT_EQ(stream->IsDirty(), S_FALSE);
    const LARGE_INTEGER start = {};
    saved->Seek(start, STREAM_SEEK_SET, nullptr);
    DWORD words[4] = {};
    ULONG read = 0;
    saved->Read(words, sizeof words, &read);
    EXPECT_EQ(read, sizeof words);
    EXPECT_EQ(words[0], 0x00010000u); // version 1.0, then the size of the fields
    EXPECT_EQ(words[1], 8u);
    saved->Seek(start, STREAM_SEEK_SET, nullptr);
    ComPtr<IUnknown> fromStream = NewControl(*shell.clsid);
    EXPECT_EQ(As<IPersistStreamInit>(fromStream.get(), IID_IPersistStreamInit)->Load(saved.get()), S_OK);
    EXPECT_EQ(ExtentOf(fromStream.get()).cx, 1234);
    EXPECT_EQ(ExtentOf(fromStream.get()).cy, 567);

    MemoryBag bag;
    ASSERT_EQ(As<IPersistPropertyBag>(control_.get(), IID_IPersistPropertyBag)->Save(&bag, TRUE, TRUE), S_OK);
    EXPECT_EQ(BagLong(bag, L"_Version"), 0x00010000);
    ComPtr<IUnknown> fromBag = NewControl(*shell.clsid);
    auto bagLoad = As<IPersistPropertyBag>(fromBag.get(), IID_IPersistPropertyBag);
    EXPECT_EQ(bagLoad->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(ExtentOf(fromBag.get()).cx, 1234);
    EXPECT_EQ(ExtentOf(fromBag.get()).cy, 567);
    // Text values (PARAM tags of a page) convert, and so does a bag of
    // version 2; a value that is no number fails and changes nothing.
    bag.values[L"_ExtentX"].get()->vt = VT_BSTR;
    bag.values[L"_ExtentX"].get()->bstrVal = SysAllocString(L"2000");
    EXPECT_EQ(bagLoad->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(ExtentOf(fromBag.get()).cx, 2000);
    bag.values[L"_Version"].get()->lVal = 0x00020000;
    bag.values[L"_ExtentX"].get()->bstrVal[0] = L'3';
    EXPECT_EQ(bagLoad->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(ExtentOf(fromBag.get()).cx, 3000);
    bag.values[L"_ExtentX"].get()->bstrVal[0] = L'x';
    EXPECT_EQ(bagLoad->Load(&bag, nullptr), E_FAIL);
    EXPECT_EQ(ExtentOf(fromBag.get()).cx, 3000);
    MemoryBag empty;
    EXPECT_EQ(bagLoad->Load(&empty, nullptr), S_OK);
}

TEST_P(AtlContainer, PropertyPageOpensInTheFrameAndCloses)
{
    const Shell& shell = GetParam();
    const std::wstring line =
        std::wstring(L"TODO: Place controls to manipulate properties of ") + shell.name + L" Control on this dialog.";
    IUnknown* objects[] = {control_.get()};
    HRESULT hr = E_FAIL;
    std::wstring seen = RunModal(
        [&] {
            hr = OleCreatePropertyFrame(frame_, 0, 0, shell.name, 1, objects, 1, const_cast<CLSID*>(shell.page), 0, 0,
                                        nullptr);
        },
        [&] { return FindWindowShowing(line); }, [&](HWND) { return line; });
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(seen, line);
}

TEST_P(AtlContainer, AboutBoxThroughDispatchShowsItsOwnDialog)
{
    const Shell& shell = GetParam();
    const std::wstring title = std::wstring(L"About ") + shell.name + L" Control";
    auto dispatch = As<IDispatch>(control_.get(), IID_IDispatch);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    HRESULT hr = E_FAIL;
    std::wstring seen = RunModal(
        [&] { hr = dispatch->Invoke(DISPID_ABOUTBOX, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr); },
        [&] {
            HWND about = FindWindowW(L"#32770", title.c_str());
            return about && IsWindowVisible(about) ? about : nullptr;
        },
        [](HWND about) {
            // The icon comes first, then the two lines.
            HWND icon = FindWindowExW(about, nullptr, L"Static", nullptr);
            HWND first = FindWindowExW(about, icon, L"Static", nullptr);
            HWND second = FindWindowExW(about, first, L"Static", nullptr);
            const bool hasIcon = SendMessageW(icon, STM_GETICON, 0, 0) != 0;
            return (hasIcon ? L"icon|" : L"no icon|") + TextOf(first) + L"|" +
                   (TextOf(second).empty() ? L"" : L"notice");
        });
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(seen, std::wstring(L"icon|") + shell.name + L" Control, Version 1.0|notice");
}

INSTANTIATE_TEST_SUITE_P(Controls, AtlContainer, ::testing::ValuesIn(kShells),
                         [](const ::testing::TestParamInfo<Shell>& info) {
                             return tavro::ToAnsi(info.param.name, wcslen(info.param.name));
                         });

// ---- The saved-state rules, the look, and the module's resources ---------

struct StreamCase {
    const char* what;
    std::vector<DWORD> words;
    HRESULT hr;
    SIZEL extent; // after the load; the default extent when it failed
};

TEST(SavedState, StreamsOfOtherVersionsConvertOrFailCleanly)
{
    OleInitialize(nullptr);
    const SIZEL before = ExtentOf(NewControl(CLSID_MidiFile).get());
    const DWORD marker = 0xFEEDF00D;
    const StreamCase cases[] = {
        {"1.0", {0x00010000, 8, 100, 200, marker}, S_OK, {100, 200}},
        {"1.3 with a field more", {0x00010003, 12, 300, 400, 7, marker}, S_OK, {300, 400}},
        {"1.0 with one field", {0x00010000, 4, 500, marker}, S_OK, {500, before.cy}},
        {"2.0 converts", {0x00020000, 8, 100, 200, marker}, S_OK, {100, 200}},
        {"0.9 with one field converts", {0x00000009, 4, 600, marker}, S_OK, {600, before.cy}},
        {"3.0 with fields more", {0x00030000, 16, 700, 800, 1, 2, marker}, S_OK, {700, 800}},
        {"2.0 truncated", {0x00020000, 12, 100, 200}, E_FAIL, before},
        {"truncated header", {0x00010000}, E_FAIL, before},
        {"truncated fields", {0x00010000, 8, 100}, E_FAIL, before},
        {"huge size", {0x00010000, 0x7FFFFFFF, 100, 200}, E_FAIL, before},
        {"negative extent", {0x00010000, 8, static_cast<DWORD>(-5), 200}, E_FAIL, before},
        {"empty", {}, E_FAIL, before},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IStream> stream;
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.out()), S_OK);
        stream->Write(c.words.data(), static_cast<ULONG>(c.words.size() * sizeof(DWORD)), nullptr);
        const LARGE_INTEGER start = {};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        ComPtr<IUnknown> control = NewControl(CLSID_MidiFile);
        EXPECT_EQ(As<IPersistStreamInit>(control.get(), IID_IPersistStreamInit)->Load(stream.get()), c.hr);
        EXPECT_EQ(ExtentOf(control.get()).cx, c.extent.cx);
        EXPECT_EQ(ExtentOf(control.get()).cy, c.extent.cy);
        if (c.hr == S_OK) { // the stream is left just after the control's state
            DWORD next = 0;
            stream->Read(&next, sizeof next, nullptr);
            EXPECT_EQ(next, marker);
        }
    }
}

TEST(SavedState, DrawUsesTheCurrentBrushAndIgnoresOtherAspects)
{
    OleInitialize(nullptr);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 20);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    const RECTL bounds = {0, 0, 40, 20};
    // All three draw alike when asked, MidiTools (invisible at run time) too.
    for (const Shell& shell : kShells) {
        SCOPED_TRACE(tavro::ToAnsi(shell.name, wcslen(shell.name)));
        ComPtr<IUnknown> control = NewControl(*shell.clsid);
        auto view = As<IViewObject2>(control.get(), IID_IViewObject2);
        RECT all = {0, 0, 40, 20};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
                  DV_E_DVASPECT);
        EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
        EXPECT_EQ(GetPixel(dc, 0, 0), kWhite);
        EXPECT_EQ(GetPixel(dc, 20, 10), kBlack);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST(Resources, VersionRecordIconAndToolboxBitmaps)
{
    const std::wstring path = OcxPath();
    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 3u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 1u);
    DWORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size));
    EXPECT_EQ(*translation, MAKELONG(0x0409, 1200));
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileDescription", L"TAVRO ActiveX Control Module"},
        {L"FileVersion", L"1, 0, 0, 3"},
        {L"ProductVersion", L"1, 0, 0, 1"},
        {L"InternalName", L"TAVRO"},
        {L"OriginalFilename", L"TAVRO.OCX"},
        {L"OLESelfRegister", L""},
    };
    for (const auto& [name, expected] : strings) {
        wchar_t* value = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        EXPECT_TRUE(VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &size))
            << tavro::ToAnsi(name, wcslen(name));
        EXPECT_EQ(std::wstring(value ? value : L"<missing>"), expected);
    }

    HMODULE ocx = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(ocx, nullptr);
    EXPECT_NE(FindResourceW(ocx, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr); // RT_GROUP_ICON
    for (WORD id = 1; id <= 3; ++id) {
        HRSRC found = FindResourceW(ocx, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2)); // RT_BITMAP
        ASSERT_NE(found, nullptr) << id;
        auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(ocx, found)));
        EXPECT_EQ(header->biWidth, 16) << id;
        EXPECT_EQ(header->biHeight, 15) << id;
        EXPECT_EQ(header->biBitCount, 4) << id;
    }
    FreeLibrary(ocx);
}

} // namespace

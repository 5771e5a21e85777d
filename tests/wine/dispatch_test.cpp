// The control framework seen from a script engine's side: argument coercion
// and counting, result types, dispatch exceptions, type information, class
// info and the event connection point. Uses a test control whose dispatch
// table exercises each argument and result kind.
#include "module/ControlBase.h"
#include "TAVRO_h.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tavro::ComPtr;
using tavro::Variant;

class TestCtrl : public tavro::ControlBase {
public:
    static const tavro::ControlClass kClass;
    TestCtrl() : ControlBase(kClass) {}

    long Sum(long a, double b) { return a + static_cast<long>(b * 10); }
    BOOL IsPositive(long v) { return v > 0 ? 7 : 0; } // any nonzero is true
    std::string Echo(const std::string& s) { return s + "!"; }
    BSTR NullString() { return nullptr; }
    void Fail(long code) { throw tavro::DispatchException{static_cast<uint16_t>(code), "Failure text"}; }
    long Fill(VARIANT* out)
    {
        VariantClear(out);
        out->vt = VT_I4;
        out->lVal = 42;
        return 1;
    }
    void Fire(long times)
    {
        for (long i = 0; i < times; ++i)
            FireEvent(2);
    }
    long Truncate(float f) { return static_cast<long>(f); }
};

// The test control borrows MidiIO's interfaces, so names resolve through
// the real type library; only DISPIDs 1-8 and 15 are bound.
const tavro::DispatchEntry kEntries[] = {
    TAVRO_DISP(1, "OpenMidiInPort", VT_I4, &TestCtrl::Sum),
    TAVRO_DISP(2, "GetMidiInPortCount", VT_BOOL, &TestCtrl::IsPositive),
    TAVRO_DISP(3, "GetMidiOutPortCount", VT_BSTR, &TestCtrl::Echo),
    TAVRO_DISP(4, "GetMidiInPortName", VT_BSTR, &TestCtrl::NullString),
    TAVRO_DISP(5, "GetMidiOutPortName", VT_EMPTY, &TestCtrl::Fail),
    TAVRO_DISP(6, "OpenMidiOutPort", VT_I4, &TestCtrl::Fill),
    TAVRO_DISP(7, "CloseMidiInPort", VT_EMPTY, &TestCtrl::Fire),
    TAVRO_DISP(8, "CloseMidiOutPort", VT_I4, &TestCtrl::Truncate),
};
const tavro::ControlClass TestCtrl::kClass = {
    &CLSID_MidiIO, &DIID__DMidiIO, &DIID__DMidiIOEvents, L"Test.Control", tavro::MakeDispatchTable(kEntries),
};

// Arguments are given first to last, as a script writes them.
struct Call {
    HRESULT hr;
    Variant result;
    EXCEPINFO excep = {};
    UINT argErr = 0xFFFF;
    ~Call()
    {
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
    }
};

void Invoke(IDispatch* d, DISPID id, std::vector<VARIANT> args, Call& call, WORD flags = DISPATCH_METHOD)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    call.hr = d->Invoke(id, IID_NULL, 0, flags, &params, call.result.get(), &call.excep, &call.argErr);
    for (VARIANT& v : args)
        VariantClear(&v);
}

VARIANT Long(long v)
{
    VARIANT r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}
VARIANT Dbl(double v)
{
    VARIANT r;
    r.vt = VT_R8;
    r.dblVal = v;
    return r;
}
VARIANT Str(const wchar_t* s, UINT len = 0)
{
    VARIANT r;
    r.vt = VT_BSTR;
    r.bstrVal = len ? SysAllocStringLen(s, len) : SysAllocString(s);
    return r;
}

// An object whose default value is another such object `hops` times, then
// 3; with hops < 0 it is the object itself, without end.
class DefaultValue final : public IDispatch {
public:
    explicit DefaultValue(int hops) : hops_(hops) {}
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_ ? refs_ : (delete this, 0); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { return *out = this, AddRef(), S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* out, EXCEPINFO*, UINT*) override
    {
        out->vt = hops_ ? VT_DISPATCH : VT_I4;
        if (hops_)
            out->pdispVal = hops_ < 0 ? (AddRef(), this) : new DefaultValue(hops_ - 1);
        else
            out->lVal = 3;
        return S_OK;
    }

private:
    int hops_;
    ULONG refs_ = 1;
};

VARIANT Object(IDispatch* owned)
{
    VARIANT r;
    r.vt = VT_DISPATCH;
    return r.pdispVal = owned, r;
}

class Framework : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        control_ = new TestCtrl;
    }
    void TearDown() override
    {
        control_->Release();
        CoUninitialize();
    }
    IDispatch* disp() { return static_cast<IDispatch*>(control_); }
    TestCtrl* control_ = nullptr;
};

TEST_F(Framework, ArgumentsAreCoercedAndCounted)
{
    {
        Call c;
        Invoke(disp(), 1, {Str(L"12"), Str(L"0.5")}, c);
        EXPECT_EQ(c.hr, S_OK);
        EXPECT_EQ(c.result->vt, VT_I4);
        EXPECT_EQ(c.result->lVal, 17);
    }
    {
        // VBScript passes variables by reference.
        VARIANT inner = Long(5);
        VARIANT byRef;
        byRef.vt = VT_BYREF | VT_VARIANT;
        byRef.pvarVal = &inner;
        Call c;
        Invoke(disp(), 1, {byRef, Dbl(1)}, c);
        EXPECT_EQ(c.hr, S_OK);
        EXPECT_EQ(c.result->lVal, 15);
    }
    struct Bad {
        std::vector<VARIANT> args;
        HRESULT hr;
        UINT argErr; // index into rgvarg, which is last-to-first
    };
    Bad bad[] = {
        {{Long(1)}, DISP_E_BADPARAMCOUNT, 0xFFFF},
        {{Long(1), Dbl(2), Long(3)}, DISP_E_BADPARAMCOUNT, 0xFFFF},
        {{Str(L"x"), Dbl(2)}, DISP_E_TYPEMISMATCH, 1},
        {{Long(1), Str(L"y")}, DISP_E_TYPEMISMATCH, 0},
        {{Dbl(1e20), Dbl(2)}, DISP_E_OVERFLOW, 1},
        {{Object(new DefaultValue(-1)), Dbl(2)}, DISP_E_TYPEMISMATCH, 1},
    };
    for (Bad& b : bad) {
        Call c;
        Invoke(disp(), 1, b.args, c);
        EXPECT_EQ(c.hr, b.hr);
        EXPECT_EQ(c.argErr, b.argErr);
        EXPECT_EQ(c.result->vt, VT_EMPTY);
    }
    {
        Call c; // a few steps of default values convert
        Invoke(disp(), 1, {Object(new DefaultValue(2)), Dbl(0)}, c);
        EXPECT_EQ(c.hr, S_OK);
        EXPECT_EQ(c.result->lVal, 3);
    }
    {
        SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
        VARIANT arr;
        arr.vt = VT_ARRAY | VT_VARIANT;
        arr.parray = sa;
        Call c;
        Invoke(disp(), 1, {arr, Dbl(0)}, c);
        EXPECT_EQ(c.hr, DISP_E_TYPEMISMATCH);
        EXPECT_EQ(c.argErr, 1u);
    }
}

TEST_F(Framework, ResultsHaveTheDeclaredTypes)
{
    {
        Call c;
        Invoke(disp(), 2, {Long(3)}, c, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
        EXPECT_EQ(c.result->vt, VT_BOOL);
        EXPECT_EQ(c.result->boolVal, VARIANT_TRUE);
    }
    {
        Call c;
        Invoke(disp(), 2, {Long(-3)}, c);
        EXPECT_EQ(c.result->vt, VT_BOOL);
        EXPECT_EQ(c.result->boolVal, VARIANT_FALSE);
    }
    {
        Call c;
        Invoke(disp(), 3, {Str(L"a\0b", 3)}, c); // embedded NUL survives both ways
        ASSERT_EQ(c.result->vt, VT_BSTR);
        EXPECT_EQ(std::wstring(c.result->bstrVal, SysStringLen(c.result->bstrVal)), std::wstring(L"a\0b!", 4));
    }
    {
        Call c;
        Invoke(disp(), 4, {}, c);
        ASSERT_EQ(c.result->vt, VT_BSTR);
        ASSERT_NE(c.result->bstrVal, nullptr); // a null string reaches scripts as ""
        EXPECT_EQ(SysStringLen(c.result->bstrVal), 0u);
    }
    {
        Call c;
        Invoke(disp(), 8, {Dbl(-2.75)}, c);
        EXPECT_EQ(c.result->lVal, -2);
    }
    {
        Call c;
        Invoke(disp(), 7, {Long(0)}, c);
        EXPECT_EQ(c.hr, S_OK);
        EXPECT_EQ(c.result->vt, VT_EMPTY);
    }
}

TEST_F(Framework, DispatchExceptionFillsExcepInfo)
{
    Call c;
    Invoke(disp(), 5, {Long(2012)}, c);
    EXPECT_EQ(c.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(c.excep.wCode, 0);
    EXPECT_EQ(static_cast<unsigned long>(c.excep.scode), 0x800A07DCul);
    EXPECT_EQ(tavro::ToAnsi(c.excep.bstrDescription), "Failure text");
    EXPECT_EQ(tavro::ToAnsi(c.excep.bstrSource), "Test.Control");
    EXPECT_EQ(c.excep.dwHelpContext, 0u);

    // Without EXCEPINFO the call still fails the same way.
    VARIANT arg = Long(2000);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    EXPECT_EQ(disp()->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), DISP_E_EXCEPTION);
}

TEST_F(Framework, UnboundAndMalformedCallsFailCleanly)
{
    struct Case {
        DISPID id;
        WORD flags;
        HRESULT hr;
    };
    const Case cases[] = {
        {15, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},   // in the library, not bound
        {999, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},  // nowhere
        {-552, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND}, // AboutBox not bound here
        {1, DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND},
    };
    for (const Case& k : cases) {
        Call c;
        Invoke(disp(), k.id, {Long(1), Dbl(1)}, c, k.flags);
        EXPECT_EQ(c.hr, k.hr) << "DISPID " << k.id;
    }
    VARIANT args[2] = {Long(1), Long(2)};
    DISPID named = 1;
    DISPPARAMS withNames = {args, &named, 2, 1};
    EXPECT_EQ(disp()->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &withNames, nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    DISPPARAMS plain = {args, nullptr, 2, 0};
    EXPECT_EQ(disp()->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &plain, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(Framework, ByReferenceVariantsAreFilledAndByValueOnesLeftAlone)
{
    VARIANT target;
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(L"old");
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &target;
    Call c;
    Invoke(disp(), 6, {byRef}, c);
    EXPECT_EQ(c.hr, S_OK);
    EXPECT_EQ(target.vt, VT_I4);
    EXPECT_EQ(target.lVal, 42);

    VARIANT byValue = Str(L"keep");
    DISPPARAMS params = {&byValue, nullptr, 1, 0};
    Variant result;
    EXPECT_EQ(disp()->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr), S_OK);
    ASSERT_EQ(byValue.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(byValue.bstrVal), L"keep");
    VariantClear(&byValue);
}

TEST_F(Framework, NamesAndTypeInfoComeFromTheLibrary)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"closemidioutport")}; // names are case-insensitive
    DISPID id = 0;
    EXPECT_EQ(disp()->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 8);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMethod")};
    EXPECT_EQ(disp()->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);

    UINT count = 0;
    EXPECT_EQ(disp()->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(disp()->GetTypeInfo(0, 0, info.out()), S_OK);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
    EXPECT_TRUE(IsEqualGUID(ta->guid, DIID__DMidiIO));
    info->ReleaseTypeAttr(ta);
    EXPECT_EQ(disp()->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);

    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(control_->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(classInfo.out())), S_OK);
    GUID source = {};
    EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_TRUE(IsEqualGUID(source, DIID__DMidiIOEvents));
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(classInfo->GetClassInfo(coclass.out()), S_OK);
    ASSERT_EQ(coclass->GetTypeAttr(&ta), S_OK);
    EXPECT_EQ(ta->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(ta->guid, CLSID_MidiIO));
    coclass->ReleaseTypeAttr(ta);
}

// An event sink as a script engine would give one: counts calls by DISPID
// and can unadvise itself from inside the call.
class Sink : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID__DMidiIOEvents)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (flags == DISPATCH_METHOD)
            ids.push_back(id);
        if (unadviseFrom) {
            unadviseFrom->Unadvise(cookie);
            unadviseFrom = nullptr;
        }
        return S_OK;
    }
    ULONG refs = 1;
    std::vector<DISPID> ids;
    IConnectionPoint* unadviseFrom = nullptr;
    DWORD cookie = 0;
};

TEST_F(Framework, ConnectionPointDeliversFiredEventsToEverySink)
{
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.out())),
              S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.out()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID__DMidiIOEvents, point.out()), S_OK);

    // The enumerator lists exactly this point.
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.out()), S_OK);
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    IID iid = {};
    listed[0]->GetConnectionInterface(&iid);
    EXPECT_TRUE(IsEqualIID(iid, DIID__DMidiIOEvents));
    listed[0]->Release();

    Sink first, second;
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(point->Advise(&first, &c1), S_OK);
    ASSERT_EQ(point->Advise(&second, &c2), S_OK);
    EXPECT_NE(c1, c2);

    Call call;
    Invoke(disp(), 7, {Long(3)}, call);
    EXPECT_EQ(first.ids, std::vector<DISPID>({2, 2, 2}));
    EXPECT_EQ(second.ids, std::vector<DISPID>({2, 2, 2}));

    EXPECT_EQ(point->Unadvise(c1), S_OK);
    EXPECT_EQ(point->Unadvise(c1), CONNECT_E_NOCONNECTION);
    // A sink that unadvises itself while handling the event.
    second.unadviseFrom = point.get();
    second.cookie = c2;
    Invoke(disp(), 7, {Long(2)}, call);
    EXPECT_EQ(first.ids.size(), 3u);
    EXPECT_EQ(second.ids.size(), 4u); // got the first of the two, then left
    EXPECT_EQ(first.refs, 1u);        // no reference kept after Unadvise
    EXPECT_EQ(second.refs, 1u);

    // Something that is not a dispatch sink cannot connect.
    ComPtr<IUnknown> notASink;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(notASink.out())), S_OK);
    DWORD c3 = 0;
    EXPECT_EQ(point->Advise(notASink.get(), &c3), CONNECT_E_CANNOTCONNECT);
}

} // namespace

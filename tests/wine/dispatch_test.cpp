// The control framework seen from a script engine's side: argument coercion
// and counting, result types, dispatch exceptions, type information, class
// info and the event connection point. Uses a test control whose dispatch
// table exercises each argument and result kind.
#include "module/ControlBase.h"
#include "tests/wine/test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace wt;
using tavro::ComPtr;

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

// The result as "<vt>:<value>", or the failure as "hr <hex>/<argErr>".
std::string Outcome(Call& c)
{
    char text[64];
    const VARIANT& r = *c.result.get();
    if (c.hr != S_OK)
        snprintf(text, sizeof text, "hr %08lX/%u%s", static_cast<unsigned long>(c.hr), c.argErr,
                 r.vt ? " with a result" : "");
    else if (r.vt == VT_BSTR)
        return "bstr:" + (r.bstrVal ? tavro::ToAnsi(r.bstrVal) : std::string("(null)"));
    else if (r.vt == VT_EMPTY)
        return "empty";
    else
        snprintf(text, sizeof text, "%d:%ld", r.vt, r.vt == VT_BOOL ? long(r.boolVal) : r.lVal);
    return text;
}

TEST_F(Framework, ArgumentsAreCoercedCountedAndResultsTyped)
{
    VARIANT five = Long(5); // VBScript passes variables by reference
    struct {
        DISPID id;
        std::vector<VARIANT> args;
        std::string outcome;
    } cases[] = {
        {1, {Text(L"12"), Text(L"0.5")}, "3:17"},
        {1, {ByRef(&five), Dbl(1)}, "3:15"},
        {1, {Long(1)}, "hr 8002000E/65535"},
        {1, {Long(1), Dbl(2), Long(3)}, "hr 8002000E/65535"},
        {1, {Text(L"x"), Dbl(2)}, "hr 80020005/1"}, // argErr indexes rgvarg, last to first
        {1, {Long(1), Text(L"y")}, "hr 80020005/0"},
        {1, {Dbl(1e20), Dbl(2)}, "hr 8002000A/1"},
        {1, {MakeArray({1, 2}), Dbl(0)}, "hr 80020005/1"},
        {1, {Object(new DefaultValue(2)), Dbl(0)}, "3:3"},            // a few default values are followed
        {1, {Object(new DefaultValue(-1)), Dbl(2)}, "hr 80020005/1"}, // an endless chain is refused
        {2, {Long(3)}, "11:-1"},                                      // any nonzero BOOL is VARIANT_TRUE
        {2, {Long(-3)}, "11:0"},
        {4, {}, "bstr:"}, // a null string reaches scripts as ""
        {8, {Dbl(-2.75)}, "3:-2"},
        {7, {Long(0)}, "empty"},
    };
    for (auto& k : cases) {
        Call c(disp(), k.id);
        for (VARIANT v : k.args)
            c.Arg(v);
        c.Run(k.id == 2 ? DISPATCH_METHOD | DISPATCH_PROPERTYGET : DISPATCH_METHOD);
        EXPECT_EQ(Outcome(c), k.outcome) << "DISPID " << k.id << " case " << (&k - cases);
    }
    Call echo(disp(), 3); // an embedded NUL survives both ways
    echo.Arg(Text(std::wstring(L"a\0b", 3))).Run();
    ASSERT_EQ(echo.result->vt, VT_BSTR);
    EXPECT_EQ(std::wstring(echo.result->bstrVal, SysStringLen(echo.result->bstrVal)), std::wstring(L"a\0b!", 4));
}

TEST_F(Framework, DispatchExceptionFillsExcepInfo)
{
    Call c(disp(), 5);
    EXPECT_EQ(c.Long(2012).Run(), DISP_E_EXCEPTION);
    EXPECT_EQ(c.excep.wCode, 0);
    EXPECT_EQ(static_cast<unsigned long>(c.excep.scode), 0x800A07DCul);
    EXPECT_EQ(tavro::ToAnsi(c.excep.bstrDescription), "Failure text");
    EXPECT_EQ(tavro::ToAnsi(c.excep.bstrSource), "Test.Control");
    // Without EXCEPINFO the call still fails the same way.
    VARIANT arg = Long(2000);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    EXPECT_EQ(disp()->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), DISP_E_EXCEPTION);
}

TEST_F(Framework, UnboundAndMalformedCallsFailCleanly)
{
    // In the library but not bound, nowhere, AboutBox (not bound here), a put.
    for (DISPID id : {15, 999, -552, 1}) {
        Call c(disp(), id);
        EXPECT_EQ(c.Long(1).Arg(Dbl(1)).Run(id == 1 ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND)
            << id;
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
    Variant target;
    *target.get() = Text(L"old");
    Call byRef(disp(), 6);
    EXPECT_EQ(byRef.Ref(target.get()).Run(), S_OK);
    EXPECT_EQ(target->vt * 1000 + target->lVal, VT_I4 * 1000 + 42);

    VARIANT byValue = Text(L"keep");
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
    EXPECT_TRUE(ta->typekind == TKIND_COCLASS && IsEqualGUID(ta->guid, CLSID_MidiIO));
    coclass->ReleaseTypeAttr(ta);
}

// An event sink as a script engine would give one: counts calls by DISPID
// and can unadvise itself from inside the call.
class CountingSink : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__DMidiIOEvents)) {
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
    ASSERT_EQ(control_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.out())), S_OK);
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

    CountingSink first, second;
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(point->Advise(&first, &c1), S_OK);
    ASSERT_EQ(point->Advise(&second, &c2), S_OK);
    EXPECT_NE(c1, c2);

    Call(disp(), 7).Long(3).Run();
    EXPECT_EQ(first.ids, std::vector<DISPID>({2, 2, 2}));
    EXPECT_EQ(second.ids, std::vector<DISPID>({2, 2, 2}));

    EXPECT_EQ(point->Unadvise(c1), S_OK);
    EXPECT_EQ(point->Unadvise(c1), CONNECT_E_NOCONNECTION);
    // A sink that unadvises itself while handling the event.
    second.unadviseFrom = point.get();
    second.cookie = c2;
    Call(disp(), 7).Long(2).Run();
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

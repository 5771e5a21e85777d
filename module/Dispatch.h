// Dispatch tables: one row per DISPID binding a name, the result type and a
// member function; argument types come from the function's signature.
#pragma once

#include "module/ComUtil.h"

#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tavro {

class ControlBase;

// Thrown by a control method to fail the call with an error for the script
// (VBScript's Err.Number shows `code`). Caught only in ControlBase::Invoke.
struct DispatchException {
    uint16_t code;
    std::string description;
};

using InvokeThunk = HRESULT (*)(ControlBase* self, DISPPARAMS* params, VARIANT* result, UINT* argErr);

struct DispatchEntry {
    DISPID dispid;
    const wchar_t* name;
    VARTYPE resultType; // VT_EMPTY (none), VT_I4, VT_BOOL or VT_BSTR
    UINT argCount;
    InvokeThunk invoke;
};

struct DispatchTable {
    const DispatchEntry* entries;
    size_t count;
    const DispatchEntry* Find(DISPID dispid) const;
};

template <size_t N>
constexpr DispatchTable MakeDispatchTable(const DispatchEntry (&entries)[N])
{
    return {entries, N};
}

// VariantChangeType(out, in, 0, vt), except that an object is converted
// through at most a few steps of its default value (DISP_E_TYPEMISMATCH
// beyond). `out` may be `in`.
HRESULT ChangeType(VARIANT* out, VARIANT* in, VARTYPE vt);

namespace dispatch_detail {

// The value a script passed, behind any VT_BYREF|VT_VARIANT indirection.
VARIANT* Deref(VARIANT* v);
HRESULT Coerce(VARIANT* arg, VARTYPE vt, Variant& out);

// One argument, converted from its VARIANT before the call. Value types are
// coerced with VariantChangeType; VARIANT* is passed through by reference.
template <class A>
struct Arg;

template <>
struct Arg<long> {
    long value = 0;
    HRESULT From(VARIANT* v)
    {
        Variant t;
        HRESULT hr = Coerce(v, VT_I4, t);
        value = t->lVal;
        return hr;
    }
    long Get() const { return value; }
};

template <>
struct Arg<double> {
    double value = 0;
    HRESULT From(VARIANT* v)
    {
        Variant t;
        HRESULT hr = Coerce(v, VT_R8, t);
        value = t->dblVal;
        return hr;
    }
    double Get() const { return value; }
};

template <>
struct Arg<float> {
    float value = 0;
    HRESULT From(VARIANT* v)
    {
        Variant t;
        HRESULT hr = Coerce(v, VT_R4, t);
        value = t->fltVal;
        return hr;
    }
    float Get() const { return value; }
};

// Text in the system's ANSI code page.
template <>
struct Arg<std::string> {
    std::string value;
    HRESULT From(VARIANT* v)
    {
        Variant t;
        HRESULT hr = Coerce(v, VT_BSTR, t);
        if (SUCCEEDED(hr))
            value = ToAnsi(t->bstrVal);
        return hr;
    }
    const std::string& Get() const { return value; }
};

// The wide string itself, for methods that treat it as raw characters.
template <>
struct Arg<BSTR> {
    Variant value;
    HRESULT From(VARIANT* v) { return Coerce(v, VT_BSTR, value); }
    BSTR Get() { return value->bstrVal; }
};

// By-reference VARIANTs reach the method as the caller's own variable; a
// by-value VARIANT is copied, so a method that fills it cannot disturb the
// caller's argument list.
template <>
struct Arg<VARIANT*> {
    VARIANT* target = nullptr;
    Variant copy;
    HRESULT From(VARIANT* v)
    {
        if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) {
            target = v->pvarVal;
            return S_OK;
        }
        target = copy.get();
        return VariantCopyInd(target, v);
    }
    VARIANT* Get() const { return target; }
};

HRESULT SetLong(VARIANT* out, long value);
HRESULT SetBool(VARIANT* out, bool value);
HRESULT SetString(VARIANT* out, const std::string& value);
HRESULT SetString(VARIANT* out, BSTR owned); // takes ownership; null becomes ""

template <VARTYPE Vt, class R>
HRESULT SetResult(VARIANT* out, R&& value)
{
    if constexpr (Vt == VT_BOOL) {
        static_assert(std::is_integral_v<std::decay_t<R>>, "a BOOL entry needs an integral result");
        return SetBool(out, value != 0);
    } else if constexpr (Vt == VT_I4) {
        static_assert(std::is_integral_v<std::decay_t<R>>, "a long entry needs an integral result");
        return SetLong(out, static_cast<long>(value));
    } else {
        static_assert(Vt == VT_BSTR, "results are VT_EMPTY, VT_I4, VT_BOOL or VT_BSTR");
        return SetString(out, std::forward<R>(value));
    }
}

template <class M>
struct MethodTraits;

template <class C, class R, class... A>
struct MethodTraits<R (C::*)(A...)> {
    using Class = C;
    static constexpr UINT arity = sizeof...(A);

    template <VARTYPE Vt, auto Method>
    static HRESULT Call(ControlBase* self, DISPPARAMS* params, VARIANT* result, UINT* argErr)
    {
        return CallWith<Vt, Method>(self, params, result, argErr, std::index_sequence_for<A...>{});
    }

    template <VARTYPE Vt, auto Method, size_t... I>
    static HRESULT CallWith(ControlBase* self, [[maybe_unused]] DISPPARAMS* params, VARIANT* result,
                            [[maybe_unused]] UINT* argErr, std::index_sequence<I...>)
    {
        static_assert(std::is_void_v<R> == (Vt == VT_EMPTY), "VT_EMPTY entries are exactly the void methods");
        [[maybe_unused]] std::tuple<Arg<std::decay_t<A>>...> args;
        HRESULT hr = S_OK;
        // rgvarg holds the arguments last to first.
        [[maybe_unused]] const UINT n = params->cArgs;
        bool converted = ((SUCCEEDED(hr = std::get<I>(args).From(&params->rgvarg[n - 1 - I])) ||
                           (argErr && (*argErr = static_cast<UINT>(n - 1 - I)), false)) &&
                          ...);
        if (!converted)
            return hr;
        C* object = static_cast<C*>(self);
        if constexpr (std::is_void_v<R>) {
            (object->*Method)(std::get<I>(args).Get()...);
            return S_OK;
        } else {
            return SetResult<Vt>(result, (object->*Method)(std::get<I>(args).Get()...));
        }
    }
};

} // namespace dispatch_detail

template <VARTYPE Vt, auto Method>
HRESULT InvokeMethod(ControlBase* self, DISPPARAMS* params, VARIANT* result, UINT* argErr)
{
    return dispatch_detail::MethodTraits<decltype(Method)>::template Call<Vt, Method>(self, params, result, argErr);
}

// For methods that never fail a call: arguments that cannot be converted to
// the method's types give the method's failure result (`Failure`, or an
// empty string for text results) instead of a dispatch error.
template <VARTYPE Vt, auto Method, long Failure>
HRESULT InvokeOrFailure(ControlBase* self, DISPPARAMS* params, VARIANT* result, UINT* argErr)
{
    const HRESULT hr = InvokeMethod<Vt, Method>(self, params, result, argErr);
    if (SUCCEEDED(hr))
        return hr;
    if constexpr (Vt == VT_BSTR)
        return dispatch_detail::SetString(result, std::string());
    else if constexpr (Vt == VT_BOOL)
        return dispatch_detail::SetBool(result, Failure != 0);
    else
        return dispatch_detail::SetLong(result, Failure);
}

template <auto Method>
constexpr UINT ArityOf()
{
    return dispatch_detail::MethodTraits<decltype(Method)>::arity;
}

} // namespace tavro

// One row of a control's dispatch table: DISPID, script name, result type
// (VT_EMPTY, VT_I4, VT_BOOL, VT_BSTR) and the member function.
#define TAVRO_DISP(dispid, name, resultVt, method)                                                                     \
    tavro::DispatchEntry                                                                                               \
    {                                                                                                                  \
        dispid, L##name, resultVt, tavro::ArityOf<method>(), &tavro::InvokeMethod<resultVt, method>                    \
    }

// A row whose method answers arguments of the wrong type or range with its
// failure result instead of an error.
#define TAVRO_DISP_OR(dispid, name, resultVt, method, failure)                                                         \
    tavro::DispatchEntry                                                                                               \
    {                                                                                                                  \
        dispid, L##name, resultVt, tavro::ArityOf<method>(), &tavro::InvokeOrFailure<resultVt, method, failure>        \
    }

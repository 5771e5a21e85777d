// Script arrays: making, viewing and converting arrays of VARIANTs.
#include "module/ScriptArray.h"

#include "module/ComUtil.h"
#include "module/Dispatch.h"

#include <new>
#include <utility>

namespace tavro {

SAFEARRAY* ScriptArrayOf(const VARIANT* v)
{
    if (!v)
        return nullptr;
    if (v->vt == (VT_ARRAY | VT_VARIANT))
        return v->parray;
    if (v->vt == (VT_BYREF | VT_ARRAY | VT_VARIANT) && v->pparray)
        return *v->pparray;
    return nullptr;
}

NewScriptArray::NewScriptArray(size_t count)
{
    if (count > 0x7FFFFFFF)
        throw std::bad_alloc();
    array_ = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
    if (!array_)
        throw std::bad_alloc();
    if (FAILED(SafeArrayAccessData(array_, reinterpret_cast<void**>(&elements_)))) {
        SafeArrayDestroy(array_);
        throw std::bad_alloc();
    }
}

NewScriptArray::~NewScriptArray()
{
    if (array_) {
        SafeArrayUnaccessData(array_);
        SafeArrayDestroy(array_);
    }
}

void NewScriptArray::MoveInto(VARIANT& target)
{
    SafeArrayUnaccessData(array_);
    target.vt = VT_ARRAY | VT_VARIANT;
    target.parray = std::exchange(array_, nullptr);
}

ScriptArrayView::ScriptArrayView(SAFEARRAY* array)
{
    if (!array || SafeArrayGetDim(array) != 1)
        return;
    // The element type decides how the array copies and frees its elements;
    // an array of some other type behind a VARIANT tag would be read out of
    // bounds.
    VARTYPE vt = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &vt)) || vt != VT_VARIANT || SafeArrayGetElemsize(array) != sizeof(VARIANT))
        return;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower_)) || FAILED(SafeArrayGetUBound(array, 1, &upper_)))
        return;
    if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&elements_))))
        return;
    array_ = array;
}

ScriptArrayView::~ScriptArrayView()
{
    if (array_)
        SafeArrayUnaccessData(array_);
}

std::optional<int32_t> ScriptInt32(const VARIANT* v)
{
    if (!v)
        return std::nullopt;
    if (v->vt == VT_I4)
        return static_cast<int32_t>(v->lVal);
    // Through tavro::ChangeType: an element object whose default value is
    // itself would otherwise recurse without end.
    Variant converted;
    if (FAILED(ChangeType(converted.get(), const_cast<VARIANT*>(v), VT_I4)))
        return std::nullopt;
    return static_cast<int32_t>(converted->lVal);
}

bool ReadScriptBytes(SAFEARRAY* array, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    ScriptArrayView view(array);
    if (!view.IsArray())
        return false;
    if (view.Upper() < 0)
        return true;
    bytes.reserve(static_cast<size_t>(view.Upper()) + 1);
    for (int64_t i = 0; i <= view.Upper(); ++i) {
        std::optional<int32_t> n = ScriptInt32(view.At(i));
        if (!n)
            return false;
        bytes.push_back(static_cast<uint8_t>(*n & 0xFF));
    }
    return true;
}

void PutScriptBytes(VARIANT* out, const std::vector<uint8_t>& bytes)
{
    NewScriptArray array(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        SetI4(array[i], bytes[i]);
    array.MoveInto(*out);
}

} // namespace tavro

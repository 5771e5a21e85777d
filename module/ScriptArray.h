// Script arrays: the one-dimensional arrays of VARIANTs that scripts pass in
// (VT_ARRAY | VT_VARIANT, or a reference to one) and receive back. Every
// control converts between them and C++ values through this file.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tavro {

// The SAFEARRAY of an array VARIANT, by value or by reference; null for
// anything else.
SAFEARRAY* ScriptArrayOf(const VARIANT* v);

// A new array of `count` VARIANTs (lower bound 0), owned until MoveInto.
// Elements start VT_EMPTY; what is stored in them is freed with the array.
// Throws std::bad_alloc when the array cannot be made.
class NewScriptArray {
public:
    explicit NewScriptArray(size_t count);
    ~NewScriptArray();
    NewScriptArray(const NewScriptArray&) = delete;
    NewScriptArray& operator=(const NewScriptArray&) = delete;

    VARIANT& operator[](size_t i) { return elements_[i]; }
    VARIANT* data() { return elements_; }
    // Hands the array to `target`, which must be empty (VT_EMPTY).
    void MoveInto(VARIANT& target);

private:
    SAFEARRAY* array_ = nullptr;
    VARIANT* elements_ = nullptr;
};

inline void SetI4(VARIANT& v, int32_t value)
{
    v.vt = VT_I4;
    v.lVal = value;
}

// Read access to a one-dimensional array of VARIANTs, locked while the view
// lives. Anything else - no array, several dimensions, elements that are not
// VARIANTs - is "not an array".
class ScriptArrayView {
public:
    explicit ScriptArrayView(const VARIANT* v) : ScriptArrayView(ScriptArrayOf(v)) {}
    explicit ScriptArrayView(SAFEARRAY* array);
    ~ScriptArrayView();
    ScriptArrayView(const ScriptArrayView&) = delete;
    ScriptArrayView& operator=(const ScriptArrayView&) = delete;

    bool IsArray() const { return array_ != nullptr; }
    int64_t Upper() const { return upper_; }
    // The first index from 0 up that exists (the lower bound when above 0).
    int64_t FirstFrom0() const { return lower_ > 0 ? lower_ : 0; }
    // The element at `index`, or null when the array has no such index.
    const VARIANT* At(int64_t index) const
    {
        if (!array_ || index < lower_ || index > upper_)
            return nullptr;
        return &elements_[static_cast<size_t>(index - lower_)];
    }

private:
    SAFEARRAY* array_ = nullptr;
    VARIANT* elements_ = nullptr;
    LONG lower_ = 0;
    LONG upper_ = -1;
};

// A number from a script element: VT_I4 as it is, anything else converted
// with VariantChangeType (the element itself is never changed). Empty when
// missing or not convertible.
std::optional<int32_t> ScriptInt32(const VARIANT* v);

// The bytes of a script's message array: elements 0 to the upper bound, each
// converted to a number, low 8 bits kept. False when an element is missing
// or does not convert, or `array` is not a one-dimensional VARIANT array.
bool ReadScriptBytes(SAFEARRAY* array, std::vector<uint8_t>& bytes);

// Stores a new script array of VT_I4 byte values into `out` (empty before).
// Throws std::bad_alloc when the array cannot be made.
void PutScriptBytes(VARIANT* out, const std::vector<uint8_t>& bytes);

} // namespace tavro

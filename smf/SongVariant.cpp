// Script arrays <-> neutral song forms: builds the nested arrays handed to a
// script after a read and walks a script's arrays defensively for a write.
#include "smf/SongVariant.h"

#include "module/ComUtil.h"

#include <algorithm>
#include <new>
#include <utility>

namespace tavro {

namespace {

// ---- building ----

// Owns a new array until it is handed to its parent VARIANT.
class NewArray {
public:
    explicit NewArray(size_t count)
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
    ~NewArray()
    {
        if (array_) {
            SafeArrayUnaccessData(array_);
            SafeArrayDestroy(array_);
        }
    }
    NewArray(const NewArray&) = delete;
    NewArray& operator=(const NewArray&) = delete;

    // Elements start as VT_EMPTY; whatever is stored in them is freed with
    // the array.
    VARIANT& operator[](size_t i) { return elements_[i]; }

    // Moves the array into `target` (VT_EMPTY before).
    void MoveInto(VARIANT& target)
    {
        SafeArrayUnaccessData(array_);
        target.vt = VT_ARRAY | VT_VARIANT;
        target.parray = std::exchange(array_, nullptr);
    }

private:
    SAFEARRAY* array_ = nullptr;
    VARIANT* elements_ = nullptr;
};

void SetI4(VARIANT& v, int32_t value)
{
    v.vt = VT_I4;
    v.lVal = value;
}

// ---- walking ----

// A one-dimensional array of VARIANTs held by a VARIANT (VT_ARRAY |
// VT_VARIANT, or VT_BYREF to one), locked while the view lives. Anything
// else - a null array, several dimensions, elements that are not VARIANTs -
// is "not an array".
class ArrayView {
public:
    explicit ArrayView(const VARIANT* v)
    {
        if (!v)
            return;
        SAFEARRAY* array = nullptr;
        if (v->vt == (VT_ARRAY | VT_VARIANT))
            array = v->parray;
        else if (v->vt == (VT_BYREF | VT_ARRAY | VT_VARIANT) && v->pparray)
            array = *v->pparray;
        if (!array || SafeArrayGetDim(array) != 1)
            return;
        // The element type decides how the array copies and frees its
        // elements; an array of some other type behind a VARIANT tag would
        // be read out of bounds.
        VARTYPE vt = VT_EMPTY;
        if (FAILED(SafeArrayGetVartype(array, &vt)) || vt != VT_VARIANT
            || SafeArrayGetElemsize(array) != sizeof(VARIANT))
            return;
        if (FAILED(SafeArrayGetLBound(array, 1, &lower_)) || FAILED(SafeArrayGetUBound(array, 1, &upper_)))
            return;
        if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&elements_))))
            return;
        array_ = array;
    }
    ~ArrayView()
    {
        if (array_)
            SafeArrayUnaccessData(array_);
    }
    ArrayView(const ArrayView&) = delete;
    ArrayView& operator=(const ArrayView&) = delete;

    bool IsArray() const { return array_ != nullptr; }
    int64_t Upper() const { return upper_; }
    // The first index from 0 up that exists: indices below the lower bound
    // cannot be fetched and are skipped without a loop over them.
    int64_t FirstFrom0() const { return std::max<int64_t>(0, lower_); }
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

// A number from a script element: VT_I4 as it is, anything else through
// VariantChangeType into a copy. Empty when missing or not convertible.
ScriptNumber NumberOf(const VARIANT* v)
{
    if (!v)
        return std::nullopt;
    if (v->vt == VT_I4)
        return static_cast<int32_t>(v->lVal);
    Variant converted;
    if (FAILED(VariantChangeType(converted.get(), const_cast<VARIANT*>(v), 0, VT_I4)))
        return std::nullopt;
    return static_cast<int32_t>(converted->lVal);
}

ScriptRow RowOf(const VARIANT* element)
{
    ScriptRow row;
    ArrayView fields(element);
    if (!fields.IsArray() || fields.Upper() < 1) {
        row.isRow = false;
        return row;
    }
    row.time = NumberOf(fields.At(0));
    ArrayView message(fields.At(1));
    if (!message.IsArray()) {
        row.messageIsArray = false;
        return row;
    }
    if (message.Upper() < 1)
        return row; // fewer than 2 bytes: skipped
    // Read at fixed indices from 0; the first element that is missing or not
    // a number already fails the write, so reading stops there.
    for (int64_t k = 0; k <= message.Upper(); ++k) {
        row.message.push_back(NumberOf(message.At(k)));
        if (!row.message.back()) {
            // Still a message of at least 2 elements, so that the write
            // fails instead of skipping it as too short.
            if (row.message.size() < 2)
                row.message.resize(2);
            break;
        }
    }
    return row;
}

} // namespace

void SongToVariant(const SongArray& song, VARIANT* out)
{
    NewArray songArray(song.tracks.size());
    for (size_t t = 0; t < song.tracks.size(); ++t) {
        const TrackArray& rows = song.tracks[t];
        NewArray trackArray(rows.size());
        for (size_t r = 0; r < rows.size(); ++r) {
            const SongRow& row = rows[r];
            NewArray message(row.message.size());
            for (size_t k = 0; k < row.message.size(); ++k)
                SetI4(message[k], row.message[k]);
            NewArray rowArray(2);
            SetI4(rowArray[0], row.time);
            message.MoveInto(rowArray[1]);
            rowArray.MoveInto(trackArray[r]);
        }
        trackArray.MoveInto(songArray[t]);
    }
    songArray.MoveInto(*out);
}

bool ScriptSongFromVariant(const VARIANT* in, ScriptSong& song)
{
    song.tracks.clear();
    ArrayView tracks(in);
    if (!tracks.IsArray())
        return false;
    for (int64_t i = tracks.FirstFrom0(); i <= tracks.Upper(); ++i) {
        ScriptTrack track;
        ArrayView rows(tracks.At(i));
        track.isArray = rows.IsArray();
        for (int64_t r = rows.FirstFrom0(); track.isArray && r <= rows.Upper(); ++r)
            track.rows.push_back(RowOf(rows.At(r)));
        song.tracks.push_back(std::move(track));
    }
    return true;
}

} // namespace tavro

// IPersistStreamInit, IPersistPropertyBag and IPersistStorage of every control.
#include "module/ControlPersistence.h"

#include "module/ControlBase.h"

#include <vector>

namespace tavro {

namespace {

// The stream layout: a header, then `size` bytes of which the first are the
// fields this version knows.
struct StreamHeader {
    DWORD version;
    DWORD size;
};
struct StreamFields {
    LONG extentX;
    LONG extentY;
};
static_assert(sizeof(StreamHeader) == 8 && sizeof(StreamFields) == 8, "saved layout");

constexpr DWORD kMaxStreamPayload = 64 * 1024; // more is not a saved control
constexpr LONG kMaxExtent = 1000000;           // HIMETRIC: ten metres
const wchar_t kStorageStream[] = L"Contents";

HRESULT ReadExactly(IStream* stream, void* data, ULONG size)
{
    ULONG read = 0;
    HRESULT hr = stream->Read(data, size, &read);
    if (FAILED(hr))
        return hr;
    return read == size ? S_OK : E_FAIL;
}

bool ValidExtent(LONG cx, LONG cy)
{
    return cx >= 0 && cy >= 0 && cx <= kMaxExtent && cy <= kMaxExtent;
}

// Reads one bag value as a long: S_FALSE when absent, E_FAIL when not a number.
HRESULT ReadBagLong(IPropertyBag* bag, const wchar_t* name, IErrorLog* log, LONG& value)
{
    Variant v;
    if (FAILED(bag->Read(name, v.get(), log)))
        return S_FALSE;
    // A number written as text (an HTML PARAM) is accepted too.
    if (FAILED(VariantChangeType(v.get(), v.get(), 0, VT_I4)))
        return E_FAIL;
    value = v->lVal;
    return S_OK;
}

HRESULT WriteBagLong(IPropertyBag* bag, const wchar_t* name, LONG value)
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return bag->Write(name, &v);
}

} // namespace

ControlBase& ControlPersistence::Control()
{
    return static_cast<ControlBase&>(*this);
}

STDMETHODIMP ControlPersistence::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = *Control().Class().clsid;
    return S_OK;
}

STDMETHODIMP ControlPersistence::IsDirty()
{
    return dirty_ ? S_OK : S_FALSE;
}

STDMETHODIMP ControlPersistence::InitNew()
{
    dirty_ = false;
    return S_OK;
}

// ---- Stream --------------------------------------------------------------

STDMETHODIMP ControlPersistence::Load(LPSTREAM stream)
{
    if (!stream)
        return E_POINTER;
    StreamHeader header;
    if (FAILED(ReadExactly(stream, &header, sizeof header)))
        return E_FAIL;
    if (header.size > kMaxStreamPayload)
        return E_FAIL;
    const SIZEL current = Control().Extent();
    StreamFields fields = {current.cx, current.cy};
    const ULONG known = header.size < sizeof fields ? header.size : ULONG(sizeof fields);
    if (FAILED(ReadExactly(stream, &fields, known)))
        return E_FAIL;
    if (header.size > known) {
        // Fields of a later version: skipped, so the stream stays in step.
        std::vector<BYTE> rest(header.size - known);
        if (FAILED(ReadExactly(stream, rest.data(), static_cast<ULONG>(rest.size()))))
            return E_FAIL;
    }
    if (!ValidExtent(fields.extentX, fields.extentY))
        return E_FAIL;
    Control().ChangeExtent({fields.extentX, fields.extentY});
    dirty_ = false;
    return S_OK;
}

STDMETHODIMP ControlPersistence::Save(LPSTREAM stream, BOOL clearDirty)
{
    if (!stream)
        return E_POINTER;
    const SIZEL extent = Control().Extent();
    struct {
        StreamHeader header;
        StreamFields fields;
    } state = {{Control().Class().persistVersion, sizeof(StreamFields)}, {extent.cx, extent.cy}};
    ULONG written = 0;
    HRESULT hr = stream->Write(&state, sizeof state, &written);
    if (FAILED(hr))
        return hr;
    if (written != sizeof state)
        return STG_E_MEDIUMFULL;
    if (clearDirty)
        dirty_ = false;
    return S_OK;
}

STDMETHODIMP ControlPersistence::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = sizeof(StreamHeader) + sizeof(StreamFields);
    return S_OK;
}

// ---- Property bag --------------------------------------------------------

STDMETHODIMP ControlPersistence::Load(IPropertyBag* bag, IErrorLog* log)
{
    if (!bag)
        return E_POINTER;
    // A bag without values (an OBJECT tag without PARAMs) keeps the defaults;
    // any version converts, but it must be a number.
    LONG version = 0;
    const SIZEL current = Control().Extent();
    LONG cx = current.cx, cy = current.cy;
    HRESULT hr;
    if (FAILED(hr = ReadBagLong(bag, L"_Version", log, version)) ||
        FAILED(hr = ReadBagLong(bag, L"_ExtentX", log, cx)) || FAILED(hr = ReadBagLong(bag, L"_ExtentY", log, cy)))
        return hr;
    if (!ValidExtent(cx, cy))
        return E_FAIL;
    Control().ChangeExtent({cx, cy});
    dirty_ = false;
    return S_OK;
}

STDMETHODIMP ControlPersistence::Save(IPropertyBag* bag, BOOL clearDirty, BOOL)
{
    if (!bag)
        return E_POINTER;
    const SIZEL extent = Control().Extent();
    HRESULT hr;
    if (FAILED(hr = WriteBagLong(bag, L"_Version", static_cast<LONG>(Control().Class().persistVersion))) ||
        FAILED(hr = WriteBagLong(bag, L"_ExtentX", extent.cx)) ||
        FAILED(hr = WriteBagLong(bag, L"_ExtentY", extent.cy)))
        return hr;
    if (clearDirty)
        dirty_ = false;
    return S_OK;
}

// ---- Storage: the stream form in one stream of the storage ---------------

STDMETHODIMP ControlPersistence::InitNew(IStorage* storage)
{
    return storage ? InitNew() : E_POINTER;
}

STDMETHODIMP ControlPersistence::Load(IStorage* storage)
{
    if (!storage)
        return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->OpenStream(kStorageStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out());
    return FAILED(hr) ? hr : Load(stream.get());
}

STDMETHODIMP ControlPersistence::Save(IStorage* storage, BOOL)
{
    if (!storage)
        return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr =
        storage->CreateStream(kStorageStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.out());
    return FAILED(hr) ? hr : Save(stream.get(), FALSE);
}

STDMETHODIMP ControlPersistence::SaveCompleted(IStorage*)
{
    dirty_ = false;
    return S_OK;
}

STDMETHODIMP ControlPersistence::HandsOffStorage()
{
    return S_OK;
}

} // namespace tavro

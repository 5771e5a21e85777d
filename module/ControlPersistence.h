// A control's saved state in a stream, a property bag or a storage
// (IPersistStreamInit, IPersistPropertyBag, IPersistStorage).
//
// The state is the class's version stamp (major.minor in the high and low
// words) and the framework's stock state, the extent. A stream holds the
// stamp, the byte count of what follows, then the fields; a bag holds
// "_Version", "_ExtentX" and "_ExtentY". Loading converts a state of any
// version: the fields it holds are read in the order this version writes
// them, fields it lacks keep their defaults and fields beyond them are
// skipped. Truncated or malformed data fails with E_FAIL, and a failed load
// changes nothing. Saving always writes the class's own version.
#pragma once

#include <ocidl.h>
#include <oleidl.h>

namespace tavro {

class ControlBase;

class ControlPersistence : public IPersistStreamInit, public IPersistPropertyBag, public IPersistStorage {
public:
    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    // IPersistStreamInit (IsDirty and InitNew serve all three)
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;
    // IPersistPropertyBag
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
    // IPersistStorage
    STDMETHODIMP InitNew(IStorage* storage) override;
    STDMETHODIMP Load(IStorage* storage) override;
    STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* storage) override;
    STDMETHODIMP HandsOffStorage() override;

    void SetDirty() { dirty_ = true; }

protected:
    ControlPersistence() = default;

private:
    ControlBase& Control();

    bool dirty_ = false;
};

} // namespace tavro

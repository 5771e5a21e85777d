// The property pages of the three controls: one "General" page each, with
// nothing to edit.
#pragma once

#include "module/PropertyPage.h"

class CMidiIOPropPage final : public tavro::PropertyPage {
public:
    static IUnknown* Create();

private:
    CMidiIOPropPage();
};

class CMidiFilePropPage final : public tavro::PropertyPage {
public:
    static IUnknown* Create();

private:
    CMidiFilePropPage();
};

class CMidiToolsPropPage final : public tavro::PropertyPage {
public:
    static IUnknown* Create();

private:
    CMidiToolsPropPage();
};

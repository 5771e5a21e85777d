// The three property pages: a dialog and its caption string share one id.
#include "ocx/PropertyPages.h"

#include "interface/Resources.h"

CMidiIOPropPage::CMidiIOPropPage() : PropertyPage(IDD_PROPPAGE_MIDIIO, IDD_PROPPAGE_MIDIIO)
{}

IUnknown* CMidiIOPropPage::Create()
{
    return new CMidiIOPropPage;
}

CMidiFilePropPage::CMidiFilePropPage() : PropertyPage(IDD_PROPPAGE_MIDIFILE, IDD_PROPPAGE_MIDIFILE)
{}

IUnknown* CMidiFilePropPage::Create()
{
    return new CMidiFilePropPage;
}

CMidiToolsPropPage::CMidiToolsPropPage() : PropertyPage(IDD_PROPPAGE_MIDITOOLS, IDD_PROPPAGE_MIDITOOLS)
{}

IUnknown* CMidiToolsPropPage::Create()
{
    return new CMidiToolsPropPage;
}

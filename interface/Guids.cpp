// Defines every GUID of the module once, from the header widl makes of TAVRO.idl.
#include <windows.h>
#include <initguid.h>

#include "TAVRO_h.h"

// Defines the GUIDs of the test event source once, from widl's header.
#include <windows.h>
#include <initguid.h>

#include "EventSource_h.h"

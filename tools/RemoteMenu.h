// Reading the menus of another process's window where this process cannot
// read them itself (Wine keeps a menu in the process that made it): a
// message hook runs this module in the window's thread, which reads the
// menu there and answers through a small shared block.
#pragma once

#include "tools/MenuPath.h"

#include <windows.h>

namespace tavro {

// The item at `position` of `menu`, a menu of `owner`'s process; false when
// it cannot be read (past the last item, or no answer).
bool ReadRemoteMenuItem(HWND owner, uintptr_t menu, int position, size_t textBuffer, MenuItemData& item);

// The number of items of `menu`, -1 when it cannot be read.
int RemoteMenuItemCount(HWND owner, uintptr_t menu);

} // namespace tavro

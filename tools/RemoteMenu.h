// Reading the menus of another process's window where this process cannot
// read them itself (Wine keeps a menu in the process that made it), and
// notifying another process's window where the system does not carry the
// message (Wine sends no WM_NOTIFY between processes): a message hook runs
// this module in the window's thread, which does the work there and answers
// through a small shared block.
#pragma once

#include "tools/MenuPath.h"

#include <windows.h>

namespace tavro {

// The item at `position` of `menu`, a menu of `owner`'s process; false when
// it cannot be read (past the last item, or no answer).
bool ReadRemoteMenuItem(HWND owner, uintptr_t menu, int position, size_t textBuffer, MenuItemData& item);

// The number of items of `menu`, -1 when it cannot be read.
int RemoteMenuItemCount(HWND owner, uintptr_t menu);

// Sends `parent` a WM_NOTIFY from `from` (identifier `id`, code `code`) from
// inside the parent's own thread; false when nobody answered.
bool SendNotifyInOwnerThread(HWND parent, HWND from, UINT_PTR id, UINT code, LRESULT& reply);

} // namespace tavro

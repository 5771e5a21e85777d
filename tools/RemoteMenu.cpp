// Menus of another process: the query travels as a registered message that
// a WH_CALLWNDPROC hook of this module sees in the owner's thread; the hook
// reads the menu there and writes the answer into a block named after the
// asking process. SendMessage returns after the hook has run.
#include "tools/RemoteMenu.h"
#include "tools/RemoteProcess.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tavro {

namespace {

struct MenuQueryBlock {
    // Request
    uint64_t menu;
    int32_t position; // -1: count the items; -2: notify (see AnswerQuery)
    uint32_t textBuffer;
    // Answer
    int32_t answered; // 1 once the owner's thread has run the query
    int32_t result;   // item read (1/0), or the item count
    uint32_t type;
    uint32_t state;
    uint32_t id;
    uint32_t reserved;
    uint64_t submenu;
    char text[4096]; // whole item texts up to 4095 characters
};
static_assert(sizeof(MenuQueryBlock) == 48 + 4096, "one layout for 32- and 64-bit processes");

constexpr int32_t kNotify = -2;

UINT QueryMessage()
{
    static const UINT message = RegisterWindowMessageA("TavroRemoteMenuQuery");
    return message;
}

void BlockName(char (&name)[48], DWORD askingProcess)
{
    std::snprintf(name, sizeof name, "TavroMenuQuery_%lu", static_cast<unsigned long>(askingProcess));
}

// Runs in the menu owner's thread.
void AnswerQuery(MenuQueryBlock& q)
{
    HMENU menu = reinterpret_cast<HMENU>(static_cast<uintptr_t>(q.menu));
    if (q.position == kNotify) {
        // menu: the parent window; submenu: the sender; id and type: the
        // identifier and the notification code.
        NMHDR header = {};
        header.hwndFrom = reinterpret_cast<HWND>(static_cast<uintptr_t>(q.submenu));
        header.idFrom = q.id;
        header.code = q.type;
        q.result = static_cast<int32_t>(SendMessageW(reinterpret_cast<HWND>(static_cast<uintptr_t>(q.menu)), WM_NOTIFY,
                                                     q.id, reinterpret_cast<LPARAM>(&header)));
    } else if (q.position < 0) {
        q.result = GetMenuItemCount(menu);
    } else {
        MENUITEMINFOA info = {};
        char text[sizeof q.text] = {};
        info.cbSize = sizeof info;
        info.fMask = 0x3F;
        info.dwTypeData = text;
        // A text buffer of 0 asks for the whole text.
        info.cch = q.textBuffer != 0 && q.textBuffer < sizeof text ? q.textBuffer : sizeof text;
        q.result = GetMenuItemInfoA(menu, static_cast<UINT>(q.position), TRUE, &info) ? 1 : 0;
        q.type = info.fType;
        q.state = info.fState;
        q.id = info.wID;
        q.submenu = reinterpret_cast<uintptr_t>(info.hSubMenu);
        std::memcpy(q.text, text, sizeof text);
    }
    q.answered = 1;
}

LRESULT CALLBACK QueryHook(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call && call->message == QueryMessage() && call->message) {
        char name[48];
        BlockName(name, static_cast<DWORD>(call->wParam));
        if (HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name)) {
            if (void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(MenuQueryBlock))) {
                AnswerQuery(*static_cast<MenuQueryBlock*>(view));
                UnmapViewOfFile(view);
            }
            CloseHandle(mapping);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Sends one query to the owner's thread; false when nobody answered.
bool RunQuery(HWND owner, MenuQueryBlock& q)
{
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&QueryHook), &self);
    const DWORD thread = owner ? GetWindowThreadProcessId(owner, nullptr) : 0;
    if (!thread || !QueryMessage())
        return false;
    char name[48];
    BlockName(name, GetCurrentProcessId());
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(MenuQueryBlock), name);
    if (!mapping)
        return false;
    bool answered = false;
    if (auto* block = static_cast<MenuQueryBlock*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof q))) {
        q.answered = 0;
        *block = q;
        if (HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &QueryHook, self, thread)) {
            // Bounded: a hung owner gives no answer; unhooked on every path.
            LRESULT reply = 0;
            SendBounded(owner, QueryMessage(), GetCurrentProcessId(), 0, reply);
            UnhookWindowsHookEx(hook);
        }
        q = *block;
        answered = q.answered == 1;
        UnmapViewOfFile(block);
    }
    CloseHandle(mapping);
    return answered;
}

} // namespace

bool ReadRemoteMenuItem(HWND owner, uintptr_t menu, int position, size_t textBuffer, MenuItemData& item)
{
    MenuQueryBlock q = {};
    q.menu = menu;
    q.position = position < 0 ? 0 : position;
    q.textBuffer = static_cast<uint32_t>(textBuffer);
    if (position < 0 || !RunQuery(owner, q) || !q.result)
        return false;
    q.text[sizeof q.text - 1] = '\0';
    item.text = (q.type & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW)) ? "" : q.text;
    item.state = q.state;
    item.id = q.id;
    item.submenu = static_cast<uintptr_t>(q.submenu);
    return true;
}

bool SendNotifyInOwnerThread(HWND parent, HWND from, UINT_PTR id, UINT code, LRESULT& reply)
{
    MenuQueryBlock q = {};
    q.menu = reinterpret_cast<uintptr_t>(parent);
    q.position = kNotify;
    q.submenu = reinterpret_cast<uintptr_t>(from);
    q.id = static_cast<uint32_t>(id);
    q.type = code;
    if (!RunQuery(parent, q))
        return false;
    reply = q.result;
    return true;
}

int RemoteMenuItemCount(HWND owner, uintptr_t menu)
{
    MenuQueryBlock q = {};
    q.menu = menu;
    q.position = -1;
    return RunQuery(owner, q) ? q.result : -1;
}

} // namespace tavro

// The records that tab and list-view messages and WM_NOTIFY carry by
// pointer, laid out for a target process of either bitness, so that a record
// can be built in this process and copied into the target's memory.
#pragma once

#include <cstdint>
#include <vector>

namespace tavro {

// Byte offsets and sizes of TCITEMA, LVITEMA and NMHDR in one bitness.
struct ControlRecordLayout {
    unsigned pointerSize;
    unsigned tabItemSize, tabItemText, tabItemTextMax;
    unsigned listItemSize, listItemSubItem, listItemText, listItemTextMax;
    unsigned notifySize, notifyId, notifyCode;
};

inline constexpr ControlRecordLayout kRecordLayout32 = {4, 28, 12, 16, 60, 8, 20, 24, 12, 4, 8};
inline constexpr ControlRecordLayout kRecordLayout64 = {8, 40, 16, 24, 88, 8, 24, 32, 24, 8, 16};

inline const ControlRecordLayout& RecordLayoutFor(bool target64)
{
    return target64 ? kRecordLayout64 : kRecordLayout32;
}

// A TCITEMA asking for the item's text only (mask TCIF_TEXT) into `text`.
std::vector<unsigned char> TabTextRecord(const ControlRecordLayout& layout, uint64_t text, int32_t textMax);
// An LVITEMA asking for the text of column `subItem` into `text`.
std::vector<unsigned char> ListTextRecord(const ControlRecordLayout& layout, int32_t subItem, uint64_t text,
                                          int32_t textMax);
// An NMHDR from window `from` (a handle value, sign-extended) with `id` and `code`.
std::vector<unsigned char> NotifyRecord(const ControlRecordLayout& layout, int64_t from, uint64_t id, uint32_t code);

} // namespace tavro

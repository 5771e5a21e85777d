// Control records for a target of either bitness, written little-endian
// field by field.
#include "tools/ControlRecords.h"

namespace tavro {

namespace {

void Put(std::vector<unsigned char>& record, unsigned offset, uint64_t value, unsigned size)
{
    for (unsigned k = 0; k < size; ++k)
        record[offset + k] = static_cast<unsigned char>(value >> (8 * k));
}

} // namespace

std::vector<unsigned char> TabTextRecord(const ControlRecordLayout& layout, uint64_t text, int32_t textMax)
{
    std::vector<unsigned char> record(layout.tabItemSize, 0);
    Put(record, 0, 1, 4); // TCIF_TEXT
    Put(record, layout.tabItemText, text, layout.pointerSize);
    Put(record, layout.tabItemTextMax, static_cast<uint32_t>(textMax), 4);
    return record;
}

std::vector<unsigned char> ListTextRecord(const ControlRecordLayout& layout, int32_t subItem, uint64_t text,
                                          int32_t textMax)
{
    std::vector<unsigned char> record(layout.listItemSize, 0);
    Put(record, layout.listItemSubItem, static_cast<uint32_t>(subItem), 4);
    Put(record, layout.listItemText, text, layout.pointerSize);
    Put(record, layout.listItemTextMax, static_cast<uint32_t>(textMax), 4);
    return record;
}

std::vector<unsigned char> NotifyRecord(const ControlRecordLayout& layout, int64_t from, uint64_t id, uint32_t code)
{
    std::vector<unsigned char> record(layout.notifySize, 0);
    Put(record, 0, static_cast<uint64_t>(from), layout.pointerSize);
    Put(record, layout.notifyId, id, layout.pointerSize);
    Put(record, layout.notifyCode, code, 4);
    return record;
}

} // namespace tavro

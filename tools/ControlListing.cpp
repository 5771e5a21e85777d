// Control classification table and listing lines.
#include "tools/ControlListing.h"

namespace tavro {

const char kControlListingHeader[] = "Index\tCtrlType\tEnabled\tVisible\tText(partial)\r\n";

ControlKind ClassifyControl(const std::string& className, unsigned long style)
{
    const unsigned low4 = style & 0xF;
    if (className == "Button") {
        switch (low4) {
        case 2:
        case 3:
            return {"CheckBox", 2};
        case 4:
        case 9:
            return {"RadioButton", 3};
        case 5:
        case 6:
            return {"3StateButton", 4};
        case 7:
            return {"GroupBox", 5};
        default:
            return {"PushButton", 1};
        }
    }
    if (className == "Edit")
        return (style & 0x4) ? ControlKind{"EditMulti", 7} : ControlKind{"EditSingle", 6};
    if (className == "ListBox")
        return (style & 0x8) ? ControlKind{"ListBoxMultiSel", 10} : ControlKind{"ListBoxSingleSel", 9};
    if (className == "ComboBox") {
        switch (low4) {
        case 1:
            return {"ComboSimple", 11};
        case 2:
            return {"ComboDropDown", 12};
        case 3:
            return {"ComboDropList", 13};
        default:
            return {className, 0};
        }
    }
    if (className == "ScrollBar")
        return (style & 0x1) ? ControlKind{"ScrollBarV", 15} : ControlKind{"ScrollBarH", 14};
    if (className == "Static")
        return {"Static", 16};
    if (className.compare(0, 8, "RICHEDIT") == 0)
        return {"RichEdit", 17};
    if (className == "SysTabControl32")
        return {"TabControl", 18};
    if (className == "SysTreeView32")
        return {"TreeView", 19};
    if (className == "SysListView32")
        return {"ListView", 20};
    return {className, 0};
}

std::string ControlIndexField(int index, bool hasFocus, bool containsFocus)
{
    const std::string number = std::to_string(index);
    if (hasFocus)
        return "[" + number + "]*\t";
    if (containsFocus)
        return "[" + number + "]\t";
    return number + "\t";
}

std::string ControlListingLine(const std::string& indexField, const std::string& typeName, bool enabled, bool visible,
                               const std::string& text)
{
    std::string shown = text.substr(0, text.find('\r'));
    shown = shown.substr(0, shown.find('\n'));
    return indexField + typeName + (enabled ? "\tTrue\t" : "\tFalse\t") + (visible ? "True\t" : "False\t") + shown +
           "\r\n";
}

} // namespace tavro

// Control types by window class and style, and the lines of the control
// listings (EnumControls, EnumAllControls, GetMouseControl).
#pragma once

#include <string>

namespace tavro {

struct ControlKind {
    std::string typeName; // "CheckBox", ..., or the class name itself
    int code;             // 1..20, 0 for classes without a type of their own
};

// The type of a window of class `className` with window style `style`.
ControlKind ClassifyControl(const std::string& className, unsigned long style);

// Control codes the item methods choose their messages by.
enum ControlCode {
    kListBoxSingleSel = 9,
    kListBoxMultiSel = 10,
    kComboSimple = 11,
    kComboDropList = 13,
    kTabControl = 18,
    kListView = 20,
};

extern const char kControlListingHeader[];

// The index field of a listing line: "[i]*\t" for the focus window,
// "[i]\t" for a window that contains it, "i\t" otherwise.
std::string ControlIndexField(int index, bool hasFocus, bool containsFocus);

// One listing line; the text is cut before its first CR, then its first LF.
std::string ControlListingLine(const std::string& indexField, const std::string& typeName, bool enabled, bool visible,
                               const std::string& text);

} // namespace tavro

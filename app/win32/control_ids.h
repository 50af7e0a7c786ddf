#pragma once
// The main window's control identifiers: one per entry of the layout table, in its order, so that
// a control is found by its name (a test driver does it from another process).

#include <string_view>

#include "app/layout.h"

namespace vigie::win32 {

constexpr int FirstControlId = 100;
constexpr int FirstMenuId = 200;

// -1 when the layout has no control of that name.
inline int controlId(std::string_view name) {
    int index = 0;
    for (const layout::Control& c : layout::controls()) {
        if (name == c.name)
            return FirstControlId + index;
        ++index;
    }
    return -1;
}

}  // namespace vigie::win32

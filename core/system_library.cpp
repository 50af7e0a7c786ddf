#include "core/system_library.h"

namespace vigie {

HMODULE systemLibrary(const wchar_t* name) {
    // The search flag holds for the library's own imports as well. A module loaded once stays
    // loaded, so a second load only counts a reference: nothing to keep track of.
    return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace vigie

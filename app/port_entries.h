#pragma once
// The entries of the port list: " 3" for a free port, "3 - In Use" for one another program holds.

#include <string>
#include <string_view>

namespace vigie {

// The decimal digits an entry starts with, blanks aside: "14" for " 14" and for "14 - In Use";
// "" when it starts with none.
std::string portEntryDigits(std::string_view entry);
// The same as a number; 0 when there are none (or too many to be a port's).
int portEntryNumber(std::string_view entry);

}  // namespace vigie

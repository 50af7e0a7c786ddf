#pragma once
// The lines of an FTP server's LIST reply, for layers that read the listing themselves.

#include <cstdint>
#include <string>

namespace vigie::ftp {

// One line of a LIST reply, in the Unix form ("-rw-r--r-- 1 owner group 3000 Jan 05 10:30 name")
// or the DOS form ("01-05-24  10:30AM  3000 name"): the file's name, spaces kept, and its size.
// False for anything else: folders in the DOS form, "total" lines, text the server adds.
bool parseListLine(const std::string& line, std::string& name, std::uint64_t& size);

}  // namespace vigie::ftp

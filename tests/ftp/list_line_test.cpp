// Directory listing lines as servers write them, and what the search takes from them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ftp/list_line.h"

namespace vigie::ftp {
namespace {

TEST(ListLine, TakesNameAndSizeFromUnixAndDosLines) {
    struct Case {
        std::string line;
        bool entry;
        std::string name;
        std::uint64_t size;
    };
    const std::vector<Case> cases = {
        // pyftpdlib, vsftpd, ProFTPD and friends
        {"-rw-r--r--   1 owner    group        3000 Dec 10 02:15 LocationsMid.txt", true,
         "LocationsMid.txt", 3000},
        {"-rw-r--r--    1 0        0          100000 Jan 05  2023 Locations Full.txt", true,
         "Locations Full.txt", 100000},
        {"-rw-r--r-- 1 user 4294967301 Mar  1 10:00 big.bin", true, "big.bin", 4294967301ull},
        {"-rw-r--r-- 1 ftp ftp 12 Jun 30 23:59  two leading spaces", true, " two leading spaces",
         12},
        {"-rw-r--r-- 1 ftp ftp 7 Jun 30 23:59 Dec 10 12:00", true, "Dec 10 12:00", 7},
        {"lrwxrwxrwx 1 ftp ftp 16 Feb  2 08:00 current.txt -> LocationsMid.txt", true,
         "current.txt", 16},
        {"drwxr-xr-x 2 ftp ftp 4096 Feb  2 08:00 archive", true, "archive", 4096},
        // IIS in its DOS style
        {"01-05-24  10:30AM                 3000 LocationsMid.txt", true, "LocationsMid.txt", 3000},
        {"12-31-23  11:59PM                   42 name with  spaces.txt", true,
         "name with  spaces.txt", 42},
        {"01-05-24  10:30AM       <DIR>          archive", false, "", 0},
        // Not entries
        {"total 12", false, "", 0},
        {"", false, "", 0},
        {"-rw-r--r-- 1 ftp ftp 3000 Dec 10 02:15", false, "", 0},
        {"-rw-r--r-- 1 ftp ftp size Dec 10 02:15 name", false, "", 0},
        {"226 Transfer complete.", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string name = "unchanged";
        std::uint64_t size = 0;
        ASSERT_EQ(parseListLine(c.line, name, size), c.entry);
        if (c.entry) {
            EXPECT_EQ(name, c.name);
            EXPECT_EQ(size, c.size);
        }
    }
}

}  // namespace
}  // namespace vigie::ftp

// The device messages byte for byte, the recognisers of each stage and the login cut from the
// device's first request.

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "session/device_link.h"

namespace vigie::link {
namespace {

std::string hex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(DeviceMessages, AreTheProtocolBytes) {
    struct Case {
        const char* name;
        std::string actual;
        const char* bytes;
    };
    const Case cases[] = {
        {"WakeUp", std::string(WakeUp), "02 10 03"},
        {"Ack", std::string(Ack), "0D 0A 30 0D 0A"},
        {"TransferStart", std::string(TransferStart), "0D 0A 31 35 30 0D 0A"},
        {"EndOfData", std::string(EndOfData), "03 0D 0A"},
        {"TransferDone", std::string(TransferDone), "0D 0A 33 36 38 0D 0A"},
        {"DataLine(text)", DataLine("1,45.5,FIXE"), "31 2C 34 35 2E 35 2C 46 49 58 45 0D 0A"},
        {"DataLine(empty)", DataLine(""), "0D 0A"},
        // Every byte goes out as it is, NUL and 8-bit characters included.
        {"DataLine(raw bytes)", DataLine(std::string("\0\xE9\xFF\n", 4)), "00 E9 FF 0A 0D 0A"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hex(c.actual), c.bytes) << c.name;
}

// One row per buffer: what each stage's recogniser makes of it, and the login cut from it.
struct BufferCase {
    const char* what;
    std::string buffer;
    bool wakeUpReply;
    bool user, password, file, get, end;
    std::string name;  // cut from the buffer ("" when it holds no FTPUN)
};

// Test lists show the row by its description.
void PrintTo(const BufferCase& c, std::ostream* os) {
    *os << c.what;
}

class DeviceBuffers : public ::testing::TestWithParam<BufferCase> {};

TEST_P(DeviceBuffers, AreRecognisedAndCut) {
    const BufferCase& c = GetParam();
    EXPECT_EQ(isWakeUpReply(c.buffer), c.wakeUpReply) << "wake-up reply";
    EXPECT_EQ(hasRequest(c.buffer, UserNameRequest), c.user) << "T#FTPUN";
    EXPECT_EQ(hasRequest(c.buffer, PasswordRequest), c.password) << "T#FTPPW";
    EXPECT_EQ(hasRequest(c.buffer, FileRequest), c.file) << "T#FTPFILEP";
    EXPECT_EQ(hasRequest(c.buffer, GetRequest), c.get) << "T#FTPGET";
    EXPECT_EQ(hasEndReport(c.buffer), c.end) << "T#END";
    EXPECT_EQ(hex(cutUserName(c.buffer)), hex(c.name)) << "user name";
    const std::string reversed(c.name.rbegin(), c.name.rend());
    EXPECT_EQ(hex(passwordFor(cutUserName(c.buffer))), hex(reversed)) << "password";
}

const std::string kFlood(40000, 'Z');

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceBuffers,
    ::testing::Values(
        BufferCase{"nothing yet", "", false, false, false, false, false, false, ""},
        BufferCase{"wake-up reply", "\x01\x02\x03", true, false, false, false, false, false, ""},
        BufferCase{"wake-up reply in any order, among other bytes", "x\x03y\x01z\x02", true, false,
                   false, false, false, false, ""},
        BufferCase{"the program's own wake-up is no reply", "\x02\x10\x03", false, false, false,
                   false, false, false, ""},
        BufferCase{"SOH and STX without ETX", "\x01\x02", false, false, false, false, false, false,
                   ""},
        BufferCase{"user-name request straight away ends stage 1", "T#FTPUNAB12CD3", true, false,
                   false, false, false, false, "AB12CD3"},
        BufferCase{"user-name request with its CR", "\x01\x02\x03T#FTPUNAB12CD3\r", true, true,
                   false, false, false, false, "AB12CD3"},
        BufferCase{"CR ahead of the keyword counts, name cut short", "\x01\r\x02\x03T#FTPUNAB1",
                   true, true, false, false, false, false, "AB1"},
        BufferCase{"exactly 7 bytes follow FTPUN, line end included", "T#FTPUNABCDE\r\n", true,
                   true, false, false, false, false, "ABCDE\r\n"},
        BufferCase{"lower case name is upper-cased", "T#FTPUNab12cd3\r", true, true, false, false,
                   false, false, "AB12CD3"},
        BufferCase{"8-bit letters are upper-cased too", "T#FTPUN\xE9t\xE9\x39\x39\x39\x39\r", true,
                   true, false, false, false, false, "\xC9T\xC9\x39\x39\x39\x39"},
        BufferCase{"an earlier FTPUN wins", "FTPUNxyz\rT#FTPUNREAL123\r", true, true, false, false,
                   false, false, "XYZ\rT#F"},
        BufferCase{"lower-case request is not recognised", "t#ftpunab12cd3\r", false, false, false,
                   false, false, false, ""},
        BufferCase{"keyword split by the CR is no request", "T#FTPU\rN", false, false, false, false,
                   false, false, ""},
        BufferCase{"password request, its text ignored", "T#FTPPW3DC21BA\r", false, false, true,
                   false, false, false, ""},
        BufferCase{"password request without CR", "T#FTPPW3DC21BA", false, false, false, false,
                   false, false, ""},
        BufferCase{"file request", "\r\nT#FTPFILEPwhatever\r", false, false, false, true, false,
                   false, ""},
        BufferCase{"get request", "T#FTPGET\r", false, false, false, false, true, false, ""},
        BufferCase{"end report needs no CR", "xxT#ENDyy", false, false, false, false, false, true,
                   ""},
        BufferCase{"end report is case-sensitive", "t#end\r", false, false, false, false, false,
                   false, ""},
        BufferCase{"a name far into a flooded buffer", kFlood + "T#FTPUNFAR0001\r", true, true,
                   false, false, false, false, "FAR0001"}),
    [](const ::testing::TestParamInfo<BufferCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST(DevicePassword, IsTheNameReversed) {
    EXPECT_EQ(passwordFor("AB12CD3"), "3DC21BA");
    EXPECT_EQ(passwordFor(""), "");
    EXPECT_EQ(passwordFor(std::string("A\0B", 3)), std::string("B\0A", 3));
}

}  // namespace
}  // namespace vigie::link

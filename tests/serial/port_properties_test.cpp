// The serial port's properties as every serial layer checks them: the line settings text, the port
// number and the read length.

#include "serial/port_properties.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/runtime_error.h"

namespace vigie {
namespace {

std::int32_t errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.Number;
    }
    return 0;
}

TEST(LineSettings, ReadsSpeedParityDataBitsAndStopBits) {
    const struct {
        const char* text;
        std::int32_t baudRate;
        Parity parity;
        int dataBits;
        StopBits stopBits;
    } good[] = {
        {"38400,N,8,1", 38400, Parity::None, 8, StopBits::One},
        {"9600,e,7,2", 9600, Parity::Even, 7, StopBits::Two},
        {"1200,O,5,1.5", 1200, Parity::Odd, 5, StopBits::OneAndHalf},
        {"110,m,6,1", 110, Parity::Mark, 6, StopBits::One},
        {"300,S,8,2", 300, Parity::Space, 8, StopBits::Two},
        {" 38400 , N , 8 , 1 ", 38400, Parity::None, 8, StopBits::One},  // blanks ignored
        {"999999999,N,8,1", 999999999, Parity::None, 8, StopBits::One},
    };
    for (const auto& c : good) {
        SCOPED_TRACE(c.text);
        const LineSettings s = parseLineSettings(c.text);
        EXPECT_EQ(s.baudRate, c.baudRate);
        EXPECT_EQ(s.parity, c.parity);
        EXPECT_EQ(s.dataBits, c.dataBits);
        EXPECT_EQ(s.stopBits, c.stopBits);
    }
}

TEST(LineSettings, RefusesWhatNoPortCanApplyAsAnInvalidPropertyValue) {
    for (const char* bad : {"", "38400", "38400,N,8", "38400,N,8,1,1", "fast,N,8,1", "0,N,8,1",
                            "-9600,N,8,1", "+9600,N,8,1", "1000000000,N,8,1", "38400,X,8,1",
                            "38400,NN,8,1", "38400,,8,1", "38400,N,4,1", "38400,N,9,1",
                            "38400,N,88,1", "38400,N,8,3", "38400,N,8,1.0", "38400,N,8,"})
        EXPECT_EQ(errorOf([&] { parseLineSettings(bad); }), 380) << bad;
}

TEST(PortProperties, PortNumbersFromOneAndReadLengthsFromZero) {
    EXPECT_EQ(checkedPortNumber(1), 1);
    EXPECT_EQ(checkedPortNumber(255), 255);
    EXPECT_EQ(errorOf([] { checkedPortNumber(0); }), err::InvalidPortNumber);
    EXPECT_EQ(errorOf([] { checkedPortNumber(256); }), err::InvalidPortNumber);
    EXPECT_EQ(errorOf([] { checkedPortNumber(-3); }), err::InvalidPortNumber);
    EXPECT_EQ(checkedInputLen(0), 0);
    EXPECT_EQ(checkedInputLen(3), 3);
    EXPECT_EQ(errorOf([] { checkedInputLen(-1); }), 380);
}

}  // namespace
}  // namespace vigie

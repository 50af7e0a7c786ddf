#pragma once
// The serial port's properties as the program sets them, checked once for every serial layer so
// that each refuses the same values with the same errors: the port number, the line settings text
// "speed,parity,data bits,stop bits" (for example "38400,N,8,1") and the read length.

#include <cstdint>
#include <string>

namespace vigie {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
    std::int32_t baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Parity N, E, O, M or S in either case; 5 to 8 data bits; 1, 1.5 or 2 stop bits; blanks are
// ignored. Anything else raises vigie::RuntimeError 380 (invalid property value).
LineSettings parseLineSettings(const std::string& text);
// The port number when it is 1 to 255; raises err::InvalidPortNumber otherwise.
std::int16_t checkedPortNumber(std::int16_t port);
// The read length when it is 0 or more; raises 380 (invalid property value) otherwise.
std::int16_t checkedInputLen(std::int16_t len);

}  // namespace vigie

#pragma once
// The line settings text of the serial port, "speed,parity,data bits,stop bits" (for example
// "38400,N,8,1"), read once for every serial layer.

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

}  // namespace vigie

#pragma once
// A run-time error as the session's error regions see it: the platform's error record.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vigie {

// Error numbers used by the program.
namespace err {
constexpr std::int32_t Overflow = 6;
constexpr std::int32_t TypeMismatch = 13;
constexpr std::int32_t DivisionByZero = 11;
constexpr std::int32_t Internal = 51;
constexpr std::int32_t BadFileNumber = 52;
constexpr std::int32_t FileNotFound = 53;
constexpr std::int32_t FileAlreadyOpen = 55;
constexpr std::int32_t InputPastEnd = 62;
constexpr std::int32_t PermissionDenied = 70;
constexpr std::int32_t PathFileAccess = 75;
constexpr std::int32_t InvalidPortNumber = 8002;
constexpr std::int32_t PortAlreadyOpen = 8005;
constexpr std::int32_t PortOpenFailed = 8010;
constexpr std::int32_t PortNotOpen = 8018;
constexpr std::int32_t ReadError = 8020;
constexpr std::int32_t WriteError = 8021;
}  // namespace err

class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(std::int32_t number, std::string source, std::string description,
                 std::int32_t lastDllError = 0)
        : std::runtime_error(description),
          Number(number),
          Source(std::move(source)),
          Description(std::move(description)),
          LastDllError(lastDllError) {}

    std::int32_t Number;
    std::string Source;
    std::string Description;
    std::int32_t LastDllError;
};

}  // namespace vigie

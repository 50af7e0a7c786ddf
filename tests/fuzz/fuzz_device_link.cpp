#include <cstddef>
#include <cstdint>

#include "tests/fuzz/device_link_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vigie::fuzz::Findings findings;
    vigie::fuzz::checkDeviceLink(vigie::fuzz::bytesOf(data, size), findings);
    vigie::fuzz::abortOnFindings(findings);
    return 0;
}

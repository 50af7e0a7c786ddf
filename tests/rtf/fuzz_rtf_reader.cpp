#include <cstddef>
#include <cstdint>

#include "tests/rtf/rtf_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vigie::fuzz::Findings findings;
    vigie::fuzz::checkRtf(vigie::fuzz::bytesOf(data, size), findings);
    vigie::fuzz::abortOnFindings(findings);
    return 0;
}

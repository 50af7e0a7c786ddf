#pragma once
// Transfer payloads for the FTP tests.

#include <cstddef>
#include <string>

namespace vigie::test {

// Bytes of every value, with bare LF, bare CR and CR LF among them, different for each seed.
std::string testBytes(std::size_t size, unsigned seed);
bool fileExists(const std::string& path);

}  // namespace vigie::test

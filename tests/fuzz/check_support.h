#pragma once
// What the fuzzers and the corpus replay test share: a list of broken promises, filled by the
// checks of one input. The fuzzer stops on the first input that breaks one; the replay test names
// every broken promise with the corpus file that shows it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace vigie::fuzz {

class Findings {
  public:
    // `what` is a literal: nothing is built while the promise holds, which keeps the fuzzers fast.
    void expect(bool ok, const char* what) {
        if (!ok)
            broken_.emplace_back(what);
    }
    bool empty() const { return broken_.empty(); }
    std::string text() const {
        std::string out;
        for (const std::string& b : broken_)
            out += (out.empty() ? "" : "; ") + b;
        return out;
    }

  private:
    std::vector<std::string> broken_;
};

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// libFuzzer treats an abort as a finding and keeps the input that caused it.
inline void abortOnFindings(const Findings& findings) {
    if (findings.empty())
        return;
    std::fprintf(stderr, "broken: %s\n", findings.text().c_str());
    std::abort();
}

// Position of the first `needle` in `hay`, found by comparing at every position: an oracle that
// does not share its code with std::string_view::find. hay.size() + 1 when absent.
inline std::size_t firstAt(std::string_view hay, std::string_view needle) {
    for (std::size_t at = 0; at + needle.size() <= hay.size(); ++at) {
        std::size_t k = 0;
        while (k < needle.size() && hay[at + k] == needle[k])
            ++k;
        if (k == needle.size())
            return at;
    }
    return hay.size() + 1;
}

inline bool occurs(std::string_view hay, std::string_view needle) {
    return firstAt(hay, needle) <= hay.size();
}

}  // namespace vigie::fuzz

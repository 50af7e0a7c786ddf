#pragma once
// The lines a benchmark prints for bench/run's table: "ROW" and six tab-separated columns.

#include <cstdio>
#include <string>

namespace vigie::bench {

inline std::string fmt(const char* format, double a, double b = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

inline void resultRow(const std::string& metric, const std::string& value, const std::string& peer,
                      const std::string& ratio, const std::string& goal, bool met) {
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", metric.c_str(), value.c_str(), peer.c_str(),
                ratio.c_str(), goal.c_str(), met ? "met" : "MISSED");
}

}  // namespace vigie::bench

#pragma once
// The log of what the program did, kept for support: one line per event, each starting with the
// local date and time to the millisecond, in UTF-8. Writing it never stops, slows or fails the
// program: a log that cannot be written is left alone after the first failure. Past its size
// limit the file is renamed with ".1" added (one older file is kept) and a new one starts.
// Texts registered as secret (a device's name, a password) never reach the file: they are
// written as their masked forms wherever they appear. Each event is one line: the line breaks
// of its text are written " / ". Bytes of a text that are not UTF-8 are written as U+FFFD, so
// that the file is always valid UTF-8.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/platform.h"

namespace vigie {

class UpdateLog {
  public:
    static constexpr std::uintmax_t SizeLimit = 1024 * 1024;

    UpdateLog() = default;
    // Logs to the file at that UTF-8 path (its folder is created when needed); "" logs nothing.
    explicit UpdateLog(std::string path) : path_(std::move(path)) {}

    void write(const DateTime& when, const std::string& text);
    // From now on, `secret` is written as `shownAs`.
    void hide(const std::string& secret, const std::string& shownAs);

    const std::string& path() const { return path_; }
    // False once writing has failed: the log is left alone from then on.
    bool working() const { return !failed_; }

  private:
    std::string masked(std::string text) const;

    std::string path_;
    bool failed_ = false;
    std::vector<std::pair<std::string, std::string>> secrets_;
};

// The device's name as the log shows it: all but its first two and its last characters masked,
// enough to match a device without giving its name (nor, reversed, its password).
std::string maskedDeviceName(const std::string& name);

}  // namespace vigie

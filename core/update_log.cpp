#include "core/update_log.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/file_path.h"
#include "core/text.h"

namespace vigie {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* LineEnd = "\r\n";  // the log is sent from Windows machines, read in Notepad
#else
constexpr const char* LineEnd = "\n";
#endif

std::string stamp(const DateTime& t) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.millisecond);
    return buffer;
}

// One event, one line: the line breaks of a box's text or a server's reply become " / ".
std::string oneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            line += " / ";
        } else {
            line += text[i];
        }
    }
    return line;
}

}  // namespace

std::string maskedDeviceName(const std::string& name) {
    if (name.size() <= 3)
        return std::string(name.size(), '*');
    return name.substr(0, 2) + std::string(name.size() - 3, '*') + name.back();
}

void UpdateLog::hide(const std::string& secret, const std::string& shownAs) {
    if (secret.empty())
        return;
    for (auto& [known, shown] : secrets_) {
        if (known == secret) {
            shown = shownAs;
            return;
        }
    }
    secrets_.emplace_back(secret, shownAs);
}

std::string UpdateLog::masked(std::string text) const {
    for (const auto& [secret, shown] : secrets_) {
        for (std::size_t at = text.find(secret); at != std::string::npos;
             at = text.find(secret, at + shown.size()))
            text.replace(at, secret.size(), shown);
    }
    return text;
}

void UpdateLog::write(const DateTime& when, const std::string& text) {
    if (path_.empty() || failed_)
        return;
    // Whatever a system or a server handed over, the file stays UTF-8 that any reader opens.
    const std::string line = stamp(when) + masked(validUtf8(oneLine(text))) + LineEnd;
    const fs::path file = filePath(path_);
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const std::uintmax_t size = fs::file_size(file, ec);
    if (!ec && size + line.size() > SizeLimit) {
        const fs::path older = filePath(path_ + ".1");
        fs::remove(older, ec);
        fs::rename(file, older, ec);
    }
    std::FILE* out = openFile(path_, "ab");
    bool written = out != nullptr && std::fwrite(line.data(), 1, line.size(), out) == line.size();
    if (out)
        written = std::fclose(out) == 0 && written;
    failed_ = !written;
}

}  // namespace vigie

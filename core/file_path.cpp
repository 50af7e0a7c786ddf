#include "core/file_path.h"

#ifdef _WIN32
#include "core/wide_text.h"
#endif

namespace vigie {

#ifdef _WIN32

std::filesystem::path filePath(const std::string& utf8) {
    return std::filesystem::path(widen(utf8));
}

std::string pathText(const std::filesystem::path& path) {
    return narrow(path.native());
}

std::FILE* openFile(const std::string& utf8Path, const char* mode) {
    return ::_wfopen(widen(utf8Path).c_str(), widen(mode).c_str());
}

#else

std::filesystem::path filePath(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

std::string pathText(const std::filesystem::path& path) {
    return path.native();
}

std::FILE* openFile(const std::string& utf8Path, const char* mode) {
    return std::fopen(utf8Path.c_str(), mode);
}

#endif

}  // namespace vigie

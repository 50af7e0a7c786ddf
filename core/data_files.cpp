#include "core/data_files.h"

#include <cstdlib>

#include "core/file_path.h"
#include "core/runtime_error.h"

namespace vigie {
namespace {

// The system's code for why an open failed (Windows: the runtime keeps it in _doserrno; a file
// another program holds is a sharing violation), for the callers that retry; 0 elsewhere.
void clearOpenError() {
#ifdef _WIN32
    _doserrno = 0;
#endif
}

std::int32_t lastOpenError() {
#ifdef _WIN32
    return static_cast<std::int32_t>(_doserrno);
#else
    return 0;
#endif
}

}  // namespace

std::int16_t DataFiles::freeFile() const {
    std::int16_t n = 1;
    while (files_.count(n))
        ++n;
    return n;
}

void DataFiles::openInput(std::int16_t number, const std::string& path) {
    if (files_.count(number))
        throw RuntimeError(err::FileAlreadyOpen, "DataFiles", "File already open");
    auto f = std::make_unique<std::fstream>(filePath(path), std::ios::in | std::ios::binary);
    if (!f->is_open())
        throw RuntimeError(err::FileNotFound, "DataFiles", "File not found");
    files_[number] = std::move(f);
}

void DataFiles::openOutput(std::int16_t number, const std::string& path) {
    if (files_.count(number))
        throw RuntimeError(err::FileAlreadyOpen, "DataFiles", "File already open");
    clearOpenError();
    auto f = std::make_unique<std::fstream>(filePath(path),
                                            std::ios::out | std::ios::trunc | std::ios::binary);
    if (!f->is_open())
        throw RuntimeError(err::PathFileAccess, "DataFiles", "Path/File access error",
                           lastOpenError());
    files_[number] = std::move(f);
}

std::fstream& DataFiles::stream(std::int16_t number) {
    auto it = files_.find(number);
    if (it == files_.end())
        throw RuntimeError(err::BadFileNumber, "DataFiles", "Bad file name or number");
    return *it->second;
}

bool DataFiles::eof(std::int16_t number) {
    std::fstream& f = stream(number);
    return f.peek() == std::char_traits<char>::eof();
}

std::string DataFiles::lineInput(std::int16_t number) {
    std::fstream& f = stream(number);
    if (f.peek() == std::char_traits<char>::eof())
        throw RuntimeError(err::InputPastEnd, "DataFiles", "Input past end of file");
    std::string line;
    for (int c = f.get(); c != std::char_traits<char>::eof(); c = f.get()) {
        if (c == '\r') {
            if (f.peek() == '\n')
                f.get();
            return line;
        }
        if (c == '\n')
            return line;
        line.push_back(static_cast<char>(c));
    }
    if (f.bad())
        throw RuntimeError(err::PathFileAccess, "DataFiles", "Path/File access error");
    return line;
}

void DataFiles::printLine(std::int16_t number, const std::string& text) {
    std::fstream& f = stream(number);
    f << text << "\r\n";
    if (!f)
        throw RuntimeError(err::PathFileAccess, "DataFiles", "Path/File access error");
}

void DataFiles::close(std::int16_t number) {
    auto it = files_.find(number);
    if (it == files_.end())
        return;
    it->second->close();
    files_.erase(it);
}

}  // namespace vigie

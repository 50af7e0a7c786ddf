#include "core/line_files.h"

#include <cstdlib>

#include "core/file_path.h"
#include "core/runtime_error.h"

namespace vigie {
namespace {

// The errors keep the source name that support knows from the log.
constexpr const char* Source = "DataFiles";

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

void LineReader::open(const std::string& path) {
    if (in_.is_open())
        throw RuntimeError(err::FileAlreadyOpen, Source, "File already open");
    in_.clear();
    in_.open(filePath(path), std::ios::in | std::ios::binary);
    if (!in_.is_open())
        throw RuntimeError(err::FileNotFound, Source, "File not found");
}

bool LineReader::atEnd() {
    if (!in_.is_open())
        throw RuntimeError(err::BadFileNumber, Source, "Bad file name or number");
    return in_.peek() == std::char_traits<char>::eof();
}

std::string LineReader::readLine() {
    if (atEnd())
        throw RuntimeError(err::InputPastEnd, Source, "Input past end of file");
    std::string line;
    for (int c = in_.get(); c != std::char_traits<char>::eof(); c = in_.get()) {
        if (c == '\r') {
            if (in_.peek() == '\n')
                in_.get();
            return line;
        }
        if (c == '\n')
            return line;
        line.push_back(static_cast<char>(c));
    }
    if (in_.bad())
        throw RuntimeError(err::PathFileAccess, Source, "Path/File access error");
    return line;
}

void LineReader::close() {
    if (in_.is_open())
        in_.close();
}

void LineWriter::open(const std::string& path) {
    if (out_.is_open())
        throw RuntimeError(err::FileAlreadyOpen, Source, "File already open");
    clearOpenError();
    out_.clear();
    out_.open(filePath(path), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out_.is_open())
        throw RuntimeError(err::PathFileAccess, Source, "Path/File access error", lastOpenError());
}

void LineWriter::writeLine(const std::string& text) {
    if (!out_.is_open())
        throw RuntimeError(err::BadFileNumber, Source, "Bad file name or number");
    out_ << text << "\r\n";
    if (!out_)
        throw RuntimeError(err::PathFileAccess, Source, "Path/File access error");
}

void LineWriter::close() {
    if (out_.is_open())
        out_.close();
}

}  // namespace vigie

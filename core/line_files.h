#pragma once
// Text files read and written line by line, as the working file is: the downloaded database read
// line by line, the filler written over it. Failures raise vigie::RuntimeError with the run-time
// error numbers the log and the error boxes show.

#include <cstdint>
#include <fstream>
#include <string>

namespace vigie {

class LineReader {
  public:
    // Raises err::FileNotFound when the file cannot be opened.
    void open(const std::string& path);
    bool isOpen() const { return in_.is_open(); }
    // Whether every line has been read; err::BadFileNumber when the file is not open.
    bool atEnd();
    // One line: it ends at CR, at CR LF (one end) or at a lone LF, so that a file stored with
    // Unix line ends reads line by line as well; the last line needs no end. Every other byte is
    // kept as it is. Raises err::InputPastEnd at the end of the file.
    std::string readLine();
    // Closing a file that is not open does nothing.
    void close();

  private:
    std::ifstream in_;
};

class LineWriter {
  public:
    // Empties the file, or creates it; err::PathFileAccess (with the system's code on Windows,
    // a sharing violation when another program holds the file) when it cannot be written.
    void open(const std::string& path);
    bool isOpen() const { return out_.is_open(); }
    // The text and CR LF.
    void writeLine(const std::string& text);
    void close();

  private:
    std::ofstream out_;
};

}  // namespace vigie

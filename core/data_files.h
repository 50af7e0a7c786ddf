#pragma once
// Files opened by number, as the working file is handled: sequential text lines in and out.
// Failures raise vigie::RuntimeError with the runtime's file error numbers.

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace vigie {

class DataFiles {
  public:
    // The lowest file number not in use.
    std::int16_t freeFile() const;
    void openInput(std::int16_t number, const std::string& path);
    void openOutput(std::int16_t number, const std::string& path);  // empties the file
    bool eof(std::int16_t number);
    // One line: it ends at CR, at CR LF (one end) or at a lone LF, so that a file stored with
    // Unix line ends reads line by line as well; the last line needs no end. Every other byte is
    // kept as it is. Raises err::InputPastEnd at the end of the file.
    std::string lineInput(std::int16_t number);
    // Writes the text and CR LF.
    void printLine(std::int16_t number, const std::string& text);
    // Closing a number that is not open does nothing.
    void close(std::int16_t number);
    bool isOpen(std::int16_t number) const { return files_.count(number) != 0; }

  private:
    std::fstream& stream(std::int16_t number);
    std::map<std::int16_t, std::unique_ptr<std::fstream>> files_;
};

}  // namespace vigie

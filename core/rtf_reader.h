#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vigie {

// Plain text of an RTF document, UTF-8, lines separated by "\n". Never throws, never hangs:
// malformed or truncated input yields the text read so far, in time linear in the input.
std::string rtfToText(std::string_view rtf);

// Loads a document file as rich text and returns its plain text; std::nullopt when the file is
// missing, unreadable, or not RTF (it must start with "{\rtf", as a rich-text box refuses
// anything else).
std::optional<std::string> loadRtfFile(const std::string& path);

}  // namespace vigie

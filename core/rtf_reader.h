#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vigie {

// Plain text of an RTF document, UTF-8, lines separated by "\n". Never throws, never hangs:
// malformed or truncated input yields the text read so far, in time linear in the input.
std::string rtfToText(std::string_view rtf);

// Loads a document file as rich text and returns its plain text; std::nullopt when the file is
// missing, unreadable, or not RTF (it must start with "{\rtf", as a rich-text box refuses
// anything else).
std::optional<std::string> loadRtfFile(const std::string& path);

// ---- Formatted text ----------------------------------------------------------------------------
// The same text with what a reader sees of its formatting. Fonts, sizes and colours are left
// out: the windows show every document in one font and colour.

struct RtfCharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool operator==(const RtfCharFormat&) const = default;
};

// Byte offsets into RtfDocument::text; [begin, end) is never empty.
struct RtfRun {
    std::size_t begin;
    std::size_t end;
    RtfCharFormat format;
};

enum class RtfAlignment { Left, Centre, Right, Justified };
enum class RtfTabAlignment { Left, Centre, Right, Decimal };

struct RtfTabStop {
    int position;  // twips from the left margin
    RtfTabAlignment alignment;
    bool operator==(const RtfTabStop&) const = default;
};

enum class RtfListStyle { None, Bullet, Decimal, LowerAlpha, UpperAlpha, LowerRoman, UpperRoman };

struct RtfParagraphFormat {
    RtfAlignment alignment = RtfAlignment::Left;
    int leftIndent = 0;  // twips; the first line starts at leftIndent + firstLineIndent
    int firstLineIndent = 0;
    int rightIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    std::vector<RtfTabStop> tabStops;  // ascending positions, at most kMaxTabStops
    // A list item: its marker's style and the text around the number ("(" and ")" of "(a)").
    // Lists of the older form (\pn) name their style; those of the newer form (\ls) keep it in
    // the list table, so it is read off the marker the file wrote out ("1." numbers, "a." letters).
    RtfListStyle list = RtfListStyle::None;
    int listLevel = 0;  // 0 to 8
    int listId = 0;     // items of one numbered list share it; 0 for lists in the older form
    std::string listPrefix;
    std::string listSuffix;
    bool operator==(const RtfParagraphFormat&) const = default;

    static constexpr std::size_t kMaxTabStops = 32;
};

// A paragraph is text[begin, end); the "\n" after it, if any, separates it from the next. Text
// between begin and markerEnd is the list marker the file wrote out for readers without lists
// ("1." and a tab); empty when there is none.
struct RtfParagraph {
    std::size_t begin;
    std::size_t markerEnd;
    std::size_t end;
    std::size_t format;  // index into RtfDocument::formats
};

struct RtfDocument {
    std::string text;                      // exactly rtfToText() of the same input
    std::vector<RtfRun> runs;              // cover text from start to end, in order
    std::vector<RtfParagraph> paragraphs;  // cover text from start to end, in order; never empty
    std::vector<RtfParagraphFormat> formats;
    int defaultTabWidth = 720;  // twips between the tab stops a paragraph does not set
};

// Never throws, never hangs, like rtfToText.
RtfDocument rtfToDocument(std::string_view rtf);

// loadRtfFile with formatting.
std::optional<RtfDocument> loadRtfDocument(const std::string& path);

}  // namespace vigie

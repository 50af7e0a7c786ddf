#pragma once
// Promises of the RTF reader for any input, however broken: what the fuzzer checks and the corpus
// replay re-checks. The windows rely on them: whole UTF-8, no control characters but tab and line
// feed, text no longer than three bytes per input byte, and formatting that covers the text
// exactly without changing it.

#include <string>
#include <string_view>

#include "core/rtf_reader.h"
#include "tests/fuzz/check_support.h"
#include "tests/fuzz/text_checks.h"

namespace vigie::fuzz {

inline bool isContinuationByte(const std::string& text, std::size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}

inline void checkRtfText(std::string_view input, const std::string& text, Findings& f) {
    std::u32string points;
    f.expect(decodeUtf8(text, points), "text is not valid UTF-8");
    bool controls = false;
    for (const char32_t cp : points)
        controls = controls || (cp < 0x20 && cp != '\t' && cp != '\n');
    f.expect(!controls, "text holds a control character other than tab and line feed");
    f.expect(text.size() <= 3 * input.size(), "text longer than three bytes per input byte");
}

inline void checkRuns(const RtfDocument& doc, Findings& f) {
    const std::string& text = doc.text;
    f.expect(doc.runs.empty() == text.empty(), "runs missing for text, or runs without text");
    std::size_t at = 0;
    bool ordered = true, split = false, repeated = false;
    for (std::size_t k = 0; k < doc.runs.size(); ++k) {
        const RtfRun& r = doc.runs[k];
        ordered = ordered && r.begin == at && r.end > r.begin && r.end <= text.size();
        split = split || isContinuationByte(text, r.begin);
        repeated = repeated || (k > 0 && doc.runs[k - 1].format == r.format);
        at = r.end;
    }
    f.expect(ordered && at == text.size(), "runs do not cover the text exactly, in order");
    f.expect(!split, "a run starts inside a character");
    f.expect(!repeated, "two neighbouring runs have the same format");
}

inline void checkParagraphs(std::string_view input, const RtfDocument& doc, Findings& f) {
    const std::string& text = doc.text;
    f.expect(!doc.paragraphs.empty(), "no paragraph");
    // Each paragraph ends with a control word or a backslash and a line break: two bytes at least.
    f.expect(doc.paragraphs.size() <= input.size() / 2 + 1, "more paragraphs than the input holds");
    f.expect(doc.formats.size() <= doc.paragraphs.size(), "more formats than paragraphs");
    std::size_t at = 0;
    bool covered = true, markers = true, indexed = true, split = false;
    for (std::size_t k = 0; k < doc.paragraphs.size(); ++k) {
        const RtfParagraph& p = doc.paragraphs[k];
        const bool last = k + 1 == doc.paragraphs.size();
        covered = covered && p.begin == at && p.begin <= p.end &&
                  (last ? p.end == text.size() : p.end < text.size() && text[p.end] == '\n');
        markers = markers && p.begin <= p.markerEnd && p.markerEnd <= p.end;
        split = split || isContinuationByte(text, p.markerEnd);
        indexed = indexed && p.format < doc.formats.size();
        at = p.end + 1;
    }
    f.expect(covered, "paragraphs do not cover the text exactly, split at line feeds");
    f.expect(markers, "a list marker lies outside its paragraph");
    f.expect(!split, "a list marker ends inside a character");
    f.expect(indexed, "a paragraph names a format that does not exist");

    bool tabs = true, bounds = true, lists = true;
    std::u32string points;
    for (const RtfParagraphFormat& p : doc.formats) {
        tabs = tabs && p.tabStops.size() <= RtfParagraphFormat::kMaxTabStops;
        for (std::size_t k = 0; k < p.tabStops.size(); ++k) {
            tabs = tabs && p.tabStops[k].position >= 0 && p.tabStops[k].position <= 31680 &&
                   (k == 0 || p.tabStops[k - 1].position < p.tabStops[k].position);
        }
        for (const int twips : {p.leftIndent, p.firstLineIndent, p.rightIndent})
            bounds = bounds && twips >= -31680 && twips <= 31680;
        bounds = bounds && p.spaceBefore >= 0 && p.spaceBefore <= 31680 && p.spaceAfter >= 0 &&
                 p.spaceAfter <= 31680;
        lists = lists && p.listLevel >= 0 && p.listLevel <= 8 && p.listPrefix.size() <= 16 &&
                p.listSuffix.size() <= 16 && decodeUtf8(p.listPrefix, points) &&
                decodeUtf8(p.listSuffix, points) &&
                (p.list != RtfListStyle::None ||
                 (p.listId == 0 && p.listPrefix.empty() && p.listSuffix.empty()));
    }
    f.expect(doc.defaultTabWidth >= 1 && doc.defaultTabWidth <= 31680,
             "default tab width out of range");
    f.expect(tabs, "tab stops out of order, out of range or too many");
    f.expect(bounds, "an indent or a spacing out of range");
    f.expect(lists, "a list format out of range");
}

inline void checkRtf(std::string_view input, Findings& f) {
    const std::string text = rtfToText(input);
    checkRtfText(input, text, f);
    const RtfDocument doc = rtfToDocument(input);
    f.expect(doc.text == text, "formatting changes the text");
    checkRuns(doc, f);
    checkParagraphs(input, doc, f);
}

}  // namespace vigie::fuzz

#include "core/rtf_reader.h"

#include <gtest/gtest.h>

#include "tests/rtf/rtf_checks.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/utf8.h"

namespace fs = std::filesystem;
using vigie::loadRtfDocument;
using vigie::loadRtfFile;
using vigie::RtfAlignment;
using vigie::RtfDocument;
using vigie::RtfListStyle;
using vigie::RtfParagraphFormat;
using vigie::rtfToDocument;
using vigie::rtfToText;
using namespace std::string_literals;
using vigie::test::isValidUtf8;
using vigie::test::readFile;

namespace {

// What the reader promises for any input, however broken.
void expectSaneOutput(const std::string& input, const std::string& text) {
    EXPECT_TRUE(isValidUtf8(text));
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        ASSERT_TRUE(b >= 0x20 || c == '\t' || c == '\n') << "control byte " << int(b);
    }
    // No input byte yields more than three bytes of text.
    EXPECT_LE(text.size(), 3 * input.size());
}

const fs::path kFixtures = VIGIE_RTF_FIXTURES_DIR;
const fs::path kResources = VIGIE_RESOURCES_DIR;
const fs::path kCorpus = VIGIE_RTF_CORPUS_DIR;

struct Case {
    const char* name;
    std::string rtf;
    std::string text;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class RtfToText : public testing::TestWithParam<Case> {};

TEST_P(RtfToText, ExtractsPlainText) {
    const Case& c = GetParam();
    const std::string text = rtfToText(c.rtf);
    EXPECT_EQ(text, c.text);
    expectSaneOutput(c.rtf, text);
}

const Case kCases[] = {
    // Structure
    {"plain", R"({\rtf1\ansi Bonjour})", "Bonjour"},
    {"nested_groups", R"({\rtf1 a{\b b{\i c}d}e})", "abcde"},
    {"text_after_document_end_ignored", "{\\rtf1 fin}\0 reste"s, "fin"},
    {"stray_closing_brace_ends_document", R"({\rtf1 a}b})", "a"},
    {"file_line_breaks_are_not_text", "{\\rtf1 un\r\ndeux\nt\rrois}", "undeuxtrois"},
    {"empty", "", ""},
    {"no_group_at_all", "juste du texte", "juste du texte"},

    // Control words and their delimiters
    {"delimiting_space_consumed", R"({\rtf1\b gras\b0 normal})", "grasnormal"},
    {"second_space_is_text", R"({\rtf1\b0  x})", " x"},
    {"parameter_ends_word", R"({\rtf1\fs24x\li-120y})", "xy"},
    {"minus_without_digit_is_text", R"({\rtf1\foo-bar})", "-bar"},
    {"unknown_word_ignored", R"({\rtf1\qwertyuiop123 texte})", "texte"},
    {"huge_parameter", R"({\rtf1\fs99999999999999999999 ok})", "ok"},
    {"par_line_tab", R"({\rtf1 a\par b\line c\tab d\par})", "a\nb\nc\td\n"},
    {"backslash_newline_is_par", "{\\rtf1 a\\\nb}", "a\nb"},
    {"typographic_words", R"({\rtf1\lquote x\rquote\ldblquote y\rdblquote\emdash\endash\bullet})",
     "\u2018x\u2019\u201Cy\u201D\u2014\u2013\u2022"},
    {"table_cells", R"({\rtf1 a\cell b\cell\row c})", "a\tb\t\nc"},

    // Control symbols
    {"escaped_braces_and_backslash", R"({\rtf1 \{x\}\\})", "{x}\\"},
    {"nbsp_optional_and_nonbreaking_hyphen", R"({\rtf1 a\~b\-c\_d})", "a\u00A0bc\u2011d"},
    {"unknown_symbol_ignored", R"({\rtf1 a\|b\:c})", "abc"},
    {"backslash_at_end", "{\\rtf1 a\\", "a"},

    // Windows-1252 bytes
    {"hex_accents", R"({\rtf1 \'e9\'e8\'e0\'e7\'f4\'c9})", "éèàçôÉ"},
    {"hex_upper_case_digits", R"({\rtf1 \'E9t\'C9})", "étÉ"},
    {"hex_c1_range_is_cp1252", R"({\rtf1 \'80\'92\'85\'9c\'8c\'9f})", "€’…œŒŸ"},
    {"hex_undefined_cp1252_byte", R"({\rtf1 \'81\'8d\'8f\'90\'9d})",
     "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"raw_high_bytes_are_cp1252", "{\\rtf1 caf\xe9 \x80}", "café €"},
    {"bad_hex_digits_read_as_text", R"({\rtf1 \'zz\'4})", "zz4"},
    {"truncated_hex", "{\\rtf1 a\\'e", "a"},
    {"hex_control_bytes", R"({\rtf1 a\'00\'09b\'0d\'0ac})", "a\tb\nc"},

    // Unicode
    {"unicode_with_fallback", R"({\rtf1 l\u8217'ete})", "l\u2019ete"},
    {"unicode_fallback_hex", R"({\rtf1 l\u8217\'92ete})", "l\u2019ete"},
    {"uc0_no_fallback", R"({\rtf1\uc0 a\u233 b})", "aéb"},
    {"uc2_two_fallback_units", R"({\rtf1\uc2 \u233\'65\'27x})", "éx"},
    {"fallback_word_counts_as_one", R"({\rtf1 \u233\emdash x})", "éx"},
    {"formatting_words_are_not_fallback", R"({\rtf1 \u233\b\i x y})", "é y"},
    {"uc_restored_after_group", R"({\rtf1{\uc0 \u233}\u233?x})", "ééx"},
    {"fallback_stops_at_group", R"({\rtf1\uc3 \u233{b}c})", "ébc"},
    {"negative_unicode", R"({\rtf1 \u-4064?})", "\uF020"},
    {"surrogate_pair", R"({\rtf1 \u-10179?\u-8704?})", "\U0001F600"},
    {"surrogate_pair_positive", R"({\rtf1 \u55357?\u56832?})", "\U0001F600"},
    {"lone_high_surrogate", R"({\rtf1 \u-10179?x})", "\uFFFDx"},
    {"lone_low_surrogate", R"({\rtf1 x\u-8704?})", "x\uFFFD"},
    {"high_surrogate_at_end", R"({\rtf1 \u55357?)", "\uFFFD"},
    {"unicode_out_of_range", R"({\rtf1 \u-99999?\u2000000?.})", "\uFFFD\uFFFD."},
    {"unicode_without_number", R"({\rtf1 \u x})", "x"},
    {"unicode_control_dropped", R"({\rtf1 a\u7?b})", "ab"},

    // Skipped destinations
    {"font_and_colour_tables", R"({\rtf1{\fonttbl{\f0 Tahoma;}}{\colortbl;\red255;}x})", "x"},
    {"stylesheet_and_info",
     R"({\rtf1{\stylesheet{\s0 Normal;}}{\info{\title Titre}{\author Moi}}x})", "x"},
    {"ignorable_destination", R"({\rtf1{\*\generator Riched20;}{\*\unknown {a}b}x})", "x"},
    {"pict_hex", R"({\rtf1 a{\pict\pngblip 89504e47{}}b})", "ab"},
    {"header_footer", R"({\rtf1{\header en-t\'eate}{\footerl pied}{\headerr h}corps})", "corps"},
    {"field_instruction_skipped_result_kept",
     R"({\rtf1{\field{\*\fldinst HYPERLINK "x"}{\fldrslt lien}}})", "lien"},
    {"skipped_group_ends_at_its_brace", R"({\rtf1 a{\fonttbl{x}{y}z}b})", "ab"},
    {"bin_data_with_braces", "{\\rtf1 a{\\pict\\bin4 }}{\\}b}", "ab"},
    {"bin_outside_destination", "{\\rtf1 a\\bin3 xyzb}", "ab"},
    {"bin_longer_than_input", "{\\rtf1 a\\bin999 xy", "a"},
    {"bin_as_unicode_fallback", "{\\rtf1 \\u233\\bin2 ..b}", "éb"},
    {"star_at_top_level_ignored", R"(\*x)", "x"},

    // Malformed
    {"unclosed_groups", R"({\rtf1 a{\b b{\i c)", "abc"},
    {"truncated_control_word", R"({\rtf1 ab\pa)", "ab"},
    {"nul_and_controls_dropped", "{\\rtf1 a\0b\x01\x1f\tc}"s, "ab\tc"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RtfToText, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(RtfToTextHostile, DeepNestingReturnsTheText) {
    const std::size_t depth = 100000;
    const std::string rtf = "{\\rtf1 " + std::string(depth, '{') + "\\uc0 profond\\u233" +
                            std::string(depth, '}') + " fin}";
    EXPECT_EQ(rtfToText(rtf), "profondé fin");

    // Unclosed, and a destination skipped deep inside.
    const std::string open = "{\\rtf1 " + std::string(depth, '{') + "a{\\*\\x b}c";
    EXPECT_EQ(rtfToText(open), "ac");
}

TEST(RtfToTextHostile, FiftyMegabyteInputsReturn) {
    const std::size_t big = 50u << 20;
    EXPECT_EQ(rtfToText(std::string(big, '{')), "");
    // Half picture data, half text.
    const std::string text = rtfToText("{\\rtf1{\\pict " + std::string(big / 2, '7') + "}" +
                                       std::string(big / 2, 'a') + "}");
    EXPECT_EQ(text.size(), big / 2);
    EXPECT_EQ(text.find_first_not_of('a'), std::string::npos);
}

TEST(RtfToTextHostile, DenseMarkupAndNoiseReturn) {
    // Dense markup costs far more per byte in a sanitizer build, so a few megabytes do.
    const std::size_t dense = 4u << 20;
    const std::string chunk = "{\\b gr\\'e2s\\b0 \\u8217?}";
    const std::string unit = "grâs’";
    std::string doc = "{\\rtf1 ";
    std::size_t chunks = 0;
    for (; doc.size() < dense; ++chunks) {
        doc += chunk;
    }
    doc += "}";
    const std::string text = rtfToText(doc);
    EXPECT_EQ(text.size(), chunks * unit.size());
    EXPECT_EQ(text.substr(0, 2 * unit.size()), unit + unit);

    // Deterministic noise, weighted towards the characters the reader reacts to.
    std::string noise(dense, '\0');
    std::uint32_t x = 12345;
    const char special[] = "{}\\'u-0123456789 abc";
    for (char& c : noise) {
        x = x * 1664525u + 1013904223u;
        c = (x >> 24) & 1 ? special[(x >> 8) % (sizeof special - 1)] : static_cast<char>(x >> 16);
    }
    expectSaneOutput(noise, rtfToText(noise));
}

TEST(RtfCorpus, EveryCorpusFileGivesSaneText) {
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
        const std::string input = readFile(entry.path());
        SCOPED_TRACE(entry.path().filename().string());
        expectSaneOutput(input, rtfToText(input));
        vigie::fuzz::Findings findings;
        vigie::fuzz::checkRtf(input, findings);
        EXPECT_TRUE(findings.empty()) << findings.text();
        ++files;
    }
    EXPECT_GT(files, 0u);
}

TEST(LoadRtfFile, ReadsDocumentsInSeveralFontsAndColours) {
    EXPECT_EQ(loadRtfFile((kFixtures / "fonts_colours.rtf").string()),
              "Café l\u2019été\nGras et italique\nFin\tdu\u00A0texte\n");
}

TEST(LoadRtfFile, KeepsTheTextOfATruncatedDocument) {
    EXPECT_EQ(loadRtfFile((kFixtures / "truncated.rtf").string()), "Première ligne\nSeconde li");
}

TEST(LoadRtfFile, SkipsBinaryPictureData) {
    EXPECT_EQ(loadRtfFile((kFixtures / "binary_blob.rtf").string()), "Avantaprès\n");
}

TEST(LoadRtfFile, RefusesWhatIsNotAnRtfFile) {
    const vigie::test::TempDir temp;
    const fs::path& dir = temp.path();
    std::ofstream(dir / "empty.rtf").close();
    std::ofstream(dir / "bom.rtf") << "\xEF\xBB\xBF{\\rtf1 x}";
    std::ofstream(dir / "short.rtf") << "{\\rt";
    std::ofstream(dir / "upper.rtf") << "{\\RTF1 x}";

    EXPECT_FALSE(loadRtfFile((kFixtures / "not_rtf.rtf").string()));
    EXPECT_FALSE(loadRtfFile((dir / "missing.rtf").string()));
    EXPECT_FALSE(loadRtfFile(dir.string()));  // a folder cannot be read as a file
    EXPECT_FALSE(loadRtfFile((dir / "empty.rtf").string()));
    EXPECT_FALSE(loadRtfFile((dir / "bom.rtf").string()));
    EXPECT_FALSE(loadRtfFile((dir / "short.rtf").string()));
    EXPECT_FALSE(loadRtfFile((dir / "upper.rtf").string()));
    EXPECT_FALSE(loadRtfFile(""));
}

// ---- Formatting --------------------------------------------------------------------------------

// One line per paragraph: its non-default properties in brackets, the list marker the file wrote
// in angle brackets, then the text with the character format in braces wherever it changes.
std::string describe(const RtfDocument& doc) {
    static const char* const kAlign[] = {"", "centre", "right", "justified"};
    static const char* const kTab[] = {"", "C", "R", "D"};
    static const char* const kList[] = {
        "", "bullet", "decimal", "lower-alpha", "upper-alpha", "lower-roman", "upper-roman"};
    std::string out;
    std::size_t run = 0;
    for (const vigie::RtfParagraph& p : doc.paragraphs) {
        const RtfParagraphFormat& f = doc.formats.at(p.format);
        std::string attrs;
        const auto add = [&attrs](const std::string& a) {
            attrs += (attrs.empty() ? "" : " ") + a;
        };
        if (f.alignment != RtfAlignment::Left)
            add(kAlign[static_cast<int>(f.alignment)]);
        for (const auto& [name, value] : {std::pair{"li", f.leftIndent},
                                          {"fi", f.firstLineIndent},
                                          {"ri", f.rightIndent},
                                          {"sb", f.spaceBefore},
                                          {"sa", f.spaceAfter}}) {
            if (value != 0)
                add(name + std::to_string(value));
        }
        for (const vigie::RtfTabStop& t : f.tabStops)
            add("tab" + std::string(kTab[static_cast<int>(t.alignment)]) +
                std::to_string(t.position));
        if (f.list != RtfListStyle::None)
            add(std::string(kList[static_cast<int>(f.list)]) + "/" + std::to_string(f.listLevel) +
                "/" + std::to_string(f.listId) + " '" + f.listPrefix + "#" + f.listSuffix + "'");
        if (!out.empty())
            out += "\n";
        out += "[" + attrs + "] ";
        if (p.markerEnd > p.begin)
            out += "<" + doc.text.substr(p.begin, p.markerEnd - p.begin) + ">";
        for (std::size_t at = p.markerEnd; at < p.end; ++at) {
            while (run + 1 < doc.runs.size() && doc.runs[run].end <= at)
                ++run;
            const vigie::RtfCharFormat c = doc.runs[run].format;
            const bool changes =
                at == p.markerEnd ? c != vigie::RtfCharFormat{} : doc.runs[run].begin == at;
            if (changes)
                out += std::string("{") + (c.bold ? "b" : "") + (c.italic ? "i" : "") +
                       (c.underline ? "u" : "") + "}";
            out += doc.text[at];
        }
    }
    return out;
}

class RtfToDocument : public testing::TestWithParam<Case> {};

// Case::text holds the description of the formatted document.
TEST_P(RtfToDocument, KeepsTheFormatting) {
    const Case& c = GetParam();
    const RtfDocument doc = rtfToDocument(c.rtf);
    EXPECT_EQ(describe(doc), c.text);
    vigie::fuzz::Findings findings;
    vigie::fuzz::checkRtf(c.rtf, findings);
    EXPECT_TRUE(findings.empty()) << findings.text();
}

const Case kFormatCases[] = {
    // Characters
    {"bold_italic_underline_on_and_off",
     R"({\rtf1 a\b b\i c\b0 d\i0\ul e\ulnone f\uldb g\ul0 h\i1 i\plain j})",
     "[] a{b}b{bi}c{i}d{u}e{}f{u}g{}h{i}i{}j"},
    {"group_restores_character_format", R"({\rtf1 a{\b b{\i c}d}e})", "[] a{b}b{bi}c{b}d{}e"},
    {"format_without_text_leaves_no_run", R"({\rtf1 {\b}\i\i0 a{\ul}{\b\b0}b})", "[] ab"},
    {"format_across_paragraphs", R"({\rtf1\b a\par b\b0\par c})", "[] {b}a\n[] {b}b\n[] c"},

    // Paragraphs
    {"alignments_persist_until_pard",
     R"({\rtf1\qc a\par b\par\qr c\par\qj d\par\qd e\par\pard f\par\ql g})",
     "[centre] a\n[centre] b\n[right] c\n[justified] d\n[justified] e\n[] f\n[] g"},
    {"paragraph_takes_properties_at_its_end", R"({\rtf1 a\qc\par b{\qr c\par}d})",
     "[centre] a\n[right] bc\n[centre] d"},
    {"indents_and_spacing", R"({\rtf1\li720\fi-360\ri144\sb60\sa120 a\par\pard\lin300\rin200 b})",
     "[li720 fi-360 ri144 sb60 sa120] a\n[li300 ri200] b"},
    {"indents_clamped", R"({\rtf1\li99999999\fi-99999999\sa-5 a})", "[li31680 fi-31680] a"},
    {"tab_stops_sorted_with_kinds",
     R"({\rtf1\tqr\tx5000\tx720\tqc\tx2880\tqdec\tx4000\tb3000\tx1440\tx720 a\tab b})",
     "[tab720 tab1440 tabC2880 tabD4000 tabR5000] a\tb"},
    {"tab_kind_reset_by_bar_tab", R"({\rtf1\tqr\tb500\tx900 a})", "[tab900] a"},
    {"lone_surrogate_stays_in_its_paragraph", R"({\rtf1 a\u-10179?\par b\u-10179?})",
     "[] a\uFFFD\n[] b\uFFFD"},
    {"line_is_not_a_paragraph_end", "{\\rtf1\\qc a\\line b\\page c\\sect d\\row e\\\nf}",
     "[centre] a\nb\n[centre] c\n[centre] d\n[centre] e\n[centre] f"},

    // Lists, older form: a \pn group in the paragraph
    {"pn_bullets",
     R"({\rtf1{\pntext\'B7\tab}{\*\pn\pnlvlblt\pnf1{\pntxtb\'B7}}\fi-360\li720 a\par{\pntext\'B7\tab}b\par\pard c})",
     "[li720 fi-360 bullet/0/0 '#'] <·\t>a\n[li720 fi-360 bullet/0/0 '#'] <·\t>b\n[] c"},
    {"pn_numbers_take_affixes_from_marker",
     R"({\rtf1{\pntext (1)\tab}{\*\pn\pnlvlbody\pndec{\pntxtb (}{\pntxta )}}x\par})",
     "[decimal/0/0 '(#)'] <(1)\t>x\n[decimal/0/0 '#.'] "},
    {"pn_level_and_roman", R"({\rtf1{\pn\pnlvl3\pnlcrm}{\pntext iii.\tab}x})",
     "[lower-roman/2/0 '#.'] <iii.\t>x"},
    {"pn_without_style_is_decimal", R"({\rtf1{\*\pn\pnlvlbody}x})", "[decimal/0/0 '#.'] x"},
    {"pn_continuation_is_no_item", R"({\rtf1{\*\pn\pnlvlcont}x})", "[] x"},
    {"pn_words_outside_group_ignored", R"({\rtf1\pnlvlblt\pndec x})", "[] x"},

    // Lists, newer form: \ls with the marker in \listtext
    {"ls_styles_from_markers",
     R"({\rtf1{\listtext 1.\tab}\ls1 a\par{\listtext (b)\tab}\ls2\ilvl1 b\par{\listtext\u8226\'95\tab}\ls3\ilvl0 c\par{\listtext iv)\tab}\ls4 d\par{\listtext I.\tab}\ls5 e\par{\listtext C.\tab}\ls6 f})",
     "[decimal/0/1 '#.'] <1.\t>a\n[lower-alpha/1/2 '(#)'] <(b)\t>b\n[bullet/0/3 '#'] "
     "<\u2022\t>c\n[lower-roman/0/4 '#)'] <iv)\t>d\n[upper-roman/0/5 '#.'] <I.\t>e\n"
     "[upper-alpha/0/6 '#.'] <C.\t>f"},
    {"ls_without_marker_is_bullet", R"({\rtf1\ls2\ilvl12 x})", "[bullet/8/2 '#'] x"},
    {"marker_only_at_paragraph_start", R"({\rtf1 x{\pntext 1.\tab}\ls1 y})",
     "[bullet/0/1 '#'] x1.\ty"},
    {"one_marker_per_paragraph", R"({\rtf1{\listtext a}{\listtext b}\ls1 c})",
     "[lower-alpha/0/1 '#'] <a>bc"},
    {"marker_ends_with_its_paragraph", R"({\rtf1{\listtext 1.\par 2.}\ls1 x})",
     "[] <1.>\n[bullet/0/1 '#'] 2.x"},
    {"marker_without_list_is_text", R"({\rtf1{\pntext 1.\tab}x})", "[] <1.\t>x"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RtfToDocument, testing::ValuesIn(kFormatCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(RtfToDocument, DefaultTabWidth) {
    EXPECT_EQ(rtfToDocument(R"({\rtf1 a})").defaultTabWidth, 720);
    EXPECT_EQ(rtfToDocument(R"({\rtf1\deftab1134 a})").defaultTabWidth, 1134);
    EXPECT_EQ(rtfToDocument(R"({\rtf1\deftab0 a})").defaultTabWidth, 1);
    EXPECT_EQ(rtfToDocument(R"({\rtf1\deftab99999999999 a})").defaultTabWidth, 31680);
    EXPECT_EQ(rtfToDocument(R"({\rtf1{\*\x\deftab100}\deftab a})").defaultTabWidth, 720);
}

TEST(RtfToDocumentFiles, WordPadLists) {
    const auto doc = loadRtfDocument((kFixtures / "wordpad_lists.rtf").string());
    ASSERT_TRUE(doc);
    EXPECT_EQ(describe(*doc),
              "[centre sa200] {b}Titre\n"
              "[li720 fi-360 sa200 bullet/0/0 '#'] <·\t>Premier\n"
              "[li720 fi-360 sa200 bullet/0/0 '#'] <·\t>Second {i}penché\n"
              "[li720 fi-360 sa200 decimal/0/0 '#.'] <1.\t>Un\n"
              "[li720 fi-360 sa200 decimal/0/0 '#.'] <2.\t>Deux\n"
              "[sa200 tab1440 tabR5000] Nom\tValeur\t{u}fin\n"
              "[sa200 tab1440 tabR5000] ");
    EXPECT_EQ(doc->text, loadRtfFile((kFixtures / "wordpad_lists.rtf").string()));
}

TEST(RtfToDocumentFiles, WordLists) {
    const auto doc = loadRtfDocument((kFixtures / "word_lists.rtf").string());
    ASSERT_TRUE(doc);
    EXPECT_EQ(describe(*doc),
              "[] Avant\n"
              "[li720 fi-360 tab720 bullet/0/1 '#'] <·\t>{b}Puce\n"
              "[justified li1440 fi-360 tab1440 lower-alpha/1/2 '(#)'] <(a)\t>Lettre\n"
              "[right ri567] Droite\n"
              "[right ri567] ");
}

TEST(RtfToDocumentHostile, LargeAndDeepInputsKeepTheirPromises) {
    // Beyond the depth where groups save their state, formatting leaks out of groups but the
    // promises hold.
    const std::size_t depth = 100000;
    const std::string deep =
        "{\\rtf1 " + std::string(depth, '{') + "\\b\\qc a\\par" + std::string(depth, '}') + " b}";
    const RtfDocument doc = rtfToDocument(deep);
    EXPECT_EQ(doc.text, rtfToText(deep));
    vigie::fuzz::Findings findings;
    vigie::fuzz::checkRtf(deep, findings);

    // Many paragraphs with full tab tables share one format.
    std::string tabs = "{\\rtf1 ";
    for (int k = 1; k <= 40; ++k)
        tabs += "\\tx" + std::to_string(k * 100);
    for (int k = 0; k < 100000; ++k)
        tabs += "\\par ";
    const RtfDocument many = rtfToDocument(tabs + "}");
    EXPECT_EQ(many.paragraphs.size(), 100001u);
    ASSERT_EQ(many.formats.size(), 1u);
    EXPECT_EQ(many.formats[0].tabStops.size(), RtfParagraphFormat::kMaxTabStops);
    vigie::fuzz::checkRtf(tabs, findings);
    EXPECT_TRUE(findings.empty()) << findings.text();
}

struct ShippedDocument {
    const char* file;
    std::vector<std::string> words;
};

void PrintTo(const ShippedDocument& d, std::ostream* os) {
    *os << d.file;
}

class ShippedDocuments : public testing::TestWithParam<ShippedDocument> {};

TEST_P(ShippedDocuments, LoadAndReadInFrench) {
    const fs::path path = kResources / GetParam().file;
    // The window shows the file as it is: it must be pure Windows-1252 RTF, accents escaped.
    const std::string raw = readFile(path);
    for (const char c : raw) {
        ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "unescaped byte in " << path;
    }
    const auto text = loadRtfFile(path.string());
    ASSERT_TRUE(text.has_value()) << path;
    expectSaneOutput(raw, *text);
    for (const std::string& word : GetParam().words) {
        EXPECT_NE(text->find(word), std::string::npos) << word;
    }
    // Font names, colours and other tables must not leak into the text.
    EXPECT_EQ(text->find("Tahoma"), std::string::npos);
    EXPECT_EQ(text->find("Arial"), std::string::npos);
    EXPECT_EQ(text->find('\\'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, ShippedDocuments,
    testing::Values(ShippedDocument{"M4Start.rtf",
                                    {"Com Port", "Download File", "Start Update", "Next",
                                     "débranchez", "mise à jour", "adaptateur USB"}},
                    ShippedDocument{
                        "UserGuide.rtf",
                        {"Filter Com Ports", "Help", "Troubleshooting", "Download Latest Version",
                         "Exit", " - In Use", "pare-feu", "dialout", "téléchargement", "Dépannage",
                         "En cas de problème", "updates.log", "%LOCALAPPDATA%",
                         "~/.local/state/vigie-k7/updates.log", "reste éveillé",
                         "fermer le couvercle"}}),
    [](const testing::TestParamInfo<ShippedDocument>& info) {
        return std::string(info.param.file).substr(0, std::string(info.param.file).find('.'));
    });

}  // namespace

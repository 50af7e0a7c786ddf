#include "core/rtf_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using vigie::loadRtfFile;
using vigie::rtfToText;
using namespace std::string_literals;

namespace {

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            len = 1;
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

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

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
        ++files;
    }
    EXPECT_GT(files, 0u);
}

TEST(LoadRtfFile, ReadsDocumentsInSeveralFontsAndColours) {
    EXPECT_EQ(loadRtfFile(kFixtures / "fonts_colours.rtf"),
              "Café l\u2019été\nGras et italique\nFin\tdu\u00A0texte\n");
}

TEST(LoadRtfFile, KeepsTheTextOfATruncatedDocument) {
    EXPECT_EQ(loadRtfFile(kFixtures / "truncated.rtf"), "Première ligne\nSeconde li");
}

TEST(LoadRtfFile, SkipsBinaryPictureData) {
    EXPECT_EQ(loadRtfFile(kFixtures / "binary_blob.rtf"), "Avantaprès\n");
}

TEST(LoadRtfFile, RefusesWhatIsNotAnRtfFile) {
    const fs::path dir = fs::temp_directory_path() / "rtf_reader_test";
    fs::create_directories(dir);
    std::ofstream(dir / "empty.rtf").close();
    std::ofstream(dir / "bom.rtf") << "\xEF\xBB\xBF{\\rtf1 x}";
    std::ofstream(dir / "short.rtf") << "{\\rt";
    std::ofstream(dir / "upper.rtf") << "{\\RTF1 x}";

    EXPECT_FALSE(loadRtfFile(kFixtures / "not_rtf.rtf"));
    EXPECT_FALSE(loadRtfFile((dir / "missing.rtf").string()));
    EXPECT_FALSE(loadRtfFile(dir.string()));  // a folder cannot be read as a file
    EXPECT_FALSE(loadRtfFile((dir / "empty.rtf").string()));
    EXPECT_FALSE(loadRtfFile((dir / "bom.rtf").string()));
    EXPECT_FALSE(loadRtfFile((dir / "short.rtf").string()));
    EXPECT_FALSE(loadRtfFile((dir / "upper.rtf").string()));
    EXPECT_FALSE(loadRtfFile(""));
    fs::remove_all(dir);
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
    const auto text = loadRtfFile(path);
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
                    ShippedDocument{"UserGuide.rtf",
                                    {"Filter Com Ports", "Help", "Troubleshooting",
                                     "Download Latest Version", "Exit", " - In Use", "pare-feu",
                                     "dialout", "téléchargement", "Dépannage"}}),
    [](const testing::TestParamInfo<ShippedDocument>& info) {
        return std::string(info.param.file).substr(0, std::string(info.param.file).find('.'));
    });

}  // namespace

#include "core/rtf_reader.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace vigie {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 maps 0x80-0x9F to typographic characters; 0 marks the five bytes it leaves
// undefined.
constexpr char16_t kCp1252C1[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t fromCp1252(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) {
        return byte;
    }
    const char16_t c = kCp1252C1[byte - 0x80];
    return c != 0 ? c : kReplacement;
}

// Collects code points as UTF-8. \u writes characters above U+FFFF as two UTF-16 halves, so a
// high surrogate waits here for its partner; a half left alone becomes U+FFFD.
class Utf8Writer {
  public:
    void put(char32_t cp) {
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            flushPending();
            pendingHigh_ = cp;
            return;
        }
        if (cp >= 0xDC00 && cp <= 0xDFFF) {
            if (pendingHigh_ == 0) {
                encode(kReplacement);
                return;
            }
            encode(0x10000 + ((pendingHigh_ - 0xD800) << 10) + (cp - 0xDC00));
            pendingHigh_ = 0;
            return;
        }
        flushPending();
        // Control characters other than tab and line feed would only garble the display.
        if (cp < 0x20 && cp != '\t' && cp != '\n') {
            return;
        }
        encode(cp > 0x10FFFF ? kReplacement : cp);
    }

    // Printable ASCII only.
    void putAscii(std::string_view s) {
        flushPending();
        out_.append(s);
    }

    void flushPending() {
        if (pendingHigh_ != 0) {
            pendingHigh_ = 0;
            encode(kReplacement);
        }
    }

    std::string& text() { return out_; }

  private:
    // Appends a whole sequence at once, so that running out of memory never leaves half of one.
    void encode(char32_t cp) {
        char bytes[4];
        std::size_t n = 0;
        if (cp < 0x80) {
            bytes[n++] = static_cast<char>(cp);
        } else if (cp < 0x800) {
            bytes[n++] = static_cast<char>(0xC0 | (cp >> 6));
            bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes[n++] = static_cast<char>(0xE0 | (cp >> 12));
            bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            bytes[n++] = static_cast<char>(0xF0 | (cp >> 18));
            bytes[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        out_.append(bytes, n);
    }

    std::string out_;
    char32_t pendingHigh_ = 0;
};

enum class Action { Character, Skip, Unicode, FallbackCount, Binary };

struct Word {
    std::string_view name;
    Action action;
    char32_t cp = 0;  // for Character
};

// The control words that matter for plain text, sorted by name. Skip marks groups whose content
// is not body text; a group opened by \* is skipped as well.
constexpr Word kWords[] = {{"aftncn", Action::Skip},
                           {"aftnsep", Action::Skip},
                           {"aftnsepc", Action::Skip},
                           {"bin", Action::Binary},
                           {"bkmkend", Action::Skip},
                           {"bkmkstart", Action::Skip},
                           {"bullet", Action::Character, 0x2022},
                           {"cell", Action::Character, '\t'},
                           {"colortbl", Action::Skip},
                           {"emdash", Action::Character, 0x2014},
                           {"emspace", Action::Character, 0x2003},
                           {"endash", Action::Character, 0x2013},
                           {"enspace", Action::Character, 0x2002},
                           {"filetbl", Action::Skip},
                           {"fldinst", Action::Skip},
                           {"fonttbl", Action::Skip},
                           {"footer", Action::Skip},
                           {"footerf", Action::Skip},
                           {"footerl", Action::Skip},
                           {"footerr", Action::Skip},
                           {"footnote", Action::Skip},
                           {"ftncn", Action::Skip},
                           {"ftnsep", Action::Skip},
                           {"ftnsepc", Action::Skip},
                           {"header", Action::Skip},
                           {"headerf", Action::Skip},
                           {"headerl", Action::Skip},
                           {"headerr", Action::Skip},
                           {"info", Action::Skip},
                           {"ldblquote", Action::Character, 0x201C},
                           {"line", Action::Character, '\n'},
                           {"listoverridetable", Action::Skip},
                           {"listtable", Action::Skip},
                           {"lquote", Action::Character, 0x2018},
                           {"object", Action::Skip},
                           {"page", Action::Character, '\n'},
                           {"par", Action::Character, '\n'},
                           {"pict", Action::Skip},
                           {"pn", Action::Skip},
                           {"private", Action::Skip},
                           {"qmspace", Action::Character, 0x2005},
                           {"rdblquote", Action::Character, 0x201D},
                           {"revtbl", Action::Skip},
                           {"row", Action::Character, '\n'},
                           {"rquote", Action::Character, 0x2019},
                           {"rsidtbl", Action::Skip},
                           {"sect", Action::Character, '\n'},
                           {"stylesheet", Action::Skip},
                           {"tab", Action::Character, '\t'},
                           {"tc", Action::Skip},
                           {"template", Action::Skip},
                           {"u", Action::Unicode},
                           {"uc", Action::FallbackCount},
                           {"xe", Action::Skip}};

constexpr bool byName(const Word& a, const Word& b) {
    return a.name < b.name;
}
static_assert(std::is_sorted(std::begin(kWords), std::end(kWords), byName));

const Word* findWord(std::string_view name) {
    const Word* it = std::lower_bound(std::begin(kWords), std::end(kWords), Word{name, {}}, byName);
    return it != std::end(kWords) && it->name == name ? it : nullptr;
}

// Beyond this depth groups no longer save the \uc count; only hostile input nests that far, and
// skipping and group balance stay exact at any depth.
constexpr std::size_t kMaxSavedGroups = 1024;

// Numeric parameters are clamped so that hostile digits cannot overflow.
constexpr std::int64_t kParamLimit = 1'000'000'000;

class Reader {
  public:
    Reader(std::string_view in, Utf8Writer& out) : in_(in), out_(out) {}

    void run() {
        while (pos_ < in_.size()) {
            if (skipping()) {
                // Only braces and control words matter inside a skipped group.
                pos_ = std::min(in_.find_first_of("{}\\", pos_), in_.size());
                if (pos_ == in_.size()) {
                    return;
                }
            }
            const char c = in_[pos_++];
            switch (c) {
                case '{':
                    openGroup();
                    break;
                case '}':
                    if (!closeGroup()) {
                        return;  // the document ends with its outermost group
                    }
                    break;
                case '\\':
                    controlSequence();
                    break;
                case '\r':
                case '\n':
                    break;  // line breaks in the file are formatting only
                default:
                    if (isPlainAscii(c) && !skipping() && ucFallback_ == 0) {
                        // Most of a document is plain text: copy it a run at a time.
                        const std::size_t start = pos_ - 1;
                        while (pos_ < in_.size() && isPlainAscii(in_[pos_])) {
                            ++pos_;
                        }
                        out_.putAscii(in_.substr(start, pos_ - start));
                    } else {
                        character(fromCp1252(static_cast<unsigned char>(c)));
                    }
            }
        }
    }

  private:
    bool skipping() const { return skipFrom_ != 0; }

    void openGroup() {
        ucFallback_ = 0;
        if (depth_ < kMaxSavedGroups) {
            savedUc_.push_back(uc_);
        }
        ++depth_;
    }

    // Returns false when the outermost group closes.
    bool closeGroup() {
        ucFallback_ = 0;
        if (depth_ == 0) {
            return true;  // a stray brace before any group
        }
        --depth_;
        if (depth_ < kMaxSavedGroups) {
            uc_ = savedUc_.back();
            savedUc_.pop_back();
        }
        if (skipFrom_ > depth_) {
            skipFrom_ = 0;
        }
        return depth_ > 0;
    }

    void skipGroup() {
        if (depth_ > 0 && !skipping()) {
            skipFrom_ = depth_;
        }
    }

    // True when the token just read is a character of the plain-text fallback after \u.
    bool consumeFallback() {
        if (ucFallback_ == 0) {
            return false;
        }
        --ucFallback_;
        return true;
    }

    void character(char32_t cp) {
        if (skipping() || consumeFallback()) {
            return;
        }
        out_.put(cp);
    }

    static bool isPlainAscii(char c) {
        return c >= 0x20 && c < 0x7F && c != '{' && c != '}' && c != '\\';
    }
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static int hexValue(char c) {
        if (isDigit(c)) {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    }

    void controlSequence() {
        if (pos_ >= in_.size()) {
            return;
        }
        if (isLetter(in_[pos_])) {
            controlWord();
            return;
        }
        const char symbol = in_[pos_++];
        if (symbol == '\'') {
            hexByte();
            return;
        }
        if (skipping() || consumeFallback()) {
            return;
        }
        switch (symbol) {
            case '\\':
            case '{':
            case '}':
                out_.put(static_cast<unsigned char>(symbol));
                break;
            case '~':
                out_.put(0x00A0);  // no-break space
                break;
            case '_':
                out_.put(0x2011);  // non-breaking hyphen
                break;
            case '\r':
            case '\n':
                out_.put('\n');  // a backslash before a line break is a paragraph mark
                break;
            case '*':
                skipGroup();
                break;
            default:
                break;  // \- (optional hyphen) and symbols without a plain-text form
        }
    }

    void hexByte() {
        if (pos_ + 2 > in_.size()) {
            pos_ = in_.size();
            return;
        }
        const int high = hexValue(in_[pos_]);
        const int low = hexValue(in_[pos_ + 1]);
        if (high < 0 || low < 0) {
            return;  // not an escape after all; the characters are read as text
        }
        pos_ += 2;
        character(fromCp1252(static_cast<unsigned char>(high * 16 + low)));
    }

    void controlWord() {
        const std::size_t start = pos_;
        while (pos_ < in_.size() && isLetter(in_[pos_])) {
            ++pos_;
        }
        const std::string_view name = in_.substr(start, pos_ - start);

        bool hasParam = false;
        std::int64_t param = 0;
        const bool negative = pos_ + 1 < in_.size() && in_[pos_] == '-' && isDigit(in_[pos_ + 1]);
        if (negative) {
            ++pos_;
        }
        while (pos_ < in_.size() && isDigit(in_[pos_])) {
            hasParam = true;
            param = std::min(param * 10 + (in_[pos_] - '0'), kParamLimit);
            ++pos_;
        }
        if (negative) {
            param = -param;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') {
            ++pos_;  // the delimiting space belongs to the word
        }

        const Word* word = findWord(name);
        if (word != nullptr && word->action == Action::Binary) {
            // Raw bytes follow, which may contain anything, braces included.
            const auto length = static_cast<std::size_t>(std::max<std::int64_t>(param, 0));
            pos_ += std::min(length, in_.size() - pos_);
            consumeFallback();
            return;
        }
        if (word == nullptr || skipping() || consumeFallback()) {
            return;
        }
        switch (word->action) {
            case Action::Character:
                out_.put(word->cp);
                break;
            case Action::Skip:
                skipGroup();
                break;
            case Action::Unicode:
                if (hasParam) {
                    // Code points above 32767 are written as negative 16-bit numbers.
                    const std::int64_t cp = param < 0 ? param + 0x10000 : param;
                    out_.put(cp < 0 ? kReplacement : static_cast<char32_t>(cp));
                    ucFallback_ = uc_;
                }
                break;
            case Action::FallbackCount:
                if (hasParam) {
                    uc_ = std::max<std::int64_t>(param, 0);
                }
                break;
            case Action::Binary:
                break;
        }
    }

    std::string_view in_;
    Utf8Writer& out_;
    std::size_t pos_ = 0;
    std::size_t depth_ = 0;
    std::size_t skipFrom_ = 0;     // depth of the group being skipped, 0 when none
    std::int64_t uc_ = 1;          // fallback characters after each \u in this group
    std::int64_t ucFallback_ = 0;  // fallback characters still to drop
    std::vector<std::int64_t> savedUc_;
};

}  // namespace

std::string rtfToText(std::string_view rtf) {
    Utf8Writer out;
    try {
        Reader(rtf, out).run();
        out.flushPending();
    } catch (...) {
        // Out of memory: the text decoded so far is still whole UTF-8.
    }
    return std::move(out.text());
}

std::optional<std::string> loadRtfFile(const std::string& path) {
    try {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            return std::nullopt;  // also keeps a FIFO or device from blocking the window
        }
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            return std::nullopt;
        }
        std::string data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (file.bad() || !data.starts_with("{\\rtf")) {
            return std::nullopt;
        }
        return rtfToText(data);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace vigie

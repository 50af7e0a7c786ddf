#include "core/rtf_reader.h"

#include "core/file_path.h"

#include <algorithm>
#include <array>
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

enum class Action { Character, Skip, Unicode, FallbackCount, Binary, Format };

// What a word does to the formatting; None for words that only matter to the text.
enum class Property {
    None,
    ParagraphEnd,  // a Character word that also ends the paragraph
    ListGroup,     // \pn: a skipped group whose words describe the paragraph's numbering
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Plain,
    Pard,
    AlignLeft,
    AlignCentre,
    AlignRight,
    AlignJustified,
    LeftIndent,
    RightIndent,
    FirstLineIndent,
    SpaceBefore,
    SpaceAfter,
    TabCentre,
    TabRight,
    TabDecimal,
    TabStop,
    BarTab,
    DefaultTab,
    ListOverride,
    ListLevel,
    MarkerGroup,  // \pntext, \listtext: the marker written out for readers without lists
    // Words of a \pn group.
    PnBullet,
    PnBody,
    PnContinue,
    PnLevel,
    PnDecimal,
    PnLowerAlpha,
    PnUpperAlpha,
    PnLowerRoman,
    PnUpperRoman,
};

struct Word {
    std::string_view name;
    Action action;
    char32_t cp = 0;  // for Character
    Property property = Property::None;
};

constexpr Word styled(std::string_view name, Property p) {
    return {name, Action::Format, 0, p};
}

// The control words the reader knows, sorted by name. Skip marks groups whose content is not
// body text; a group opened by \* is skipped as well. Format words change no text.
constexpr Word kWords[] = {{"aftncn", Action::Skip},
                           {"aftnsep", Action::Skip},
                           {"aftnsepc", Action::Skip},
                           styled("b", Property::Bold),
                           {"bin", Action::Binary},
                           {"bkmkend", Action::Skip},
                           {"bkmkstart", Action::Skip},
                           {"bullet", Action::Character, 0x2022},
                           {"cell", Action::Character, '\t'},
                           {"colortbl", Action::Skip},
                           styled("deftab", Property::DefaultTab),
                           {"emdash", Action::Character, 0x2014},
                           {"emspace", Action::Character, 0x2003},
                           {"endash", Action::Character, 0x2013},
                           {"enspace", Action::Character, 0x2002},
                           styled("fi", Property::FirstLineIndent),
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
                           styled("i", Property::Italic),
                           styled("ilvl", Property::ListLevel),
                           {"info", Action::Skip},
                           {"ldblquote", Action::Character, 0x201C},
                           styled("li", Property::LeftIndent),
                           styled("lin", Property::LeftIndent),
                           {"line", Action::Character, '\n'},
                           {"listoverridetable", Action::Skip},
                           {"listtable", Action::Skip},
                           styled("listtext", Property::MarkerGroup),
                           {"lquote", Action::Character, 0x2018},
                           styled("ls", Property::ListOverride),
                           {"object", Action::Skip},
                           {"page", Action::Character, '\n', Property::ParagraphEnd},
                           {"par", Action::Character, '\n', Property::ParagraphEnd},
                           styled("pard", Property::Pard),
                           {"pict", Action::Skip},
                           styled("plain", Property::Plain),
                           {"pn", Action::Skip, 0, Property::ListGroup},
                           styled("pncard", Property::PnDecimal),
                           styled("pncardt", Property::PnDecimal),
                           styled("pndec", Property::PnDecimal),
                           styled("pnlcltr", Property::PnLowerAlpha),
                           styled("pnlcrm", Property::PnLowerRoman),
                           styled("pnlvl", Property::PnLevel),
                           styled("pnlvlblt", Property::PnBullet),
                           styled("pnlvlbody", Property::PnBody),
                           styled("pnlvlcont", Property::PnContinue),
                           styled("pnord", Property::PnDecimal),
                           styled("pnordt", Property::PnDecimal),
                           styled("pntext", Property::MarkerGroup),
                           styled("pnucltr", Property::PnUpperAlpha),
                           styled("pnucrm", Property::PnUpperRoman),
                           {"private", Action::Skip},
                           styled("qc", Property::AlignCentre),
                           styled("qd", Property::AlignJustified),
                           styled("qj", Property::AlignJustified),
                           styled("ql", Property::AlignLeft),
                           {"qmspace", Action::Character, 0x2005},
                           styled("qr", Property::AlignRight),
                           {"rdblquote", Action::Character, 0x201D},
                           {"revtbl", Action::Skip},
                           styled("ri", Property::RightIndent),
                           styled("rin", Property::RightIndent),
                           {"row", Action::Character, '\n', Property::ParagraphEnd},
                           {"rquote", Action::Character, 0x2019},
                           {"rsidtbl", Action::Skip},
                           styled("sa", Property::SpaceAfter),
                           styled("sb", Property::SpaceBefore),
                           {"sect", Action::Character, '\n', Property::ParagraphEnd},
                           {"stylesheet", Action::Skip},
                           {"tab", Action::Character, '\t'},
                           styled("tb", Property::BarTab),
                           {"tc", Action::Skip},
                           {"template", Action::Skip},
                           styled("tqc", Property::TabCentre),
                           styled("tqdec", Property::TabDecimal),
                           styled("tqr", Property::TabRight),
                           styled("tx", Property::TabStop),
                           {"u", Action::Unicode},
                           {"uc", Action::FallbackCount},
                           styled("ul", Property::Underline),
                           styled("uld", Property::Underline),
                           styled("uldash", Property::Underline),
                           styled("uldashd", Property::Underline),
                           styled("uldashdd", Property::Underline),
                           styled("uldb", Property::Underline),
                           styled("ulhwave", Property::Underline),
                           styled("ulldash", Property::Underline),
                           styled("ulnone", Property::UnderlineNone),
                           styled("ulth", Property::Underline),
                           styled("ulthd", Property::Underline),
                           styled("ulthdash", Property::Underline),
                           styled("ulthdashd", Property::Underline),
                           styled("ulthdashdd", Property::Underline),
                           styled("ulthldash", Property::Underline),
                           styled("ululdbwave", Property::Underline),
                           styled("ulw", Property::Underline),
                           styled("ulwave", Property::Underline),
                           {"xe", Action::Skip}};

constexpr bool byName(const Word& a, const Word& b) {
    return a.name < b.name;
}
static_assert(std::is_sorted(std::begin(kWords), std::end(kWords), byName));

const Word* findWord(std::string_view name) {
    const Word* it = std::lower_bound(std::begin(kWords), std::end(kWords), Word{name, {}}, byName);
    return it != std::end(kWords) && it->name == name ? it : nullptr;
}

// Beyond this depth groups no longer save their state; only hostile input nests that far, and
// skipping and group balance stay exact at any depth.
constexpr std::size_t kMaxSavedGroups = 1024;

// Numeric parameters are clamped so that hostile digits cannot overflow.
constexpr std::int64_t kParamLimit = 1'000'000'000;

// Indents, spacing and tab positions are clamped to 22 inches, the widest page RTF describes.
constexpr int kMaxTwips = 31680;

int twips(std::int64_t param, int minimum) {
    return static_cast<int>(std::clamp<std::int64_t>(param, minimum, kMaxTwips));
}

// Paragraph properties as the file sets them, kept in a fixed size so that saving them with
// each group costs no allocation.
struct ParagraphState {
    RtfAlignment alignment = RtfAlignment::Left;
    int leftIndent = 0;
    int firstLineIndent = 0;
    int rightIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    std::array<RtfTabStop, RtfParagraphFormat::kMaxTabStops> tabs{};
    std::size_t tabCount = 0;
    RtfTabAlignment nextTab = RtfTabAlignment::Left;
    int listOverride = 0;  // \ls: a list of the list table, 0 for none
    int listLevel = 0;
    bool pnItem = false;  // a \pn group made the paragraph a list item
    RtfListStyle pnStyle = RtfListStyle::None;
};

struct GroupState {
    std::int64_t uc;
    RtfCharFormat chars;
    ParagraphState paragraph;
};

// What a \pn group says; applied to the paragraph once the group closes.
struct PnGroup {
    bool item = false;
    bool levelSet = false;
    int level = 0;
    bool bullet = false;
    RtfListStyle numbering = RtfListStyle::None;
};

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The style of a list item known only by the marker the file wrote out: "3." numbers, "c)"
// letters, "iv." Roman numerals, anything else a bullet. A single "i" counts as Roman, any
// other single letter as a letter.
RtfListStyle styleOfMarker(std::string_view marker) {
    const auto at = std::find_if(marker.begin(), marker.end(),
                                 [](char c) { return isAsciiDigit(c) || isAsciiLetter(c); });
    if (at == marker.end()) {
        return RtfListStyle::Bullet;
    }
    if (isAsciiDigit(*at)) {
        return RtfListStyle::Decimal;
    }
    const auto end = std::find_if_not(at, marker.end(), isAsciiLetter);
    const std::string_view token(&*at, static_cast<std::size_t>(end - at));
    const bool lower = *at >= 'a';
    const bool roman = (token.size() > 1 || token == "i" || token == "I") &&
                       token.find_first_not_of(lower ? "ivxlcdm" : "IVXLCDM") == token.npos;
    if (roman) {
        return lower ? RtfListStyle::LowerRoman : RtfListStyle::UpperRoman;
    }
    return lower ? RtfListStyle::LowerAlpha : RtfListStyle::UpperAlpha;
}

// The text around the number of a numbered marker: "(" and ")" of "(a)\t".
constexpr std::size_t kMaxAffix = 16;

void affixesOfMarker(std::string_view marker, RtfParagraphFormat& f) {
    f.listPrefix.clear();
    f.listSuffix = ".";
    while (!marker.empty() && (marker.back() == '\t' || marker.back() == ' ')) {
        marker.remove_suffix(1);
    }
    const bool digits = f.list == RtfListStyle::Decimal;
    const auto isToken = [digits](char c) { return digits ? isAsciiDigit(c) : isAsciiLetter(c); };
    const std::size_t begin = static_cast<std::size_t>(
        std::find_if(marker.begin(), marker.end(), isToken) - marker.begin());
    if (begin == marker.size()) {
        return;
    }
    const std::size_t end = static_cast<std::size_t>(
        std::find_if_not(marker.begin() + static_cast<std::ptrdiff_t>(begin), marker.end(),
                         isToken) -
        marker.begin());
    // The cuts fall next to ASCII digits or letters, so the affixes stay whole UTF-8. Longer
    // text around the number is no affix a list could draw: the defaults stay.
    if (begin <= kMaxAffix && marker.size() - end <= kMaxAffix) {
        f.listPrefix = marker.substr(0, begin);
        f.listSuffix = marker.substr(end);
    }
}

class Reader {
  public:
    // With a document, the reader also records the formatting; without, it keeps only the text.
    Reader(std::string_view in, Utf8Writer& out, RtfDocument* doc)
        : in_(in), out_(out), doc_(doc) {}

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
                        markRun();
                        out_.putAscii(in_.substr(start, pos_ - start));
                    } else {
                        character(fromCp1252(static_cast<unsigned char>(c)));
                    }
            }
        }
    }

    // Closes the last paragraph and the runs once the text is complete.
    void finish() {
        if (doc_ == nullptr) {
            return;
        }
        const std::size_t size = out_.text().size();
        closeMarker(size);
        doc_->paragraphs.push_back({paragraphBegin_, markerEnd_, size, paragraphFormat()});
        std::vector<RtfRun>& runs = doc_->runs;
        if (!runs.empty() && runs.back().begin == size) {
            runs.pop_back();
        }
        for (std::size_t k = 0; k < runs.size(); ++k) {
            runs[k].end = k + 1 < runs.size() ? runs[k + 1].begin : size;
        }
    }

  private:
    bool skipping() const { return skipFrom_ != 0; }

    void openGroup() {
        ucFallback_ = 0;
        if (depth_ < kMaxSavedGroups) {
            saved_.push_back({uc_, chars_, paragraph_});
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
        if (depth_ == 0) {
            return false;  // the last paragraph keeps the properties it had inside the group
        }
        if (depth_ < kMaxSavedGroups) {
            uc_ = saved_.back().uc;
            chars_ = saved_.back().chars;
            paragraph_ = saved_.back().paragraph;
            saved_.pop_back();
        }
        if (skipFrom_ > depth_) {
            skipFrom_ = 0;
        }
        if (pnFrom_ > depth_) {
            pnFrom_ = 0;
            applyPnGroup();
        }
        if (markerFrom_ > depth_) {
            closeMarker(out_.text().size());
        }
        return true;
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
        emit(cp);
    }

    void emit(char32_t cp) {
        markRun();
        out_.put(cp);
    }

    // ---- Formatting ---------------------------------------------------------------------------

    // Starts a run at the end of the text when the character format has changed. A run that
    // got no text takes the new format instead, so no run is ever empty.
    void markRun() {
        if (doc_ == nullptr) {
            return;
        }
        std::vector<RtfRun>& runs = doc_->runs;
        if (!runs.empty() && runs.back().format == chars_) {
            return;
        }
        const std::size_t at = out_.text().size();
        if (runs.empty() || runs.back().begin != at) {
            runs.push_back({at, at, chars_});
            return;
        }
        runs.back().format = chars_;
        if (runs.size() > 1 && runs[runs.size() - 2].format == chars_) {
            runs.pop_back();
        }
    }

    void endParagraph() {
        if (doc_ == nullptr) {
            out_.put('\n');
            return;
        }
        markRun();
        out_.flushPending();
        const std::size_t end = out_.text().size();
        closeMarker(end);
        doc_->paragraphs.push_back({paragraphBegin_, markerEnd_, end, paragraphFormat()});
        out_.put('\n');
        paragraphBegin_ = markerEnd_ = out_.text().size();
        markerSeen_ = false;
    }

    void closeMarker(std::size_t at) {
        if (markerFrom_ != 0) {
            markerFrom_ = 0;
            markerEnd_ = at;
        }
    }

    // The format of the paragraph ending now, shared with the one before when equal.
    std::size_t paragraphFormat() {
        RtfParagraphFormat f;
        const ParagraphState& p = paragraph_;
        f.alignment = p.alignment;
        f.leftIndent = p.leftIndent;
        f.firstLineIndent = p.firstLineIndent;
        f.rightIndent = p.rightIndent;
        f.spaceBefore = p.spaceBefore;
        f.spaceAfter = p.spaceAfter;
        f.tabStops.assign(p.tabs.begin(), p.tabs.begin() + static_cast<std::ptrdiff_t>(p.tabCount));
        if (p.pnItem || p.listOverride > 0) {
            const std::string_view marker =
                std::string_view(out_.text()).substr(paragraphBegin_, markerEnd_ - paragraphBegin_);
            f.list = p.pnItem ? p.pnStyle : styleOfMarker(marker);
            f.listLevel = p.listLevel;
            f.listId = p.listOverride;
            if (f.list != RtfListStyle::Bullet) {
                affixesOfMarker(marker, f);
            }
        }
        std::vector<RtfParagraphFormat>& formats = doc_->formats;
        if (formats.empty() || !(formats.back() == f)) {
            formats.push_back(std::move(f));
        }
        return formats.size() - 1;
    }

    void addTabStop(std::int64_t param) {
        ParagraphState& p = paragraph_;
        const RtfTabStop stop{twips(param, 0), p.nextTab};
        p.nextTab = RtfTabAlignment::Left;
        const auto end = p.tabs.begin() + static_cast<std::ptrdiff_t>(p.tabCount);
        const auto at = std::lower_bound(
            p.tabs.begin(), end, stop,
            [](const RtfTabStop& a, const RtfTabStop& b) { return a.position < b.position; });
        if (at != end && at->position == stop.position) {
            *at = stop;
        } else if (p.tabCount < p.tabs.size()) {
            std::move_backward(at, end, end + 1);
            *at = stop;
            ++p.tabCount;
        }
    }

    void formatWord(Property property, bool hasParam, std::int64_t param) {
        if (doc_ == nullptr) {
            return;
        }
        if (skipping()) {
            if (pnFrom_ != 0 && depth_ == pnFrom_) {
                pnWord(property, hasParam, param);
            }
            return;
        }
        const bool on = !hasParam || param != 0;
        ParagraphState& p = paragraph_;
        switch (property) {
            case Property::Bold:
                chars_.bold = on;
                break;
            case Property::Italic:
                chars_.italic = on;
                break;
            case Property::Underline:
                chars_.underline = on;
                break;
            case Property::UnderlineNone:
                chars_.underline = false;
                break;
            case Property::Plain:
                chars_ = {};
                break;
            case Property::Pard:
                p = {};
                break;
            case Property::AlignLeft:
                p.alignment = RtfAlignment::Left;
                break;
            case Property::AlignCentre:
                p.alignment = RtfAlignment::Centre;
                break;
            case Property::AlignRight:
                p.alignment = RtfAlignment::Right;
                break;
            case Property::AlignJustified:
                p.alignment = RtfAlignment::Justified;
                break;
            case Property::LeftIndent:
                p.leftIndent = twips(param, -kMaxTwips);
                break;
            case Property::RightIndent:
                p.rightIndent = twips(param, -kMaxTwips);
                break;
            case Property::FirstLineIndent:
                p.firstLineIndent = twips(param, -kMaxTwips);
                break;
            case Property::SpaceBefore:
                p.spaceBefore = twips(param, 0);
                break;
            case Property::SpaceAfter:
                p.spaceAfter = twips(param, 0);
                break;
            case Property::TabCentre:
                p.nextTab = RtfTabAlignment::Centre;
                break;
            case Property::TabRight:
                p.nextTab = RtfTabAlignment::Right;
                break;
            case Property::TabDecimal:
                p.nextTab = RtfTabAlignment::Decimal;
                break;
            case Property::TabStop:
                if (hasParam) {
                    addTabStop(param);
                }
                break;
            case Property::BarTab:
                p.nextTab = RtfTabAlignment::Left;  // a bar, not a stop
                break;
            case Property::DefaultTab:
                if (hasParam) {
                    doc_->defaultTabWidth = twips(param, 1);
                }
                break;
            case Property::ListOverride:
                if (hasParam) {
                    p.listOverride = static_cast<int>(std::clamp<std::int64_t>(param, 0, 32767));
                }
                break;
            case Property::ListLevel:
                if (hasParam) {
                    p.listLevel = static_cast<int>(std::clamp<std::int64_t>(param, 0, 8));
                }
                break;
            case Property::MarkerGroup:
                // Only a marker that opens its paragraph is one.
                if (depth_ > 0 && markerFrom_ == 0 && !markerSeen_ &&
                    out_.text().size() == paragraphBegin_) {
                    markerFrom_ = depth_;
                    markerSeen_ = true;
                }
                break;
            default:
                break;  // \pn words count only inside their group
        }
    }

    void pnWord(Property property, bool hasParam, std::int64_t param) {
        switch (property) {
            case Property::PnBullet:
                pn_.item = pn_.bullet = true;
                break;
            case Property::PnBody:
                pn_.item = true;
                break;
            case Property::PnContinue:
                pn_.item = false;
                break;
            case Property::PnLevel:
                if (hasParam) {
                    pn_.item = pn_.levelSet = true;
                    pn_.level = static_cast<int>(std::clamp<std::int64_t>(param - 1, 0, 8));
                }
                break;
            case Property::PnDecimal:
                pn_.numbering = RtfListStyle::Decimal;
                break;
            case Property::PnLowerAlpha:
                pn_.numbering = RtfListStyle::LowerAlpha;
                break;
            case Property::PnUpperAlpha:
                pn_.numbering = RtfListStyle::UpperAlpha;
                break;
            case Property::PnLowerRoman:
                pn_.numbering = RtfListStyle::LowerRoman;
                break;
            case Property::PnUpperRoman:
                pn_.numbering = RtfListStyle::UpperRoman;
                break;
            default:
                break;
        }
    }

    void startPnGroup() {
        if (doc_ != nullptr && depth_ > 0 && pnFrom_ == 0 && skipFrom_ == depth_) {
            pnFrom_ = depth_;
            pn_ = {};
        }
    }

    // The group's numbering outlives it: it belongs to the paragraph around the group.
    void applyPnGroup() {
        ParagraphState& p = paragraph_;
        p.pnItem = pn_.item;
        p.pnStyle = pn_.bullet                            ? RtfListStyle::Bullet
                    : pn_.numbering != RtfListStyle::None ? pn_.numbering
                                                          : RtfListStyle::Decimal;
        if (pn_.levelSet) {
            p.listLevel = pn_.level;
        }
    }

    // ---- Tokens -------------------------------------------------------------------------------

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
                emit(static_cast<unsigned char>(symbol));
                break;
            case '~':
                emit(0x00A0);  // no-break space
                break;
            case '_':
                emit(0x2011);  // non-breaking hyphen
                break;
            case '\r':
            case '\n':
                endParagraph();  // a backslash before a line break is a paragraph mark
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
        if (word == nullptr) {
            return;
        }
        if (word->action == Action::Binary) {
            // Raw bytes follow, which may contain anything, braces included.
            const auto length = static_cast<std::size_t>(std::max<std::int64_t>(param, 0));
            pos_ += std::min(length, in_.size() - pos_);
            consumeFallback();
            return;
        }
        if (word->action == Action::Format) {
            // Formatting words are not characters of a \u fallback.
            formatWord(word->property, hasParam, param);
            return;
        }
        if (skipping()) {
            if (word->property == Property::ListGroup) {
                startPnGroup();  // {\*\pn ...}
            }
            return;
        }
        if (consumeFallback()) {
            return;
        }
        switch (word->action) {
            case Action::Character:
                if (word->property == Property::ParagraphEnd) {
                    endParagraph();
                } else {
                    emit(word->cp);
                }
                break;
            case Action::Skip:
                skipGroup();
                if (word->property == Property::ListGroup) {
                    startPnGroup();
                }
                break;
            case Action::Unicode:
                if (hasParam) {
                    // Code points above 32767 are written as negative 16-bit numbers.
                    const std::int64_t cp = param < 0 ? param + 0x10000 : param;
                    emit(cp < 0 ? kReplacement : static_cast<char32_t>(cp));
                    ucFallback_ = uc_;
                }
                break;
            case Action::FallbackCount:
                if (hasParam) {
                    uc_ = std::max<std::int64_t>(param, 0);
                }
                break;
            case Action::Binary:
            case Action::Format:
                break;
        }
    }

    std::string_view in_;
    Utf8Writer& out_;
    RtfDocument* doc_;
    std::size_t pos_ = 0;
    std::size_t depth_ = 0;
    std::size_t skipFrom_ = 0;     // depth of the group being skipped, 0 when none
    std::int64_t uc_ = 1;          // fallback characters after each \u in this group
    std::int64_t ucFallback_ = 0;  // fallback characters still to drop
    RtfCharFormat chars_;
    ParagraphState paragraph_;
    std::vector<GroupState> saved_;
    std::size_t pnFrom_ = 0;  // depth of the \pn group being read, 0 when none
    PnGroup pn_;
    std::size_t paragraphBegin_ = 0;
    std::size_t markerEnd_ = 0;
    std::size_t markerFrom_ = 0;  // depth of the marker group being read, 0 when none
    bool markerSeen_ = false;     // the paragraph had its marker
};

}  // namespace

std::string rtfToText(std::string_view rtf) {
    Utf8Writer out;
    try {
        Reader(rtf, out, nullptr).run();
        out.flushPending();
    } catch (...) {
        // Out of memory: the text decoded so far is still whole UTF-8.
    }
    return std::move(out.text());
}

RtfDocument rtfToDocument(std::string_view rtf) {
    Utf8Writer out;
    RtfDocument doc;
    try {
        Reader reader(rtf, out, &doc);
        try {
            reader.run();
        } catch (...) {
            // Out of memory: keep what was read, formatted as far as it got.
        }
        out.flushPending();
        reader.finish();
        doc.text = std::move(out.text());
    } catch (...) {
        // Out of memory while closing: the text alone, in one plain paragraph.
        doc.text = std::move(out.text());
        doc.runs.clear();
        doc.paragraphs.clear();
        doc.formats.clear();
        if (!doc.text.empty()) {
            doc.runs.push_back({0, doc.text.size(), {}});
        }
        doc.formats.emplace_back();
        doc.paragraphs.push_back({0, 0, doc.text.size(), 0});
    }
    return doc;
}

namespace {

std::optional<std::string> readRtfFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(filePath(path), ec)) {
        return std::nullopt;  // also keeps a FIFO or device from blocking the window
    }
    std::ifstream file(filePath(path), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad() || !data.starts_with("{\\rtf")) {
        return std::nullopt;
    }
    return data;
}

}  // namespace

std::optional<std::string> loadRtfFile(const std::string& path) {
    try {
        const std::optional<std::string> data = readRtfFile(path);
        return data ? std::optional<std::string>(rtfToText(*data)) : std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<RtfDocument> loadRtfDocument(const std::string& path) {
    try {
        const std::optional<std::string> data = readRtfFile(path);
        return data ? std::optional<RtfDocument>(rtfToDocument(*data)) : std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace vigie

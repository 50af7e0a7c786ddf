// Replays every committed fuzz input through the checks its fuzzer runs, so the corpus guards
// against regressions without a fuzzing build. A second table feeds the corpus to deliberately
// broken functions: the corpus must make each of those faults show.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/device_link_checks.h"
#include "tests/fuzz/settings_checks.h"
#include "tests/fuzz/text_checks.h"
#include "tests/support/files.h"

namespace vigie::fuzz {
namespace {

namespace fs = std::filesystem;

using Check = std::function<void(std::string_view, Findings&)>;

struct CorpusFile {
    std::string name;
    std::string bytes;
};

std::vector<CorpusFile> readCorpus(const std::string& target) {
    std::vector<CorpusFile> files;
    const fs::path dir = fs::path(VIGIE_FUZZ_CORPUS_DIR) / target;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file())
            continue;
        files.push_back({entry.path().filename().string(), test::readFile(entry.path())});
    }
    std::sort(files.begin(), files.end(),
              [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
    return files;
}

struct Target {
    const char* name;
    Check check;
};

void PrintTo(const Target& t, std::ostream* os) {
    *os << t.name;
}

class CorpusReplay : public testing::TestWithParam<Target> {};

TEST_P(CorpusReplay, EveryInputKeepsThePromises) {
    const std::vector<CorpusFile> files = readCorpus(GetParam().name);
    // The hand-written seeds alone are more than this; fewer means the corpus went missing.
    ASSERT_GE(files.size(), 8u) << "corpus of " << GetParam().name;
    for (const CorpusFile& file : files) {
        Findings findings;
        GetParam().check(file.bytes, findings);
        EXPECT_TRUE(findings.empty()) << file.name << ": " << findings.text();
    }
}

const Target kTargets[] = {
    {"settings", [](std::string_view in, Findings& f) { checkSettings(in, f); }},
    {"device_link", [](std::string_view in, Findings& f) { checkDeviceLink(in, f); }},
    {"text", [](std::string_view in, Findings& f) { checkText(in, f); }},
};

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay, testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The corpus catches faults -----------------------------------------------------------------

struct Fault {
    const char* name;
    const char* target;
    Check check;
};

void PrintTo(const Fault& f, std::ostream* os) {
    *os << f.name;
}

SettingsSubject settingsWith(IniFields (*split)(std::string_view)) {
    SettingsSubject s;
    s.split = split;
    return s;
}

const Fault kFaults[] = {
    {"split_reads_eight_bytes", "settings",
     [](std::string_view in, Findings& f) {
         checkSettings(in, f, settingsWith([](std::string_view t) { return modelSplit(t, 8); }));
     }},
    {"split_gives_nothing_without_star", "settings",
     [](std::string_view in, Findings& f) {
         checkSettings(in, f, settingsWith([](std::string_view t) {
                           return t.substr(0, 7).find('*') == std::string_view::npos
                                      ? IniFields{}
                                      : splitIniText(t);
                       }));
     }},
    {"split_keeps_one_digit_of_a_port", "settings",
     [](std::string_view in, Findings& f) {
         checkSettings(in, f,
                       settingsWith([](std::string_view t) { return modelSplit(t, 7, false); }));
     }},
    {"build_writes_the_first_digit_of_a_port", "settings",
     [](std::string_view in, Findings& f) {
         SettingsSubject s;
         s.build = [](const std::string& p, const std::string& fl, const std::string& t) {
             return buildIniLine(p.substr(0, 1), fl, t);
         };
         checkSettings(in, f, s);
     }},
    {"split_reads_seven_bytes_past_a_whole_port", "settings",
     [](std::string_view in, Findings& f) {
         checkSettings(in, f, settingsWith([](std::string_view t) {
                           IniFields whole = splitIniText(t);
                           IniFields seven = splitIniText(t.substr(0, 7));
                           seven.port = whole.port;
                           return seven;
                       }));
     }},
    {"build_drops_test_field", "settings",
     [](std::string_view in, Findings& f) {
         SettingsSubject s;
         s.build = [](const std::string& p, const std::string& fl, const std::string&) {
             return buildIniLine(p, fl, "");
         };
         checkSettings(in, f, s);
     }},
    {"wake_up_needs_only_soh_and_stx", "device_link",
     [](std::string_view in, Findings& f) {
         DeviceLinkSubject s;
         s.isWakeUpReply = [](std::string_view b) {
             return (b.find('\x01') != b.npos && b.find('\x02') != b.npos) ||
                    b.find("FTPUN") != b.npos;
         };
         checkDeviceLink(in, f, s);
     }},
    {"request_without_cr", "device_link",
     [](std::string_view in, Findings& f) {
         DeviceLinkSubject s;
         s.hasRequest = [](std::string_view b, std::string_view k) { return b.find(k) != b.npos; };
         checkDeviceLink(in, f, s);
     }},
    {"name_of_eight_bytes", "device_link",
     [](std::string_view in, Findings& f) {
         DeviceLinkSubject s;
         s.cutUserName = [](std::string_view b) {
             const auto at = b.find("FTPUN");
             return at == b.npos ? std::string() : upperCp1252(b.substr(at + 5, 8));
         };
         checkDeviceLink(in, f, s);
     }},
    {"name_after_last_marker", "device_link",
     [](std::string_view in, Findings& f) {
         DeviceLinkSubject s;
         s.cutUserName = [](std::string_view b) {
             const auto at = b.rfind("FTPUN");
             return at == b.npos ? std::string() : upperCp1252(b.substr(at + 5, 7));
         };
         checkDeviceLink(in, f, s);
     }},
    {"password_not_reversed", "device_link",
     [](std::string_view in, Findings& f) {
         DeviceLinkSubject s;
         s.passwordFor = [](std::string_view n) { return std::string(n); };
         checkDeviceLink(in, f, s);
     }},
    {"unassigned_bytes_lost", "text",
     [](std::string_view in, Findings& f) {
         TextSubject s;
         s.toCp1252 = [](std::string_view u) {
             std::string out = utf8ToCp1252(u);
             for (char& c : out) {
                 if (c == '\x81' || c == '\x8D' || c == '\x8F' || c == '\x90' || c == '\x9D')
                     c = '?';
             }
             return out;
         };
         checkText(in, f, s);
     }},
    {"truncated_sequence_kept", "text",
     [](std::string_view in, Findings& f) {
         TextSubject s;
         s.toCp1252 = [](std::string_view u) {
             std::string out = utf8ToCp1252(u);
             if (!u.empty() && static_cast<unsigned char>(u.back()) >= 0xC0)
                 out += '?';
             return out;
         };
         checkText(in, f, s);
     }},
    {"upper_forgets_y_diaeresis", "text",
     [](std::string_view in, Findings& f) {
         TextSubject s;
         s.upper = [](std::string_view b) {
             std::string out = upperCp1252(b);
             for (std::size_t i = 0; i < b.size(); ++i) {
                 if (b[i] == '\xFF')
                     out[i] = '\xFF';
             }
             return out;
         };
         checkText(in, f, s);
     }},
};

class CorpusCatches : public testing::TestWithParam<Fault> {};

TEST_P(CorpusCatches, ABrokenFunction) {
    bool caught = false;
    for (const CorpusFile& file : readCorpus(GetParam().target)) {
        Findings findings;
        GetParam().check(file.bytes, findings);
        caught = caught || !findings.empty();
    }
    EXPECT_TRUE(caught) << "no input of the " << GetParam().target << " corpus shows the fault";
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusCatches, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vigie::fuzz

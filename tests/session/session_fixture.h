#pragma once
// A loaded main window with a K7 played in memory on COM1.

#include <string>
#include <vector>

#include "tests/support/fake_k7.h"
#include "tests/support/form_fixture.h"
#include "tests/support/memory_ftp_layer.h"
#include "tests/support/program_texts.h"

namespace vigie::test {

// A database of that many lines as the server keeps it: Windows-1252 text, CR LF after each line.
inline std::string database(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "4.8" + std::to_string(i) + ",45.7,FIXE,50,Ch\xEAne " + std::to_string(i) + "\r\n";
    return text;
}

class SessionFixture : public FormFixture {
  protected:
    SessionFixture() : k7_(platform_, port_) { probe_.results = {{1, ProbeResult::Opened}}; }

    MainForm& load(std::unique_ptr<ftp::FtpLayer> ftpLayer = std::make_unique<MemoryFtpLayer>()) {
        MainForm& form = makeForm(std::move(ftpLayer));
        EXPECT_TRUE(form.load());
        EXPECT_EQ(form.portList.text(), " 1");
        return form;
    }

    // Records every value a label shows, in order, without repeats.
    void watch(const Label& label, std::vector<std::string>& seen) {
        auto previous = platform_.onYield;
        platform_.onYield = [&label, &seen, previous] {
            if (previous)
                previous();
            if (seen.empty() || seen.back() != label.caption)
                seen.push_back(label.caption);
        };
    }

    FakeK7 k7_;
};

}  // namespace vigie::test

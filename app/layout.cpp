#include "app/layout.h"

#include <stdexcept>

namespace vigie::layout {
namespace {

constexpr const char* Tahoma = "Tahoma";
constexpr const char* SansSerif = "MS Sans Serif";
constexpr auto L = Alignment::Left;
constexpr auto C = Alignment::Center;

// Controls below Top 4440 lie under the visible client area at the imposed window size: the user
// never sees them, but the session still writes to them.
const Control kControls[] = {
    {"Image1", Kind::Picture, 690, 120, 4500, 1500, "", nullptr, 0, false, L, {}, {}, -1},
    {"lblDots",
     Kind::Label,
     4920,
     1020,
     855,
     375,
     "...",
     SansSerif,
     13.5,
     true,
     L,
     HighlightText,
     {},
     12},
    {"lblStatus", Kind::Label, 120, 1680, 5655, 1335, "", Tahoma, 12, false, C, White, {}, 3},
    {"prgb1", Kind::ProgressBar, 120, 3120, 5655, 255, "", nullptr, 0, false, L, {}, {}, 4},
    {"Label6",
     Kind::Label,
     120,
     3480,
     855,
     255,
     "Com Port",
     SansSerif,
     8.25,
     true,
     L,
     White,
     {},
     6},
    {"Label8",
     Kind::Label,
     1080,
     3480,
     1215,
     255,
     "Download File",
     SansSerif,
     8.25,
     true,
     L,
     White,
     {},
     10},
    {"cboPort", Kind::ComboBox, 120, 3750, 855, 315, "", nullptr, 0, false, L, {}, {}, 5},
    {"cboFile", Kind::ComboBox, 1035, 3750, 2550, 315, "", nullptr, 0, false, L, {}, {}, 9},
    {"cmdGo", Kind::Button, 3650, 3720, 1095, 375, "Start Update", nullptr, 0, false, C, {}, {}, 0},
    {"cmdClose", Kind::Button, 4800, 3720, 975, 375, "Close", nullptr, 0, false, C, {}, {}, 1},
    {"Label3", Kind::Label, 165, 4560, 1215, 255, "Port Closed", SansSerif, 8.25, true, L, White,
     Black, 2},
    {"Label7", Kind::Label, 1320, 4560, 495, 255, "Stage", SansSerif, 8.25, true, L, White, Black,
     8},
    {"Label5", Kind::Label, 1920, 4530, 615, 315, "", SansSerif, 8.25, true, L, Black, White, 7},
    {"Label11", Kind::Label, 2640, 4560, 1095, 255, "Retry Count", SansSerif, 8.25, true, L, White,
     Black, 11},
};

const MenuEntry kMenu[] = {
    {"mnuMainFilter", "&Filter Com Ports", "Ctrl+F"},
    {"MnuMainHelp", "&Help", "Ctrl+H"},
    {"mnuMainTroubleshooting", "&Troubleshooting (Web Access Reqd)", "Ctrl+T"},
    {"mnuMainDownload", "&Download Latest Version (Web)", "Ctrl+D"},
    {"MnuMainExit", "&Exit", "Ctrl+X"},
};

}  // namespace

std::span<const Control> controls() {
    return kControls;
}
std::span<const MenuEntry> menu() {
    return kMenu;
}

const Control& control(std::string_view name) {
    for (const Control& c : kControls)
        if (name == c.name)
            return c;
    throw std::out_of_range("no control " + std::string(name));
}

}  // namespace vigie::layout

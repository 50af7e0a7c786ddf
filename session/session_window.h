#pragma once
// The window as the update session sees it: the controls it changes while an update runs, and
// nothing else of the window. The window owns them and outlives the session.

#include <functional>
#include <string>

#include "core/controls.h"

namespace vigie {

struct SessionWindow {
    Label& statusLabel;      // the instructions, then the update's progress, outcome or failure
    Label& dotsLabel;        // one more dot at every tick of dotsTimer
    Label& portStateLabel;   // "Port Open" or "Port Closed"
    Label& stageLabel;       // the stage's number
    Label& retryCountLabel;  // the retries of the current request
    ProgressBar& progressBar;
    ComboBox& portList;
    ComboBox& databaseList;
    Button& startButton;
    Button& closeButton;
    Timer& dotsTimer;
};

// Where an update goes, as the program decides it; asked each time it is needed.
struct SessionPlaces {
    std::function<std::string()> server;      // the update server, host[:port]
    std::function<std::string()> workFolder;  // the folder of the working file
};

}  // namespace vigie

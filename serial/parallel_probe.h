#pragma once
// Probes ports side by side, each on a thread of its own, and waits for their answers no longer
// than a limit. Opening a Bluetooth port can take seconds before it fails; the window must not
// wait for it.

#include <chrono>
#include <functional>
#include <map>
#include <vector>

#include "serial/port_probe.h"

namespace vigie {

// Probes one port and closes it again. A probe that is given up on goes on alone, possibly after
// its caller is gone: it must own everything it uses, and let go of the port when the system
// finally answers.
using ProbeFunction = std::function<ProbeResult(int portNumber)>;

// Starts work on a thread of its own that nobody joins; raises std::system_error when it cannot.
using ThreadStarter = std::function<void(std::function<void()> work)>;

// A probe's time runs from its own start, not from the call: on a busy machine a thread may
// start late, and a port must not be lost for that. A probe that has not even started by this
// many limits after the call is given up on all the same.
constexpr int kProbeStartLimits = 10;

// The answers that came before the wait ended, by port; a later answer goes nowhere. The wait
// ends when every probe has answered or has run for the limit. Raises the first error of a probe
// that answered in time, or vigie::RuntimeError when no thread could be started.
std::map<int, ProbeResult> probeSideBySide(const ProbeFunction& probe,
                                           const std::vector<int>& ports,
                                           std::chrono::milliseconds limit);
// The same, with the probes' threads started by `start` (tests delay one).
std::map<int, ProbeResult> probeSideBySide(const ProbeFunction& probe,
                                           const std::vector<int>& ports,
                                           std::chrono::milliseconds limit,
                                           const ThreadStarter& start);

}  // namespace vigie

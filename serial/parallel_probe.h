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

// The answers that came within the limit, by port; a late answer goes nowhere. Raises the first
// error of a probe that answered in time, or vigie::RuntimeError when no thread could be started.
std::map<int, ProbeResult> probeSideBySide(const ProbeFunction& probe,
                                           const std::vector<int>& ports,
                                           std::chrono::milliseconds limit);

}  // namespace vigie

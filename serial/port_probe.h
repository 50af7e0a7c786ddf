#pragma once
// Asks the system which serial ports it has, whether another program holds one, and what the user
// knows each by.

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace vigie {

enum class ProbeResult {
    Opened,        // the port exists and is free (it has been closed again)
    NotFound,      // no such port
    AccessDenied,  // the port exists, but another program holds it or this user may not use it
    OtherError,    // any other answer: neither listed nor counted
};

class PortProbe {
  public:
    virtual ~PortProbe() = default;

    // One port, answered when the system answers: a port that is slow to open holds the caller.
    // Raises vigie::RuntimeError when the probe itself cannot be made.
    virtual ProbeResult probe(int portNumber) = 0;
    // The ports probed side by side. A port whose answer has not come within the limit is left out
    // of the result; its probe goes on alone and lets go of the port when the system answers.
    // Raises vigie::RuntimeError when a probe that answered in time could not be made.
    virtual std::map<int, ProbeResult> probeAll(const std::vector<int>& ports,
                                                std::chrono::milliseconds limit) = 0;
    // The ports the system lists, in increasing order, found without opening any; empty when the
    // system has no list or cannot give it.
    virtual std::vector<int> listedPorts() = 0;
    // What the user reads for each of these ports: the adapter's name where the system knows it,
    // with the port's device (serial/port_names.h describePort).
    virtual std::map<int, std::string> describePorts(const std::vector<int>& ports) = 0;
};

}  // namespace vigie

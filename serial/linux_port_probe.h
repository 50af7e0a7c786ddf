#pragma once
// The system's own port probe. Linux: serial/linux_port_probe.cpp; Windows:
// serial/win_port_probe.cpp.

#include <string>
#include <vector>

#include "serial/port_probe.h"

namespace vigie {

class SystemPortProbe : public PortProbe {
  public:
#ifdef _WIN32
    SystemPortProbe() = default;
#else
    // lockDirs: the folders in which programs leave the lock files of the serial-lock convention
    // ("LCK..<name>" holding the owner's process id).
    explicit SystemPortProbe(std::vector<std::string> lockDirs = {"/var/lock", "/run/lock"});

    // Probes one device: free, absent, held by another program (or out of this user's reach), or
    // none of these.
    ProbeResult probePath(const std::string& devicePath) const;
#endif

    ProbeResult probe(int portNumber) override;

#ifndef _WIN32
  private:
    bool lockedByLiveProcess(const std::string& devicePath) const;

    std::vector<std::string> lockDirs_;
#endif
};

}  // namespace vigie

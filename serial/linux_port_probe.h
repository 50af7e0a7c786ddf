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
    // ("LCK..<name>" holding the owner's process id). devDir and sysDir: where the system shows
    // its devices and their descriptions.
    explicit SystemPortProbe(std::vector<std::string> lockDirs = {"/var/lock", "/run/lock"},
                             std::string devDir = "/dev", std::string sysDir = "/sys");

    // Probes one device: free, absent, held by another program (or out of this user's reach), or
    // none of these.
    ProbeResult probePath(const std::string& devicePath) const;
    // The device of COMn: in VIGIE_COM_DIR when it is set, else in devDir.
    std::string devicePath(int portNumber) const;
#endif

    ProbeResult probe(int portNumber) override;
    std::map<int, ProbeResult> probeAll(const std::vector<int>& ports,
                                        std::chrono::milliseconds limit) override;
    std::vector<int> listedPorts() override;
    std::map<int, std::string> describePorts(const std::vector<int>& ports) override;

#ifndef _WIN32
  private:
    bool lockedByLiveProcess(const std::string& devicePath) const;
    // The USB adapter's maker and product, from the system's description of the tty device.
    std::string adapterName(const std::string& ttyName) const;
    // A serial device the kernel made without any port behind it (ttyS4 on most PCs).
    bool emptyUart(const std::string& ttyName) const;

    std::vector<std::string> lockDirs_;
    std::string devDir_;
    std::string sysDir_;
#endif
};

}  // namespace vigie

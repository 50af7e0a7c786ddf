#pragma once
// An in-memory serial port: what the program writes is recorded and handed to a device double;
// what the device sends waits in the receive queue until the program reads it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "serial/port_probe.h"
#include "serial/serial_port.h"

namespace vigie::test {

class MemorySerialPort : public SerialPort {
  public:
    // Ports that exist; opening another raises the invalid-port error.
    std::set<int> existing{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    // Ports another program holds: opening raises a different error.
    std::set<int> busy;

    // Everything written while open, and each write on its own.
    std::string written;
    std::vector<std::string> writes;
    // The device double sees every write.
    std::function<void(const std::string&)> onWrite;
    void deviceSends(const std::string& bytes) {
        if (!vanished_)
            rx_ += bytes;
    }

    // The device vanishes, as the real port layer sees a device unplugged: the port still counts
    // as open; what had arrived is still read once, then every read and write raises an error;
    // closing succeeds and forgets the device and anything still unread.
    void vanish() { vanished_ = true; }
    // The next close raises an error and leaves the port open, as a close the system refuses.
    bool failNextClose = false;
    // Log of the operations, e.g. "CommPort=3", "Settings=38400,N,8,1", "InputLen=0", "Open".
    std::vector<std::string> log;
    int opens = 0;

    bool portOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    std::int16_t commPort() const override { return port_; }
    void setCommPort(std::int16_t port) override;
    void setSettings(const std::string& settings) override;
    void setInputLen(std::int16_t len) override;
    void output(const std::string& bytes) override;
    std::string input() override;

  private:
    bool open_ = false;
    bool vanished_ = false;
    std::int16_t port_ = 1;
    std::string rx_;
};

class VirtualPlatform;

// The system's answers as a test sets them, given in the virtual time of a platform.
class FakeProbe : public PortProbe {
  public:
    std::map<int, ProbeResult> results;  // ports not listed are NotFound
    // How long a port takes to answer, in milliseconds (at once when not listed). A probe that
    // takes longer than probeAll's limit is missing from its answers.
    std::map<int, std::int64_t> delays;
    std::vector<int> listed;           // the system's list of ports
    std::map<int, std::string> names;  // the system's names of ports
    bool fail = false;                 // every probe fails
    int failAt = 0;                    // the probe of this port fails
    VirtualPlatform* clock = nullptr;  // whose time the probes take, when set
    std::vector<int> probed;           // every port probed, in order
    std::vector<std::int64_t> limits;  // the limit of every probeAll, in milliseconds

    ProbeResult probe(int portNumber) override;
    // Holds its caller, as the real one does, until the last answer or the limit, whichever
    // comes first: the platform's clock moves on without events being processed.
    std::map<int, ProbeResult> probeAll(const std::vector<int>& ports,
                                        std::chrono::milliseconds limit) override;
    std::vector<int> listedPorts() override { return listed; }
    // "name (COMn)", or "COMn" for a port without a name.
    std::map<int, std::string> describePorts(const std::vector<int>& ports) override;
};

}  // namespace vigie::test

#pragma once
// An in-memory serial port: what the program writes is recorded and handed to a device double;
// what the device sends waits in the receive queue until the program reads it.

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

class FakeProbe : public PortProbe {
  public:
    std::map<int, ProbeResult> results;  // ports not listed are NotFound
    bool fail = false;                   // the probe itself fails
    std::vector<int> probed;
    ProbeResult probe(int portNumber) override;
};

}  // namespace vigie::test

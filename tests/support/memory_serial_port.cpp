#include "tests/support/memory_serial_port.h"

#include <algorithm>

#include "core/runtime_error.h"
#include "serial/port_properties.h"
#include "tests/support/virtual_platform.h"

namespace vigie::test {

void MemorySerialPort::setPortOpen(bool open) {
    log.push_back(open ? "Open" : "Close");
    if (!open) {
        if (failNextClose) {
            failNextClose = false;
            throw RuntimeError(err::PortOpenFailed, "MSComm1", "Cannot close the port");
        }
        open_ = false;
        vanished_ = false;
        rx_.clear();
        return;
    }
    if (open_)
        throw RuntimeError(err::PortAlreadyOpen, "MSComm1", "Port already open");
    if (!existing.count(port_))
        throw RuntimeError(err::InvalidPortNumber, "MSComm1", "Invalid port number");
    if (busy.count(port_))
        throw RuntimeError(err::PortOpenFailed, "MSComm1", "Port is busy");
    open_ = true;
    ++opens;
}

void MemorySerialPort::setCommPort(std::int16_t port) {
    log.push_back("CommPort=" + std::to_string(port));
    port_ = checkedPortNumber(port);
}

void MemorySerialPort::setSettings(const std::string& settings) {
    log.push_back("Settings=" + settings);
}

void MemorySerialPort::setInputLen(std::int16_t len) {
    log.push_back("InputLen=" + std::to_string(len));
}

void MemorySerialPort::output(const std::string& bytes) {
    if (!open_)
        return;
    if (vanished_)
        throw RuntimeError(err::WriteError, "MSComm1", "Device lost");
    written += bytes;
    writes.push_back(bytes);
    if (onWrite)
        onWrite(bytes);
}

std::string MemorySerialPort::input() {
    if (!open_)
        return "";
    if (vanished_ && rx_.empty())
        throw RuntimeError(err::ReadError, "MSComm1", "Device lost");
    std::string out;
    out.swap(rx_);
    return out;
}

ProbeResult FakeProbe::probe(int portNumber) {
    probed.push_back(portNumber);
    if (fail || portNumber == failAt)
        throw RuntimeError(5, "PortProbe", "Probe failed");
    auto it = results.find(portNumber);
    return it == results.end() ? ProbeResult::NotFound : it->second;
}

std::map<int, ProbeResult> FakeProbe::probeAll(const std::vector<int>& ports,
                                               std::chrono::milliseconds limit) {
    limits.push_back(limit.count());
    std::map<int, ProbeResult> answers;
    std::int64_t slowest = 0;
    bool failed = false;
    for (int n : ports) {
        const auto delay = delays.find(n);
        const std::int64_t took = delay == delays.end() ? 0 : delay->second;
        slowest = std::max(slowest, std::min<std::int64_t>(took, limit.count()));
        if (took > limit.count()) {
            probed.push_back(n);
            continue;
        }
        try {
            answers[n] = probe(n);
        } catch (const RuntimeError&) {
            failed = true;
        }
    }
    if (clock)
        clock->setNow(clock->tick() + slowest);
    if (failed)
        throw RuntimeError(5, "PortProbe", "Probe failed");
    return answers;
}

std::map<int, std::string> FakeProbe::describePorts(const std::vector<int>& ports) {
    std::map<int, std::string> descriptions;
    for (int n : ports) {
        const auto name = names.find(n);
        const std::string device = "COM" + std::to_string(n);
        descriptions[n] = name == names.end() ? device : name->second + " (" + device + ")";
    }
    return descriptions;
}

}  // namespace vigie::test

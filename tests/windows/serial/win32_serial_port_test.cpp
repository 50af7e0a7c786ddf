// The Win32 serial port and the Windows port probe where no device is needed: the system's error
// codes as data, the real calls for a port that does not exist, how a read hands over what came
// before a device went away, and the port's own refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "serial/linux_port_probe.h"
#include "serial/win_port_probe.h"
#include "tests/windows/serial/serial_test_support.h"

namespace vigie::test {
namespace {

// A port number no Wine prefix links and no PC has.
constexpr int kMissingPort = 250;

// What the system's answer to opening a port means, to the probe that builds the port list and to
// the port's open. Only "access denied" (held by another program: listed as in use) and "file not
// found" (no such port) count for the probe; the open tells only a missing port from the rest.
TEST(WindowsPortErrors, TellInUseAndMissingPortsFromTheRest) {
    const struct {
        DWORD error;
        ProbeResult probe;
        std::int32_t open;
    } cases[] = {
        {ERROR_ACCESS_DENIED, ProbeResult::AccessDenied, err::PortOpenFailed},
        {ERROR_FILE_NOT_FOUND, ProbeResult::NotFound, err::InvalidPortNumber},
        {ERROR_PATH_NOT_FOUND, ProbeResult::OtherError, err::InvalidPortNumber},
        // A second open of a port already open: Windows refuses it one way or the other (Wine
        // lets a serial device be opened twice, so only the decision is tested here).
        {ERROR_SHARING_VIOLATION, ProbeResult::OtherError, err::PortOpenFailed},
        {ERROR_GEN_FAILURE, ProbeResult::OtherError, err::PortOpenFailed},
        {ERROR_SEM_TIMEOUT, ProbeResult::OtherError, err::PortOpenFailed},
        {ERROR_SUCCESS, ProbeResult::OtherError, err::PortOpenFailed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(probeResultForError(c.error), c.probe) << "error " << c.error;
        EXPECT_EQ(portOpenErrorNumber(c.error), c.open) << "error " << c.error;
    }
}

TEST(WindowsPortErrors, AMissingPortIsNotFoundAndAnInvalidNumber) {
    SystemPortProbe probe;
    EXPECT_EQ(probe.probe(kMissingPort), ProbeResult::NotFound);

    Win32SerialPort port;
    try {
        openPort(port, kMissingPort);
        ADD_FAILURE() << "opened COM" << kMissingPort;
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, err::InvalidPortNumber);
        EXPECT_EQ(e.LastDllError, static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_FALSE(port.portOpen());
}

// The system's list of serial ports, as drivers write it: the port's name as a REG_SZ value,
// with or without its closing NUL; anything else is no port.
TEST(WindowsPortList, ReadsThePortsTheSystemLists) {
    const wchar_t* key = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    HKEY list = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_SET_VALUE, nullptr, &list, nullptr),
              ERROR_SUCCESS);
    // Names of this test's own, so that the ports of tests running beside it do not matter.
    const std::pair<const wchar_t*, std::wstring> values[] = {
        {L"\\Device\\VigieListA", std::wstring(L"COM201", 7)},  // with its NUL
        {L"\\Device\\VigieListB", std::wstring(L"COM202", 6)},  // without
        {L"\\Device\\VigieListC", std::wstring(L"LPT3", 5)},
        {L"\\Device\\VigieListD", std::wstring(200, L'7')},  // too long for a port's name
    };
    for (const auto& [name, data] : values)
        ::RegSetValueExW(list, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    const DWORD number = 203;
    ::RegSetValueExW(list, L"\\Device\\VigieListE", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&number), sizeof number);

    const std::vector<int> ports = SystemPortProbe().listedPorts();

    for (const wchar_t* name :
         {L"\\Device\\VigieListA", L"\\Device\\VigieListB", L"\\Device\\VigieListC",
          L"\\Device\\VigieListD", L"\\Device\\VigieListE"})
        ::RegDeleteValueW(list, name);
    ::RegCloseKey(list);
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
    EXPECT_EQ(std::count(ports.begin(), ports.end(), 201), 1);
    EXPECT_EQ(std::count(ports.begin(), ports.end(), 202), 1);
    EXPECT_EQ(std::count(ports.begin(), ports.end(), 203), 0);
    // Without a device behind it, Device Manager gives no name: the port is shown as itself.
    EXPECT_EQ(SystemPortProbe().describePorts({201}),
              (std::map<int, std::string>{{201, "COM201"}}));
}

TEST(WindowsPortList, RegistryTextsEndAtTheirFirstNul) {
    const wchar_t data[] = L"COM14\0junk";
    EXPECT_EQ(registryText(data, sizeof data), L"COM14");
    EXPECT_EQ(registryText(data, 5 * sizeof(wchar_t)), L"COM14");
    EXPECT_EQ(registryText(data, 5 * sizeof(wchar_t) + 1), L"COM14");  // an odd count
    EXPECT_EQ(registryText(data, 0), L"");
}

// The system's reads and status calls played from a script: each read hands over the next chunk
// (at most what is asked; "!" fails the read), then the status answers.
struct ScriptedPort {
    std::deque<std::string> chunks;
    bool statusOk = true;

    PortReadCalls calls() {
        return {[this](char* buffer, std::size_t room, std::size_t& got) {
                    got = 0;
                    if (chunks.empty())
                        return true;
                    std::string& chunk = chunks.front();
                    if (chunk == "!")
                        return false;
                    got = std::min(room, chunk.size());
                    chunk.copy(buffer, got);
                    chunk.erase(0, got);
                    if (chunk.empty())
                        chunks.pop_front();
                    return true;
                },
                [this] { return statusOk; }};
    }
};

TEST(Win32SerialPortRead, HandsOverWhatCameBeforeTheDeviceWentAway) {
    const std::string full(4096, 'x');
    const struct {
        const char* name;
        std::deque<std::string> chunks;
        bool statusOk;
        std::int16_t inputLen;
        std::string data;
        bool lost;  // the read raises when nothing came
    } cases[] = {
        {"nothing came", {}, true, 0, "", false},
        {"a request", {"T#FTPUN AB12CD3\r"}, true, 0, "T#FTPUN AB12CD3\r", false},
        {"more than one buffer", {full, "tail"}, true, 0, full + "tail", false},
        {"at most the read length", {"abcdef"}, true, 3, "abc", false},
        // The device vanished just after sending: the bytes still come, the loss with them.
        {"bytes, then the status fails", {"T#END\r"}, false, 0, "T#END\r", true},
        {"bytes, then a read fails", {full, "!"}, true, 0, full, true},
        {"a failed read, nothing before", {"!"}, true, 0, "", true},
        {"nothing, and the status fails", {}, false, 0, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPort port{c.chunks, c.statusOk};
        const PortInput in = takeInput(port.calls(), c.inputLen);
        EXPECT_EQ(in.data, c.data);
        EXPECT_EQ(in.lost, c.lost);
        EXPECT_EQ(in.raise, c.lost && c.data.empty());
    }
}

TEST(Win32SerialPort, RefusesValuesItCannotApply) {
    // The line settings' parser has its own table; one refusal shows that the port uses it.
    Win32SerialPort port;
    EXPECT_EQ(errorOf([&] { port.setSettings("38400,N,9,1"); }), 380);
    EXPECT_EQ(errorOf([&] { port.setSettings("9600,e,7,2"); }), 0);
    EXPECT_EQ(errorOf([&] { port.setCommPort(0); }), err::InvalidPortNumber);
    EXPECT_EQ(errorOf([&] { port.setInputLen(-1); }), 380);
}

TEST(Win32SerialPort, AClosedPortSkipsWritesAndReadsNothing) {
    Win32SerialPort port;
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(errorOf([&] { port.output("lost"); }), 0);
    EXPECT_EQ(port.input(), "");
    port.setPortOpen(false);  // closing a closed port is fine
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.deviceLost());
}

}  // namespace
}  // namespace vigie::test

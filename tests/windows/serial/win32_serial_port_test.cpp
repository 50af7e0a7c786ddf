// The Win32 serial port and the Windows port probe where no device is needed: the system's error
// codes as data, the real calls for a port that does not exist, and the port's own refusals.

#include <gtest/gtest.h>

#include "serial/linux_port_probe.h"
#include "serial/win_port_probe.h"
#include "tests/windows/serial/serial_test_support.h"

namespace vigie::test {
namespace {

// A port number no Wine prefix links and no PC has.
constexpr int kMissingPort = 250;

TEST(WinPortProbe, TellsInUseAndMissingFromTheErrorCodeAndIgnoresTheRest) {
    // Only "access denied" and "file not found" count; a port that answers with anything else is
    // neither listed nor counted.
    const struct {
        DWORD error;
        ProbeResult result;
    } cases[] = {{ERROR_ACCESS_DENIED, ProbeResult::AccessDenied},
                 {ERROR_FILE_NOT_FOUND, ProbeResult::NotFound},
                 {ERROR_PATH_NOT_FOUND, ProbeResult::OtherError},
                 {ERROR_SHARING_VIOLATION, ProbeResult::OtherError},
                 {ERROR_GEN_FAILURE, ProbeResult::OtherError},
                 {ERROR_SEM_TIMEOUT, ProbeResult::OtherError},
                 {ERROR_SUCCESS, ProbeResult::OtherError}};
    for (const auto& c : cases)
        EXPECT_EQ(probeResultForError(c.error), c.result) << "error " << c.error;
}

TEST(WinPortProbe, AMissingPortIsNotFound) {
    SystemPortProbe probe;
    EXPECT_EQ(probe.probe(kMissingPort), ProbeResult::NotFound);
}

TEST(Win32SerialPort, AMissingPortIsAnInvalidNumberAndEveryOtherRefusalAFailedOpen) {
    const struct {
        DWORD error;
        std::int32_t number;
    } cases[] = {{ERROR_FILE_NOT_FOUND, err::InvalidPortNumber},
                 {ERROR_PATH_NOT_FOUND, err::InvalidPortNumber},
                 {ERROR_ACCESS_DENIED, err::PortOpenFailed},
                 {ERROR_SHARING_VIOLATION, err::PortOpenFailed},
                 {ERROR_GEN_FAILURE, err::PortOpenFailed},
                 {ERROR_SEM_TIMEOUT, err::PortOpenFailed}};
    for (const auto& c : cases)
        EXPECT_EQ(portOpenErrorNumber(c.error), c.number) << "error " << c.error;

    // The real open of a port that does not exist.
    Win32SerialPort port;
    try {
        openPort(port, kMissingPort);
        ADD_FAILURE() << "opened COM" << kMissingPort;
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, err::InvalidPortNumber);
        EXPECT_EQ(e.LastDllError, static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.commPort(), kMissingPort);
}

TEST(Win32SerialPort, RefusesValuesItCannotApply) {
    Win32SerialPort port;
    for (const char* bad : {"", "38400", "fast,N,8,1", "38400,X,8,1", "38400,N,9,1", "38400,N,8,3",
                            "0,N,8,1", "-9600,N,8,1", "38400,N,8,1,1"})
        EXPECT_EQ(errorOf([&] { port.setSettings(bad); }), 380) << bad;
    for (const char* good : {"38400,N,8,1", "9600,e,7,2", "1200,O,5,1.5", " 38400 , N , 8 , 1 "})
        EXPECT_EQ(errorOf([&] { port.setSettings(good); }), 0) << good;
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

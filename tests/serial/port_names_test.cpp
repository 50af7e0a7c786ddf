// Which device stands for COMn, and the names of ports as the user reads them.

#include <gtest/gtest.h>

#include <string>

#include "serial/port_names.h"
#include "tests/support/scoped_env.h"

namespace vigie {
namespace {

class PortNames : public ::testing::Test {
  protected:
    test::ScopedEnv env_;
};

TEST_F(PortNames, FollowTheSystemsDeviceFamilies) {
    env_.unset("VIGIE_COM_DIR");
    const std::pair<int, const char*> table[] = {{1, "/dev/ttyS0"},
                                                 {4, "/dev/ttyS3"},
                                                 {5, "/dev/ttyUSB0"},
                                                 {8, "/dev/ttyUSB3"},
                                                 {9, "/dev/ttyACM0"},
                                                 {12, "/dev/ttyACM3"},
                                                 {13, "/dev/ttyS4"},
                                                 {99, "/dev/ttyS90"},
                                                 {100, ""},
                                                 {103, ""},
                                                 {104, "/dev/ttyUSB4"},
                                                 {115, "/dev/ttyUSB15"},
                                                 {199, "/dev/ttyUSB99"},
                                                 {200, ""},
                                                 {203, ""},
                                                 {204, "/dev/ttyACM4"},
                                                 {255, "/dev/ttyACM55"},
                                                 {256, ""},
                                                 {0, ""},
                                                 {-1, ""}};
    for (const auto& [n, path] : table)
        EXPECT_EQ(portDevicePath(n), path) << "COM" << n;
}

TEST_F(PortNames, EachDeviceKeepsOneNumberBothWays) {
    int devices = 0;
    for (int n = 1; n <= kHighestPort; ++n) {
        const std::string name = portDeviceName(n);
        if (name.empty())
            continue;
        ++devices;
        EXPECT_EQ(portNumberOfDevice(name), n) << name;
    }
    EXPECT_EQ(devices, kHighestPort - 8);  // COM100-103 and COM200-203 have none
    const std::pair<const char*, int> others[] = {
        {"ttyS91", 0},   {"ttyUSB100", 0}, {"ttyACM56", 0}, {"ttyUSB", 0}, {"ttyUSB04", 0},
        {"ttyUSB4a", 0}, {"ttyAMA0", 0},   {"pts/3", 0},    {"ttyS00", 0}, {"ttyACM0", 9}};
    for (const auto& [name, n] : others)
        EXPECT_EQ(portNumberOfDevice(name), n) << name;
}

TEST_F(PortNames, ComeFromTheComFolderWhenOneIsSet) {
    env_.set("VIGIE_COM_DIR", "/tmp/k7 ports");
    EXPECT_EQ(portDevicePath(1), "/tmp/k7 ports/COM1");
    EXPECT_EQ(portDevicePath(12), "/tmp/k7 ports/COM12");
    EXPECT_EQ(portDevicePath(100), "/tmp/k7 ports/COM100");
    EXPECT_EQ(portDevicePath(255), "/tmp/k7 ports/COM255");
    EXPECT_EQ(portDevicePath(256), "");
    EXPECT_EQ(portDevicePath(0), "");
    env_.set("VIGIE_COM_DIR", "/tmp/ports/");
    EXPECT_EQ(portDevicePath(3), "/tmp/ports/COM3");
    env_.set("VIGIE_COM_DIR", "");  // set but empty: the system's devices
    EXPECT_EQ(portDevicePath(5), "/dev/ttyUSB0");
}

TEST(WindowsPortNames, ReadAsTheirNumbers) {
    const std::pair<const char*, int> table[] = {
        {"COM1", 1},  {"COM14", 14}, {"com255", 255}, {"Com7", 7},  {"COM256", 0},
        {"COM0", 0},  {"COM", 0},    {"COM014", 0},   {"COM1a", 0}, {"LPT1", 0},
        {"COM 3", 0}, {"", 0},       {"CNCA0", 0},    {"COM-1", 0}};
    for (const auto& [name, n] : table)
        EXPECT_EQ(portNumberOfName(name), n) << name;
}

TEST(PortDescriptions, NameTheDeviceOnce) {
    struct Case {
        const char* name;
        const char* device;
        const char* shown;
    };
    const Case table[] = {
        {"USB-SERIAL CH340 (COM14)", "COM14", "USB-SERIAL CH340 (COM14)"},
        {"Communications Port", "COM1", "Communications Port (COM1)"},
        {"USB-SERIAL CH340 (COM14)", "COM4", "USB-SERIAL CH340 (COM14) (COM4)"},
        {"", "COM3", "COM3"},
        {"FTDI FT232R USB UART", "/dev/ttyUSB4", "FTDI FT232R USB UART (/dev/ttyUSB4)"},
        {"", "/dev/ttyS0", "/dev/ttyS0"},
    };
    for (const Case& c : table)
        EXPECT_EQ(describePort(c.name, c.device), c.shown) << c.name << " / " << c.device;
}

}  // namespace
}  // namespace vigie

// Which device stands for COMn.

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
                                                 {13, ""},
                                                 {0, ""},
                                                 {-1, ""}};
    for (const auto& [n, path] : table)
        EXPECT_EQ(portDevicePath(n), path) << "COM" << n;
}

TEST_F(PortNames, ComeFromTheComFolderWhenOneIsSet) {
    env_.set("VIGIE_COM_DIR", "/tmp/k7 ports");
    EXPECT_EQ(portDevicePath(1), "/tmp/k7 ports/COM1");
    EXPECT_EQ(portDevicePath(12), "/tmp/k7 ports/COM12");
    EXPECT_EQ(portDevicePath(40), "/tmp/k7 ports/COM40");
    EXPECT_EQ(portDevicePath(0), "");
    env_.set("VIGIE_COM_DIR", "/tmp/ports/");
    EXPECT_EQ(portDevicePath(3), "/tmp/ports/COM3");
    env_.set("VIGIE_COM_DIR", "");  // set but empty: the system's devices
    EXPECT_EQ(portDevicePath(5), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace vigie

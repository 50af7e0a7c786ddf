// Which device stands for COMn.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "serial/port_names.h"

namespace vigie {
namespace {

class PortNames : public ::testing::Test {
  protected:
    PortNames() {
        if (const char* old = std::getenv("VIGIE_COM_DIR"))
            saved_ = old, had_ = true;
    }
    ~PortNames() override {
        if (had_)
            setenv("VIGIE_COM_DIR", saved_.c_str(), 1);
        else
            unsetenv("VIGIE_COM_DIR");
    }
    std::string saved_;
    bool had_ = false;
};

TEST_F(PortNames, FollowTheSystemsDeviceFamilies) {
    unsetenv("VIGIE_COM_DIR");
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
    setenv("VIGIE_COM_DIR", "/tmp/k7 ports", 1);
    EXPECT_EQ(portDevicePath(1), "/tmp/k7 ports/COM1");
    EXPECT_EQ(portDevicePath(12), "/tmp/k7 ports/COM12");
    EXPECT_EQ(portDevicePath(40), "/tmp/k7 ports/COM40");
    EXPECT_EQ(portDevicePath(0), "");
    setenv("VIGIE_COM_DIR", "/tmp/ports/", 1);
    EXPECT_EQ(portDevicePath(3), "/tmp/ports/COM3");
    setenv("VIGIE_COM_DIR", "", 1);  // set but empty: the system's devices
    EXPECT_EQ(portDevicePath(5), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace vigie

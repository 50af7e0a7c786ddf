#include "serial/port_names.h"

#include <cstdlib>

namespace vigie {
namespace {

struct Family {
    std::string_view prefix;
    int firstLow;   // COMn of device 0
    int firstHigh;  // COMn of device 4; those above follow one by one
};

// The first four devices of each family keep the numbers they always had; the others are placed
// so that one family never reaches into the next.
constexpr Family kFamilies[] = {
    {"ttyS", 1, 13},
    {"ttyUSB", 5, 104},
    {"ttyACM", 9, 204},
};
constexpr int kLowDevices = 4;
constexpr int kHighLimits[] = {99, 199, kHighestPort};  // the last COMn of each family

// The decimal number of text made only of digits, without a leading zero (but "0"); -1 otherwise.
int plainNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits.front() == '0'))
        return -1;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::string portDeviceName(int portNumber) {
    for (std::size_t f = 0; f < std::size(kFamilies); ++f) {
        const Family& family = kFamilies[f];
        int device = -1;
        if (portNumber >= family.firstLow && portNumber < family.firstLow + kLowDevices)
            device = portNumber - family.firstLow;
        else if (portNumber >= family.firstHigh && portNumber <= kHighLimits[f])
            device = portNumber - family.firstHigh + kLowDevices;
        if (device >= 0)
            return std::string(family.prefix) + std::to_string(device);
    }
    return "";
}

std::string portDevicePath(int portNumber) {
    if (portNumber < 1 || portNumber > kHighestPort)
        return "";
#ifdef _WIN32
    return "COM" + std::to_string(portNumber);
#else
    if (const char* dir = std::getenv("VIGIE_COM_DIR"); dir && *dir) {
        std::string path = dir;
        if (path.back() != '/')
            path += '/';
        return path + "COM" + std::to_string(portNumber);
    }
    const std::string name = portDeviceName(portNumber);
    return name.empty() ? "" : "/dev/" + name;
#endif
}

int portNumberOfDevice(std::string_view deviceName) {
    for (std::size_t f = 0; f < std::size(kFamilies); ++f) {
        const Family& family = kFamilies[f];
        if (deviceName.substr(0, family.prefix.size()) != family.prefix)
            continue;
        const int device = plainNumber(deviceName.substr(family.prefix.size()));
        if (device < 0)
            return 0;
        const int port = device < kLowDevices ? family.firstLow + device
                                              : family.firstHigh + device - kLowDevices;
        return port <= kHighLimits[f] ? port : 0;
    }
    return 0;
}

int portNumberOfName(std::string_view portName) {
    if (portName.size() < 4)
        return 0;
    for (std::size_t i = 0; i < 3; ++i)
        if ((portName[i] | 0x20) != "com"[i])
            return 0;
    const int n = plainNumber(portName.substr(3));
    return n >= 1 && n <= kHighestPort ? n : 0;
}

std::string describePort(std::string_view name, std::string_view device) {
    if (name.empty())
        return std::string(device);
    const std::string shown = "(" + std::string(device) + ")";
    if (name.find(shown) != std::string_view::npos)
        return std::string(name);
    return std::string(name) + " " + shown;
}

}  // namespace vigie

#include "serial/port_names.h"

#include <cstdlib>

namespace vigie {

std::string portDevicePath(int portNumber) {
    if (portNumber < 1)
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
    static constexpr const char* kFamilies[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    const int index = portNumber - 1;
    if (index >= 12)
        return "";
    return kFamilies[index / 4] + std::to_string(index % 4);
#endif
}

}  // namespace vigie

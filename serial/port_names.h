#pragma once
// Which device of the system stands for port COMn.
//
// When VIGIE_COM_DIR is set, COMn is the entry "COMn" in that folder (usually a symbolic link to
// the real device or to a pseudo-terminal). Otherwise:
//   COM1 - COM4    /dev/ttyS0 - /dev/ttyS3      on-board RS-232 ports
//   COM5 - COM8    /dev/ttyUSB0 - /dev/ttyUSB3  USB-to-RS-232 adapters
//   COM9 - COM12   /dev/ttyACM0 - /dev/ttyACM3  USB modem-class devices
// On Windows the name is COMn itself.

#include <string>

namespace vigie {

// The device path of COMn; "" when n stands for no device.
std::string portDevicePath(int portNumber);

}  // namespace vigie

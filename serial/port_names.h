#pragma once
// Which device of the system stands for port COMn, and the other way round.
//
// When VIGIE_COM_DIR is set, COMn is the entry "COMn" in that folder (usually a symbolic link to
// the real device or to a pseudo-terminal), n from 1 to 255. Otherwise each device keeps one
// number, whatever else is plugged in:
//   COM1   - COM4    /dev/ttyS0   - /dev/ttyS3     on-board RS-232 ports
//   COM5   - COM8    /dev/ttyUSB0 - /dev/ttyUSB3   USB-to-RS-232 adapters
//   COM9   - COM12   /dev/ttyACM0 - /dev/ttyACM3   USB modem-class devices
//   COM13  - COM99   /dev/ttyS4   - /dev/ttyS90    the device's number plus 9
//   COM104 - COM199  /dev/ttyUSB4 - /dev/ttyUSB99  100 plus the device's number
//   COM204 - COM255  /dev/ttyACM4 - /dev/ttyACM55  200 plus the device's number
// COM100 - COM103 and COM200 - COM203 stand for no device: theirs are COM5 - COM12.
// On Windows the name is COMn itself.

#include <string>
#include <string_view>

namespace vigie {

// Windows numbers its ports up to COM255; so does the program, everywhere.
constexpr int kHighestPort = 255;

// The device path of COMn; "" when n stands for no device.
std::string portDevicePath(int portNumber);
// The device's name without its folder ("ttyUSB4" for COM104); "" when n stands for none. Only the
// system's own families, whatever VIGIE_COM_DIR says.
std::string portDeviceName(int portNumber);
// The port number of a device of those families ("ttyUSB4" gives 104); 0 for any other name.
int portNumberOfDevice(std::string_view deviceName);
// The number of a Windows port name, "COM14" (in any case) giving 14; 0 when the name is not one.
int portNumberOfName(std::string_view portName);
// What the user reads for a port: the name the system gives it, then its device in parentheses
// unless the name already shows it ("USB-SERIAL CH340 (COM14)"); the device alone when there is
// no name.
std::string describePort(std::string_view name, std::string_view device);

}  // namespace vigie

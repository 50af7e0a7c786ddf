#pragma once
// A K7 played in memory for the session's unit tests: it answers over a MemorySerialPort with
// virtual-time delays, and can be told to fall silent at any point of the dialogue.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/memory_serial_port.h"
#include "tests/support/virtual_platform.h"

namespace vigie::test {

class FakeK7 {
  public:
    enum class Step { WakeUp, UserName, Password, File, Get, Data, Done };

    FakeK7(VirtualPlatform& platform, MemorySerialPort& port);

    std::string name = "abc1234";
    std::int64_t replyDelay = 300;  // ms between a prompt and the device's answer
    bool silent = false;            // never answers anything
    bool sendUserName = true;       // false: answers the wake-up, then never sends T#FTPUN
    Step stopAfter = Step::Done;    // sends this step's request, then falls silent
    std::int64_t endDelay = 1000;   // "T#END" this long after the end markers; -1: never
    bool endBeforeStage8 = false;   // "T#END" right after the transfer starts
    int vanishAfterLines = -1;      // the port goes away after this many data lines, once

    // What the device received after "150": the data lines with their CR LF, then the markers.
    std::string received;
    std::vector<std::int64_t> wakeUpTimes;  // virtual ticks of every wake-up received
    std::vector<std::int64_t> dataTimes;    // virtual ticks of every write after "150"
    int acks = 0;
    Step step = Step::WakeUp;

  private:
    void onWrite(const std::string& bytes);
    void send(const std::string& bytes);
    void sendRequest(Step next, const std::string& text);

    VirtualPlatform& platform_;
    MemorySerialPort& port_;
};

}  // namespace vigie::test

#include "tests/support/fake_k7.h"

namespace vigie::test {

FakeK7::FakeK7(VirtualPlatform& platform, MemorySerialPort& port)
    : platform_(platform), port_(port) {
    port_.onWrite = [this](const std::string& bytes) { onWrite(bytes); };
}

void FakeK7::send(const std::string& bytes) {
    platform_.after(replyDelay, [this, bytes] {
        if (port_.portOpen())
            port_.deviceSends(bytes);
    });
}

void FakeK7::sendRequest(Step next, const std::string& text) {
    step = next;
    send(text + "\r");
}

void FakeK7::onWrite(const std::string& bytes) {
    if ((step == Step::Data || step == Step::Done) && bytes == "\x02\x10\x03") {
        step = Step::WakeUp;  // a new session: the program woke the device again
        received.clear();
        dataTimes.clear();
    }
    if (step == Step::Data || step == Step::Done) {
        received += bytes;
        dataTimes.push_back(platform_.tick());
        if (vanishAfterLines >= 0 && bytes.size() >= 2 &&
            bytes.compare(bytes.size() - 2, 2, "\r\n") == 0 && --vanishAfterLines < 0)
            port_.vanish();
        if (step == Step::Data && received.size() >= 10 &&
            received.compare(received.size() - 10, 10, "\x03\r\n\r\n368\r\n") == 0) {
            step = Step::Done;
            if (endDelay >= 0 && !silent)
                platform_.after(endDelay, [this] { port_.deviceSends("T#END\r\n"); });
        }
        return;
    }
    if (bytes == "\x02\x10\x03")
        wakeUpTimes.push_back(platform_.tick());
    if (bytes == "\r\n0\r\n")
        ++acks;
    if (silent)
        return;
    const bool stopped = [this] {
        return stopAfter != Step::Done && static_cast<int>(step) >= static_cast<int>(stopAfter);
    }();
    if (stopped)
        return;
    if (step == Step::WakeUp && bytes == "\x02\x10\x03") {
        send("\x01\x02\x03");
        if (sendUserName)
            sendRequest(Step::UserName, "T#FTPUN" + name);
        else
            step = Step::UserName;
    } else if (step == Step::UserName && bytes == "\r\n0\r\n") {
        sendRequest(Step::Password, "T#FTPPW" + name);
    } else if (step == Step::Password && bytes == "\r\n0\r\n") {
        sendRequest(Step::File, "T#FTPFILEP/radars");
    } else if (step == Step::File && bytes == "\r\n0\r\n") {
        sendRequest(Step::Get, "T#FTPGET");
    } else if (step == Step::Get && bytes == "\r\n150\r\n") {
        step = Step::Data;
        if (endBeforeStage8)
            port_.deviceSends("T#END\r\n");
    }
}

}  // namespace vigie::test

#pragma once
// What every real-time run of the whole program sets up: a folder with the FTP server's files, the
// ports' folder and the settings; the environment that sends the program there; the FTP server
// and the K7 simulator as helper processes; and the window as every ending must leave it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QPushButton>
#include <QThread>
#include <filesystem>
#include <memory>
#include <string>

#include "app/qt/application.h"
#include "tests/support/form_fixture.h"
#include "tests/support/real_program_helpers.h"
#include "tests/support/scoped_env.h"

namespace vigie::test {

// 61 lines, about 2 KB: the download takes one full block and a part, the sending about 1.5 s.
// Bytes above ASCII in the names; a lone LF (which ends a line too), and no end on the last line.
inline std::string sampleDatabase() {
    std::string text;
    for (int i = 1; i <= 60; ++i)
        text += std::to_string(i) + ",45.1234" + std::to_string(i) + ",FIXE,50,Pont-L\xE9ger\r\n";
    return text +
           "61,0,ZONE,30,l\xE2"
           "che\nsans fin";
}

// The sample database as the device receives it: every line with CR LF (a lone LF ended a line
// as well, and the last line gets one).
inline std::string sampleDatabaseAsSent() {
    std::string text;
    for (int i = 1; i <= 60; ++i)
        text += std::to_string(i) + ",45.1234" + std::to_string(i) + ",FIXE,50,Pont-L\xE9ger\r\n";
    return text +
           "61,0,ZONE,30,l\xE2"
           "che\r\nsans fin\r\n";
}

class RealProgramTest : public ::testing::Test {
  protected:
    RealProgramTest() {
        std::filesystem::create_directories(dir_.path() / "com");
        writeFile(dir_.path() / "server" / "LocationsMid.txt", sampleDatabase());
        env_.set("XDG_CONFIG_HOME", (dir_.path() / "config").string());
        env_.set("XDG_STATE_HOME", (dir_.path() / "state").string());
        env_.set("VIGIE_COM_DIR", (dir_.path() / "com").string());
        env_.unset("VIGIE_UPDATE_SERVER");
        std::error_code ec;
        std::filesystem::remove(workFile(), ec);
    }
    ~RealProgramTest() override {
        // A session stopped between the download and the wiping leaves the file, as it should.
        std::error_code ec;
        std::filesystem::remove(workFile(), ec);
    }

    static std::filesystem::path binDir() {
        return QCoreApplication::applicationDirPath().toStdString();
    }
    static std::filesystem::path workFile() { return binDir() / "temp.hd"; }
    // The device's port: the simulator's pseudo-terminal is linked as COMn.
    std::filesystem::path comLink() const {
        return dir_.path() / "com" / ("COM" + std::to_string(comPort_));
    }

    struct Server {
        std::unique_ptr<Peer> peer;
        std::string address;  // host:port
        std::filesystem::path logFile;
        std::string log() const { return readFile(logFile); }
    };

    // An FTP server with the device's usual login, or one given as name and password bytes; the
    // program is sent to it.
    Server startServer(const QString& fault = "", const std::string& user = "AB12CD3",
                       const std::string& password = "3DC21BA") {
        const auto hex = [](const std::string& bytes) {
            return QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toHex());
        };
        Server server;
        server.logFile = dir_.path() / ("ftp" + std::to_string(++servers_) + ".log");
        QStringList args{QString::fromStdString(BYTES_SERVER_SCRIPT),
                         QString::fromStdString(FTP_SERVER_SCRIPT),
                         "--root",
                         QString::fromStdString((dir_.path() / "server").string()),
                         "--user-hex",
                         hex(user) + ":" + hex(password),
                         "--log",
                         QString::fromStdString(server.logFile.string())};
        if (!fault.isEmpty())
            args << "--fault" << fault;
        server.peer = std::make_unique<Peer>("/usr/bin/python3", args);
        const std::string port = server.peer->waitForLine("PORT ");
        EXPECT_FALSE(port.empty()) << "the FTP server did not start";
        server.address = "127.0.0.1:" + port.substr(std::min<std::size_t>(5, port.size()));
        useServer(server);
        return server;
    }
    void useServer(const Server& server) { env_.set("VIGIE_UPDATE_SERVER", server.address); }

    // The K7 simulator; its name may hold any byte but NUL, passed through the shell since a
    // process argument cannot carry bytes that are not text.
    std::unique_ptr<Peer> startDevice(QStringList extra, const std::string& name = "ab12cd3") {
        QString octal;
        for (unsigned char c : name)
            octal += QStringLiteral("\\%1").arg(c, 3, 8, QLatin1Char('0'));
        QStringList args{"-c",
                         "exec \"$0\" \"$@\" --name \"$(printf '" + octal + "')\"",
                         QString::fromStdString((binDir() / "k7sim").string()),
                         "--link",
                         QString::fromStdString(comLink().string()),
                         "--out",
                         QString::fromStdString((dir_.path() / "received").string())};
        auto device = std::make_unique<Peer>("/bin/sh", args + extra);
        for (int i = 0; i < 100 && !std::filesystem::exists(comLink()); ++i)
            QThread::msleep(50);
        EXPECT_TRUE(std::filesystem::exists(comLink())) << "the simulator did not start";
        return device;
    }

    // What reached the device after the transfer start; the simulator writes it when it stops.
    std::string receivedAfterStop(std::unique_ptr<Peer>& device) {
        device.reset();
        return readFile(dir_.path() / "received");
    }

    static void startProgram(Application& app) {
        ASSERT_TRUE(app.start());
        ASSERT_EQ(app.form.portList.text(), " 1");
    }

    // Presses Start Update and returns once the session is over.
    static void runUpdate(Application& app) {
        auto* go = app.window.goButton();
        ASSERT_TRUE(go->isEnabled());
        go->click();
        app.platform.sync();
    }

    // The window as every ending leaves it, on the screen as in its model.
    static void expectIdle(Application& app) {
        EXPECT_TRUE(windowIsIdle(app.form));
        EXPECT_TRUE(app.window.goButton()->isEnabled());
    }

    TempDir dir_;
    ScopedEnv env_;
    int servers_ = 0;
    int comPort_ = 1;
};

}  // namespace vigie::test

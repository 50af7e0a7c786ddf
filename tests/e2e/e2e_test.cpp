// Whole updates through the real program: the Qt window on the offscreen platform, Qt SerialPort on
// a pseudo-terminal played by the K7 simulator, and libcurl against a real FTP server.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <filesystem>
#include <fstream>

#include "app/qt/application.h"
#include "tests/support/form_fixture.h"
#include "tests/support/real_program_helpers.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

std::string sampleDatabase() {
    std::string text;
    for (int i = 1; i <= 60; ++i)
        text += std::to_string(i) + ",45.1234" + std::to_string(i) + ",FIXE,50,Pont-L\xE9ger\r\n";
    return text +
           "61,0,ZONE,30,l\xE2"
           "che\nsans fin";  // a lone LF ends a line too; no end on the last line
}

class EndToEndTest : public ::testing::Test {
  protected:
    EndToEndTest() {
        fs::create_directories(dir_.path() / "com");
        fs::create_directories(dir_.path() / "server");
        writeFile(dir_.path() / "server" / "LocationsMid.txt", sampleDatabase());
        setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
        setenv("VIGIE_COM_DIR", (dir_.path() / "com").c_str(), 1);
        fs::remove(workFile());
    }
    ~EndToEndTest() override {
        unsetenv("VIGIE_COM_DIR");
        unsetenv("VIGIE_UPDATE_SERVER");
    }

    static fs::path binDir() { return QCoreApplication::applicationDirPath().toStdString(); }
    static fs::path workFile() { return binDir() / "temp.hd"; }

    std::unique_ptr<Peer> startServer() {
        auto server = std::make_unique<Peer>(
            "/usr/bin/python3",
            QStringList{QString::fromStdString(FTP_SERVER_SCRIPT), "--root",
                        QString::fromStdString((dir_.path() / "server").string()), "--user",
                        "AB12CD3:3DC21BA", "--log",
                        QString::fromStdString((dir_.path() / "ftp.log").string())});
        const std::string port = server->waitForLine("PORT ");
        EXPECT_FALSE(port.empty()) << "the FTP server did not start";
        setenv("VIGIE_UPDATE_SERVER", ("127.0.0.1:" + port.substr(5)).c_str(), 1);
        return server;
    }

    std::unique_ptr<Peer> startDevice(QStringList extra) {
        QStringList args{"--link", QString::fromStdString((dir_.path() / "com" / "COM1").string()),
                         "--name", "ab12cd3",
                         "--out",  QString::fromStdString((dir_.path() / "received").string())};
        auto device = std::make_unique<Peer>(QString::fromStdString((binDir() / "k7sim").string()),
                                             args + extra);
        for (int i = 0; i < 100 && !fs::exists(dir_.path() / "com" / "COM1"); ++i)
            QThread::msleep(50);
        EXPECT_TRUE(fs::exists(dir_.path() / "com" / "COM1")) << "the simulator did not start";
        return device;
    }

    // Starts the program, presses Start Update and returns once the session is over.
    void runUpdate(Application& app) {
        ASSERT_TRUE(app.start());
        ASSERT_EQ(app.form.cboPort.text(), " 1");
        app.window.goButton()->click();
        app.platform.sync();
    }

    TempDir dir_;
};

TEST_F(EndToEndTest, WholeUpdateReachesTheDevice) {
    auto server = startServer();
    auto device = startDevice({"--end-delay", "1"});
    ModalWatcher watcher;
    Application app;
    runUpdate(app);

    EXPECT_EQ(app.form.lblStatus.caption,
              "K7 mis à jour.\r\nVous pouvez maintenant fermer ce programme et déconnecter le K7 "
              "de votre ordinateur.");
    EXPECT_EQ(app.form.prgb1.value, 100);
    EXPECT_TRUE(watcher.boxes.empty()) << watcher.boxes[0].text;
    EXPECT_TRUE(app.form.cmdGo.enabled);
    EXPECT_FALSE(app.port.portOpen());

    // Every line of the file with CR LF (a lone LF ended a line as well), then the end markers.
    std::string expected;
    for (int i = 1; i <= 60; ++i)
        expected +=
            std::to_string(i) + ",45.1234" + std::to_string(i) + ",FIXE,50,Pont-L\xE9ger\r\n";
    expected +=
        "61,0,ZONE,30,l\xE2"
        "che\r\nsans fin\r\n";
    expected += "\x03\r\n\r\n368\r\n";
    EXPECT_EQ(readFile(dir_.path() / "received"), expected);

    const std::string log = readFile(dir_.path() / "ftp.log");
    EXPECT_NE(log.find("USER AB12CD3"), std::string::npos) << log;
    EXPECT_NE(log.find("PASS 3DC21BA"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(workFile()));
}

TEST_F(EndToEndTest, DeviceVanishingDuringTheDataShowsTheSendingBox) {
    auto server = startServer();
    auto device = startDevice({"--vanish-after", "20"});
    ModalWatcher watcher;
    Application app;
    runUpdate(app);

    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_EQ(watcher.boxes[0].title, "La mise à jour du K7 a échoué");
    EXPECT_EQ(watcher.boxes[0].text.rfind(
                  "Une erreur s'est produite pendant l'envoi du fichier vers le K7 (", 0),
              0u)
        << watcher.boxes[0].text;
    EXPECT_EQ(app.form.lblStatus.caption, "La mise à jour du K7 a échoué.");
    EXPECT_EQ(app.form.prgb1.value, 0);
    EXPECT_TRUE(app.form.cmdGo.enabled);
    EXPECT_FALSE(app.form.cmdClose.enabled);
    EXPECT_FALSE(app.port.portOpen());
}

}  // namespace
}  // namespace vigie::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#pragma once
// A main window on doubles: virtual time, an in-memory port, a scripted probe, its own program
// folder and settings folder under a fresh temporary directory. On Linux the settings folder is
// the fixture's own (XDG_CONFIG_HOME). On Windows it is "Temp\" at the root of the program's
// drive, so the program lives on the test drive (VIGIE_TEST_DRIVE, mapped by the test run) and
// the tests that use it take turns on its one settings folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "core/file_path.h"
#include "tests/support/files.h"
#include "tests/support/memory_serial_port.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_platform.h"

namespace vigie::test {

// The window as every ending of an update leaves it: port closed, timers off and the dots gone,
// Close disabled, Start Update and the choices enabled, no session running.
::testing::AssertionResult windowIsIdle(MainForm& form);

class FormFixture : public ::testing::Test {
  protected:
    FormFixture();
    ~FormFixture() override;

    // Builds the form; the FTP layer is optional for tests that never connect.
    MainForm& makeForm(std::unique_ptr<ftp::FtpLayer> ftpLayer = nullptr);
    // The program's folder: named with letters of Western code pages and beyond them, as users'
    // folders are (C:\Users\Hélène\Téléchargements), so that every test of the form sees the
    // program cope with it.
    std::filesystem::path appDir() const {
        return dir_.path() / filePath("Téléchargements Łódź 日本") / "app";
    }
    // The same folder as the program sees it: UTF-8 text.
    std::string appPath() const { return pathText(appDir()); }
    // Linux: the folder that holds the settings folder; Windows: the settings folder itself.
    std::filesystem::path configDir() const;
    std::filesystem::path settingsFile() const;
    // The form's log of updates, in the fixture's folder on both systems.
    std::filesystem::path logFile() const {
        return dir_.path() / "state" / "vigie-k7" / "updates.log";
    }

    TempDir dir_;
    VirtualPlatform platform_;
    MemorySerialPort port_;
    FakeProbe probe_;
    std::unique_ptr<MainForm> form_;

  private:
    ScopedEnv env_;
};

}  // namespace vigie::test

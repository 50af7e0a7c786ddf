#pragma once
// A main window on doubles: virtual time, an in-memory port, a scripted probe, its own program
// folder and settings folder (XDG_CONFIG_HOME) under a fresh temporary directory.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/frm_main.h"
#include "tests/support/memory_serial_port.h"
#include "tests/support/virtual_platform.h"

namespace vigie::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

class FormFixture : public ::testing::Test {
  protected:
    FormFixture();
    ~FormFixture() override;

    // Builds the form; the FTP layer is optional for tests that never connect.
    FrmMain& makeForm(std::unique_ptr<ftp::FtpLayer> ftpLayer = nullptr);
    std::filesystem::path settingsFile() const { return configDir() / "vigie-k7" / "HD.ini"; }
    std::filesystem::path configDir() const { return dir_.path() / "config"; }
    std::filesystem::path appDir() const { return dir_.path() / "app"; }

    TempDir dir_;
    VirtualPlatform platform_;
    MemorySerialPort port_;
    FakeProbe probe_;
    std::unique_ptr<FrmMain> form_;

  private:
    std::string savedXdg_;
    bool hadXdg_ = false;
};

}  // namespace vigie::test

#include "tests/support/form_fixture.h"

#include <stdexcept>

namespace vigie::test {

::testing::AssertionResult windowIsIdle(MainForm& form) {
    std::string busy;
    const auto check = [&busy](bool idle, const char* what) {
        if (!idle)
            busy += std::string(busy.empty() ? "" : ", ") + what;
    };
    check(!form.session().serialPort().portOpen(), "port open");
    check(form.startButton.enabled, "Start Update disabled");
    check(!form.closeButton.enabled, "Close enabled");
    check(form.portList.enabled, "port list disabled");
    check(form.databaseList.enabled, "file list disabled");
    check(!form.session().retryTimer.enabled(), "tmrCheck on");
    check(!form.session().savingTimer.enabled(), "tmrUserUpload on");
    check(!form.dotsTimer.enabled(), "tmrDots on");
    check(form.dotsLabel.caption.empty(), "dots shown");
    check(!form.sessionRunning(), "session running");
    if (busy.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the window is not idle: " << busy;
}

namespace {

std::filesystem::path fixtureParent() {
#ifdef _WIN32
    const char* drive = std::getenv("VIGIE_TEST_DRIVE");
    if (!drive || !*drive)
        throw std::runtime_error("VIGIE_TEST_DRIVE is not set: run the tests through ctest");
    return std::filesystem::path(std::string(drive) + "\\");
#else
    return std::filesystem::temp_directory_path();
#endif
}

}  // namespace

FormFixture::FormFixture() : dir_(fixtureParent()), platform_(appPath()) {
    probe_.clock = &platform_;
    std::filesystem::create_directories(appDir());
#ifdef _WIN32
    std::filesystem::remove_all(configDir());
#else
    env_.set("XDG_CONFIG_HOME", pathText(configDir()));
    env_.set("XDG_STATE_HOME", pathText(dir_.path() / "state"));
#endif
}

FormFixture::~FormFixture() {
    form_.reset();
#ifdef _WIN32
    std::error_code ec;
    std::filesystem::permissions(settingsFile(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(configDir(), ec);
#endif
}

std::filesystem::path FormFixture::configDir() const {
#ifdef _WIN32
    return appDir().root_path() / "Temp";
#else
    return dir_.path() / "config";
#endif
}

std::filesystem::path FormFixture::settingsFile() const {
#ifdef _WIN32
    return configDir() / "HD.ini";
#else
    return configDir() / "vigie-k7" / "HD.ini";
#endif
}

MainForm& FormFixture::makeForm(std::unique_ptr<ftp::FtpLayer> ftpLayer) {
    form_ = std::make_unique<MainForm>(platform_, port_, probe_, std::move(ftpLayer));
    form_->setUpdateLogPath(pathText(logFile()));
    platform_.attach(*form_);
    return *form_;
}

}  // namespace vigie::test

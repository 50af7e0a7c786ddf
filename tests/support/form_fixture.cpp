#include "tests/support/form_fixture.h"

#include <cstdlib>
#include <fstream>
#include <random>

namespace vigie::test {

TempDir::TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("vigie-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

FormFixture::FormFixture() : platform_((dir_.path() / "app").string()) {
    std::filesystem::create_directories(appDir());
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        hadXdg_ = true;
        savedXdg_ = old;
    }
    setenv("XDG_CONFIG_HOME", configDir().c_str(), 1);
}

FormFixture::~FormFixture() {
    form_.reset();
    if (hadXdg_)
        setenv("XDG_CONFIG_HOME", savedXdg_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

FrmMain& FormFixture::makeForm(std::unique_ptr<ftp::FtpLayer> ftpLayer) {
    form_ = std::make_unique<FrmMain>(platform_, port_, probe_, std::move(ftpLayer));
    platform_.attach(*form_);
    return *form_;
}

}  // namespace vigie::test

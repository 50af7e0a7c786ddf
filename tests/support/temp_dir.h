#pragma once
// A fresh folder for one test, removed with everything in it when the test ends. Its name is
// drawn at random, so that tests running at the same moment never share one, whatever their
// process numbers (under Wine those repeat from one Wine server to the next).

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace vigie::test {

class TempDir {
  public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
        std::random_device rd;
        path_ = parent / ("vigie-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace vigie::test

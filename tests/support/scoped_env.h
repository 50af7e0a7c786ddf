#pragma once
// Sets environment variables for the life of one test and puts back what was there before (the
// value, or the variable's absence), so that no test leaks its settings into the next.

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace vigie::test {

class ScopedEnv {
  public:
    ScopedEnv() = default;
    ScopedEnv(const std::string& name, const std::string& value) { set(name, value); }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                put(name, value->c_str());
            } else {
                put(name, nullptr);
            }
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void set(const std::string& name, const std::string& value) {
        remember(name);
        put(name, value.c_str());
    }
    void unset(const std::string& name) {
        remember(name);
        put(name, nullptr);
    }

  private:
    void remember(const std::string& name) {
        if (saved_.count(name) != 0) {
            return;
        }
        const char* old = std::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    // value nullptr removes the variable; so does an empty value on Windows, which keeps no empty
    // variables.
    static void put(const std::string& name, const char* value) {
#ifdef _WIN32
        _putenv_s(name.c_str(), value ? value : "");
#else
        if (value) {
            setenv(name.c_str(), value, 1);
        } else {
            unsetenv(name.c_str());
        }
#endif
    }

    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace vigie::test

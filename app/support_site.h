#pragma once
// The maker's support web site: its host is chosen when the program is built.

#include <string>

#include "app/deployment_hosts.h"

namespace vigie {

constexpr const char* SupportPagePath = "/telechargement.php";

inline std::string supportPage() {
    return std::string("https://") + SupportHost + SupportPagePath;
}

}  // namespace vigie

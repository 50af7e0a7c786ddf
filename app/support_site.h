#pragma once
// The maker's support web site. A reserved name until the real host is known.

namespace vigie {

constexpr const char* SupportHost = "www.vigie-k7.example";
constexpr const char* SupportPage = "https://www.vigie-k7.example/telechargement.php";

}  // namespace vigie

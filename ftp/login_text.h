#pragma once
// What may travel in a command of the FTP control connection. CR or LF in a user name, password
// or file name would end the command early and let the rest of the text reach the server as
// commands of its own; no control character belongs in these texts. Every layer checks the texts
// it puts into commands, and FtpClient refuses such a login before it asks its layer for one.

#include <algorithm>
#include <string>

namespace vigie::ftp {

inline bool hasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// A login no server can accept: it is refused as the server would refuse it (code 12014), so the
// window explains a refused login, not a network fault.
inline bool isSendableLogin(const std::string& user, const std::string& password) {
    return !hasControlCharacter(user) && !hasControlCharacter(password);
}

}  // namespace vigie::ftp

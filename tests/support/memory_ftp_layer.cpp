#include "tests/support/memory_ftp_layer.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "ftp/login_text.h"

namespace vigie::test {
namespace {

bool globMatch(const char* pattern, const char* name) {
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return globMatch(pattern + 1, name) || (*name && globMatch(pattern, name + 1));
    return *name && (*pattern == '?' || *pattern == *name) && globMatch(pattern + 1, name + 1);
}

}  // namespace

MemoryFtpLayer::Object* MemoryFtpLayer::find(ftp::Handle handle, Kind kind) {
    const auto it = objects_.find(handle);
    return it != objects_.end() && it->second.kind == kind ? &it->second : nullptr;
}

bool MemoryFtpLayer::connectionBusy(ftp::Handle connection) const {
    for (const auto& [h, o] : objects_)
        if (o.parent == connection && (o.kind == Kind::Read || o.kind == Kind::Write))
            return true;
    return false;
}

ftp::Handle MemoryFtpLayer::internetOpen(const std::string&) {
    objects_[next_] = Object{Kind::Session, 0, "", 0, ""};
    return next_++;
}

ftp::Handle MemoryFtpLayer::internetConnect(ftp::Handle session, const std::string&, int,
                                            const std::string& user, const std::string& password,
                                            bool) {
    ++connectCalls;
    if (!find(session, Kind::Session))
        return fail(ftp::code::InvalidHandle);
    if (!ftp::isSendableLogin(user, password))
        return fail(ftp::code::IncorrectPassword);
    if (yieldWhileWaiting && yield_) {
        yield_();
        if (!find(session, Kind::Session))
            return fail(ftp::code::OperationCancelled);
    }
    if (unreachable)
        return fail(ftp::code::CannotConnect);
    if (busyConnects > 0) {
        --busyConnects;
        log.push_back("BUSY");
        lastResponse_ = "421 Too many users, try again later.";
        return fail(ftp::code::ExtendedError);
    }
    log.push_back("CONNECT " + user);
    const auto it = users.find(user);
    if (it == users.end() || it->second != password) {
        lastResponse_ = "530 Authentication failed.";
        return fail(ftp::code::IncorrectPassword);
    }
    lastResponse_ = loginReply;
    objects_[next_] = Object{Kind::Connection, session, user, 0, ""};
    return next_++;
}

ftp::Handle MemoryFtpLayer::ftpFindFirstFile(ftp::Handle connection, const std::string& pattern,
                                             ftp::FindData& data) {
    if (!find(connection, Kind::Connection))
        return fail(ftp::code::InvalidHandle);
    if (connectionBusy(connection))
        return fail(12110);
    log.push_back("LIST " + pattern);
    for (const auto& [name, bytes] : files) {
        if (globMatch(pattern.c_str(), name.c_str())) {
            data.fileName = name;
            data.fileSizeLow = static_cast<std::uint32_t>(bytes.size());
            data.fileSizeHigh = 0;
            objects_[next_] = Object{Kind::Search, connection, name, 0, ""};
            return next_++;
        }
    }
    return fail(ftp::code::NoMoreFiles);
}

ftp::Handle MemoryFtpLayer::ftpOpenFile(ftp::Handle connection, const std::string& remote,
                                        ftp::Access access) {
    if (!find(connection, Kind::Connection))
        return fail(ftp::code::InvalidHandle);
    if (connectionBusy(connection))
        return fail(12110);
    const bool reading = access == ftp::Access::Read;
    log.push_back((reading ? "RETR " : "STOR ") + remote);
    if (failOpen || (reading && !files.count(remote))) {
        lastResponse_ = failOpen ? openFailReply : "550 " + remote + ": No such file.";
        return fail(ftp::code::ExtendedError);
    }
    objects_[next_] = Object{reading ? Kind::Read : Kind::Write, connection, remote, 0, ""};
    return next_++;
}

bool MemoryFtpLayer::internetReadFile(ftp::Handle transfer, char* buffer, std::uint32_t count,
                                      std::uint32_t& read) {
    read = 0;
    if (!find(transfer, Kind::Read))
        return fail(ftp::code::InvalidHandle);
    ++reads;
    if (yieldWhileWaiting && yield_) {
        yield_();
        if (!find(transfer, Kind::Read))
            return fail(ftp::code::OperationCancelled);
    }
    if (failReadAt != 0 && reads == failReadAt)
        return fail(ftp::code::ConnectionAborted);
    Object& o = *find(transfer, Kind::Read);
    const auto it = files.find(o.name);
    const std::string bytes = it == files.end() ? std::string() : it->second;
    const std::size_t n =
        o.offset < bytes.size() ? std::min<std::size_t>(count, bytes.size() - o.offset) : 0;
    std::memcpy(buffer, bytes.data() + o.offset, n);
    o.offset += n;
    read = static_cast<std::uint32_t>(n);
    return true;
}

bool MemoryFtpLayer::internetWriteFile(ftp::Handle transfer, const char* buffer,
                                       std::uint32_t count, std::uint32_t& written) {
    written = 0;
    Object* o = find(transfer, Kind::Write);
    if (!o)
        return fail(ftp::code::InvalidHandle);
    o->data.append(buffer, count);
    written = count;
    return true;
}

bool MemoryFtpLayer::ftpGetFile(ftp::Handle connection, const std::string& remote,
                                const std::string& local, bool failIfExists) {
    if (!find(connection, Kind::Connection))
        return fail(ftp::code::InvalidHandle);
    log.push_back("RETR " + remote);
    const auto it = files.find(remote);
    if (it == files.end()) {
        lastResponse_ = "550 " + remote + ": No such file.";
        return fail(ftp::code::ExtendedError);
    }
    if (failIfExists && std::ifstream(local))
        return fail(80);
    std::ofstream out(local, std::ios::binary | std::ios::trunc);
    out << it->second;
    return out ? true : fail(5);
}

bool MemoryFtpLayer::ftpPutFile(ftp::Handle connection, const std::string& local,
                                const std::string& remote) {
    if (!find(connection, Kind::Connection))
        return fail(ftp::code::InvalidHandle);
    std::ifstream in(local, std::ios::binary);
    if (!in)
        return fail(2);
    log.push_back("STOR " + remote);
    files[remote].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool MemoryFtpLayer::internetCloseHandle(ftp::Handle handle) {
    const auto it = objects_.find(handle);
    if (it == objects_.end())
        return handle == 0 ? false : fail(ftp::code::InvalidHandle);
    const Object o = it->second;
    objects_.erase(it);
    if (o.kind == Kind::Write)
        files[o.name] = o.data;
    if (o.kind == Kind::Session || o.kind == Kind::Connection) {
        std::vector<ftp::Handle> children;
        for (const auto& [h, child] : objects_)
            if (child.parent == handle)
                children.push_back(h);
        for (ftp::Handle h : children)
            internetCloseHandle(h);
    }
    return true;
}

std::string MemoryFtpLayer::formatMessage(std::uint32_t code) const {
    switch (code) {
        case ftp::code::IncorrectPassword:
            return "The login was refused.";
        case ftp::code::CannotConnect:
            return "The server cannot be reached.";
        case ftp::code::ConnectionAborted:
            return "The connection was cut off.";
        case ftp::code::OperationCancelled:
            return "The operation was cancelled.";
        case ftp::code::InvalidHandle:
            return "The handle is not valid.";
        default:
            return "";
    }
}

}  // namespace vigie::test

#include "ftp/curl_ftp_layer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>

#include "core/file_path.h"
#include "core/monotonic_clock.h"
#include "core/text.h"
#include "ftp/login_text.h"

namespace vigie::ftp {
namespace {

enum class Kind { Session, Connection, Transfer, Search };

constexpr std::uint32_t kFileNotFound = 2;
constexpr std::size_t kListingLimit = 16 * 1024 * 1024;

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string escape(CURL* easy, const std::string& text) {
    char* escaped = curl_easy_escape(easy, text.data(), static_cast<int>(text.size()));
    std::string result = escaped ? escaped : "";
    curl_free(escaped);
    return result;
}

// Escapes each segment of a folder path and keeps its slashes: the URL still names a folder.
std::string escapeSegments(CURL* easy, const std::string& folder) {
    std::string out;
    std::size_t start = 0;
    while (start < folder.size()) {
        const std::size_t slash = folder.find('/', start);
        const std::size_t end = slash == std::string::npos ? folder.size() : slash;
        out += escape(easy, folder.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        out += '/';
        start = slash + 1;
    }
    return out;
}

// '*' matches any run of characters, '?' exactly one; everything else stands for itself.
bool globMatch(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

bool validHostCharacter(char c, bool ipv6) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '.' || c == '-')
        return true;
    return ipv6 ? c == ':' : c == '_';
}

// "host", "host:port" or "[v6]:port" into the base URL of the connection; "" when malformed.
std::string baseUrl(const std::string& server, int defaultPort) {
    std::string host;
    std::string rest;
    bool ipv6 = false;
    if (!server.empty() && server.front() == '[') {
        const std::size_t close = server.find(']');
        if (close == std::string::npos)
            return "";
        host = server.substr(1, close - 1);
        rest = server.substr(close + 1);
        ipv6 = true;
    } else {
        const std::size_t colon = server.find(':');
        host = server.substr(0, colon);
        if (colon != std::string::npos)
            rest = server.substr(colon);
    }
    if (host.empty() ||
        !std::all_of(host.begin(), host.end(), [&](char c) { return validHostCharacter(c, ipv6); }))
        return "";
    long port = defaultPort > 0 ? defaultPort : 21;
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6)
            return "";
        const std::string digits = rest.substr(1);
        if (!std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return "";
        port = std::stol(digits);
        if (port < 1 || port > 65535)
            return "";
    }
    return "ftp://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}

}  // namespace

struct CurlFtpLayer::Object {
    Object(Kind k, Handle p) : kind(k), parent(p) {}
    virtual ~Object() = default;
    Kind kind;
    Handle parent;
};

// One operation on a connection: the logon, a search, a one-call transfer or an open remote file.
struct CurlFtpLayer::Transfer : Object {
    Transfer(Handle connection, Access a) : Object(Kind::Transfer, connection), access(a) {}

    Access access;
    // Download: received bytes the reader has not taken yet. Upload: bytes the server has not
    // taken yet. Bounded: the transfer pauses when the reader falls behind.
    std::string data;
    std::size_t pos = 0;
    std::size_t want = 0;  // bytes the reader is waiting for
    bool paused = false;
    bool inputDone = false;  // upload: the writer has finished
    bool started = false;    // the server has begun sending or accepting data
    bool done = false;
    CURLcode result = CURLE_OK;
    std::FILE* file = nullptr;  // one-call transfers go straight to or from a local file

    bool listing = false;  // a directory listing: kept whole, however long

    std::size_t available() const { return data.size() - pos; }
    void consume(std::size_t n) {
        pos += n;
        if (pos == data.size()) {
            data.clear();
            pos = 0;
        }
    }
};

struct CurlFtpLayer::Connection : Object {
    Connection(Handle session, CurlFtpLayer& l) : Object(Kind::Connection, session), layer(l) {}
    ~Connection() override {
        if (easy && multi) {
            if (added)
                curl_multi_remove_handle(multi, easy);
            // The QUIT that closes a usable control connection waits for its reply, without
            // yielding. libcurl takes that wait from the last handle added to the multi handle:
            // a short one, so that a server gone silent cannot freeze the window for long.
            curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, layer.options_.quitTimeoutSec);
            if (curl_multi_add_handle(multi, easy) == CURLM_OK)
                curl_multi_remove_handle(multi, easy);
        }
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
    }

    CurlFtpLayer& layer;
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    bool added = false;           // easy is in multi
    std::string base;             // "ftp://host:port/"
    Transfer* current = nullptr;  // the operation the callbacks feed
    Handle openFile = 0;          // the remote file open on this connection
};

template <class T>
std::shared_ptr<T> CurlFtpLayer::find(Handle handle) const {
    const auto it = objects_.find(handle);
    if (it == objects_.end())
        return nullptr;
    return std::dynamic_pointer_cast<T>(it->second);
}

CurlFtpLayer::CurlFtpLayer(CurlFtpOptions options) : options_(options) {
    globalInit();
}

CurlFtpLayer::~CurlFtpLayer() {
    // Connections first: their transfers must not outlive them.
    std::vector<Handle> sessions;
    for (const auto& [handle, object] : objects_)
        if (object->kind == Kind::Session)
            sessions.push_back(handle);
    for (Handle h : sessions)
        closeObject(h);
    objects_.clear();
}

Handle CurlFtpLayer::add(std::shared_ptr<Object> object) {
    const Handle handle = nextHandle_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

void CurlFtpLayer::closeObject(Handle handle) {
    const auto it = objects_.find(handle);
    if (it == objects_.end())
        return;
    std::shared_ptr<Object> object = it->second;
    objects_.erase(it);
    if (object->kind == Kind::Session || object->kind == Kind::Connection) {
        std::vector<Handle> children;
        for (const auto& [h, child] : objects_)
            if (child->parent == handle)
                children.push_back(h);
        for (Handle h : children)
            closeObject(h);
    }
    if (object->kind == Kind::Transfer) {
        if (auto connection = find<Connection>(object->parent)) {
            if (connection->current == object.get()) {
                // A transfer cut off before its end takes its connection with it; libcurl opens a
                // new one for the next operation.
                finishOperation(*connection);
                connection->current = nullptr;
            }
            if (connection->openFile == handle)
                connection->openFile = 0;
        }
    }
    if (object->kind == Kind::Connection)
        static_cast<Connection&>(*object).current = nullptr;
    // The object itself goes when its last user lets go: a call running under a yield may
    // still hold it.
}

std::shared_ptr<CurlFtpLayer::Connection> CurlFtpLayer::usableConnection(Handle handle) {
    auto connection = find<Connection>(handle);
    if (!connection) {
        fail(code::InvalidHandle);
        return nullptr;
    }
    if (connection->openFile != 0 || connection->current != nullptr) {
        fail(TransferInProgress);
        return nullptr;
    }
    return connection;
}

void CurlFtpLayer::startOperation(Connection& connection, const std::string& path) {
    lastReplyCode_ = 0;
    replyCode_ = 0;
    curl_easy_setopt(connection.easy, CURLOPT_URL, (connection.base + path).c_str());
    curl_multi_add_handle(connection.multi, connection.easy);
    connection.added = true;
}

void CurlFtpLayer::finishOperation(Connection& connection) {
    if (connection.added) {
        curl_multi_remove_handle(connection.multi, connection.easy);
        connection.added = false;
    }
    CURL* easy = connection.easy;
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
}

bool CurlFtpLayer::pump(Handle handle, Transfer& transfer, const std::function<bool()>& enough) {
    for (;;) {
        auto connection = find<Connection>(handle);
        if (!connection || connection->current != &transfer)
            return false;
        if (!transfer.done) {
            int running = 0;
            curl_multi_perform(connection->multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(connection->multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == connection->easy) {
                    transfer.done = true;
                    transfer.result = message->data.result;
                }
            }
            if (transfer.done)
                finishOperation(*connection);
        }
        if (transfer.done || enough())
            return true;
        curl_multi_poll(connection->multi, nullptr, 0, options_.pollIntervalMs, nullptr);
        connection.reset();  // the yield may close it
        try {
            if (yield_)
                yield_();
        } catch (...) {
            // An error raised by a handler that ran at the yield ends the operation: it must not
            // be left running on a transfer record that is about to go away.
            if (auto c = find<Connection>(handle); c && c->current == &transfer) {
                finishOperation(*c);
                c->current = nullptr;
            }
            throw;
        }
    }
}

std::size_t CurlFtpLayer::onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& connection = *static_cast<Connection*>(user);
    CurlFtpLayer& layer = connection.layer;
    const std::size_t length = size * count;
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    const bool coded = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                       std::isdigit(static_cast<unsigned char>(line[1])) &&
                       std::isdigit(static_cast<unsigned char>(line[2])) &&
                       (line[3] == ' ' || line[3] == '-');
    const int code = coded ? std::stoi(line.substr(0, 3)) : 0;
    bool complete = false;
    if (layer.replyCode_ == 0) {
        if (!coded)
            return length;  // not a reply of the server
        layer.replyLines_ = line;
        if (line[3] == '-')
            layer.replyCode_ = code;
        else
            complete = true;
    } else {
        layer.replyLines_ += "\r\n" + line;
        complete = coded && code == layer.replyCode_ && line[3] == ' ';
    }
    if (complete) {
        layer.replyCode_ = 0;
        // Older servers answer in their own 8-bit code page, Latin-1 as a rule: read as the
        // Western Windows code page, so that their accents reach the log.
        layer.lastResponse_ = utf8OrCp1252(layer.replyLines_);
        layer.lastReplyCode_ = code;
        // 125 and 150 open the data transfer of RETR and STOR.
        if ((code == 125 || code == 150) && connection.current)
            connection.current->started = true;
    }
    return length;
}

std::size_t CurlFtpLayer::onWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto& connection = *static_cast<Connection*>(user);
    const std::size_t length = size * count;
    Transfer* transfer = connection.current;
    if (!transfer)
        return length;
    transfer->started = true;
    if (transfer->file)
        return std::fwrite(data, 1, length, transfer->file);
    if (transfer->listing) {
        if (transfer->data.size() + length > kListingLimit)
            return 0;  // no folder of the update server is that large
        transfer->data.append(data, length);
        return length;
    }
    const std::size_t limit = std::max(connection.layer.options_.bufferLimit, transfer->want);
    if (transfer->available() >= limit) {
        transfer->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (transfer->pos > 0 && transfer->pos >= transfer->data.size() / 2) {
        transfer->data.erase(0, transfer->pos);
        transfer->pos = 0;
    }
    transfer->data.append(data, length);
    return length;
}

std::size_t CurlFtpLayer::onRead(char* data, std::size_t size, std::size_t count, void* user) {
    auto& connection = *static_cast<Connection*>(user);
    const std::size_t length = size * count;
    Transfer* transfer = connection.current;
    if (!transfer)
        return 0;
    if (transfer->file) {
        const std::size_t n = std::fread(data, 1, length, transfer->file);
        return std::ferror(transfer->file) ? CURL_READFUNC_ABORT : n;
    }
    if (transfer->available() > 0) {
        const std::size_t n = std::min(length, transfer->available());
        std::memcpy(data, transfer->data.data() + transfer->pos, n);
        transfer->consume(n);
        return n;
    }
    if (transfer->inputDone)
        return 0;
    transfer->paused = true;
    return CURL_READFUNC_PAUSE;
}

Handle CurlFtpLayer::internetOpen(const std::string&) {
    return add(std::make_shared<Object>(Kind::Session, 0));
}

Handle CurlFtpLayer::internetConnect(Handle session, const std::string& server, int port,
                                     const std::string& user, const std::string& password,
                                     bool passive) {
    const auto sessionObject = find<Object>(session);
    if (!sessionObject || sessionObject->kind != Kind::Session) {
        fail(code::InvalidHandle);
        return 0;
    }
    const std::string base = baseUrl(server, port);
    if (base.empty()) {
        fail(code::InvalidUrl);
        return 0;
    }
    if (!isSendableLogin(user, password)) {
        fail(code::IncorrectPassword);
        return 0;
    }

    auto connection = std::make_shared<Connection>(session, *this);
    connection->base = base;
    connection->multi = curl_multi_init();
    connection->easy = curl_easy_init();
    if (!connection->multi || !connection->easy) {
        fail(CurlCodeBase + CURLE_OUT_OF_MEMORY);
        return 0;
    }
    CURL* easy = connection->easy;
    void* self = connection.get();
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, options_.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, options_.responseTimeoutSec);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, options_.lowSpeedLimit);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, options_.lowSpeedTimeSec);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 64L * 1024L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, 64L * 1024L);
    // Paths go to the server as given, relative to the login folder: no CWD.
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    // Binary transfers: the file arrives byte for byte. The size that counts is the one of the
    // directory listing, so SIZE is not asked for.
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    if (!passive)
        curl_easy_setopt(easy, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlFtpLayer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, self);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlFtpLayer::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, self);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CurlFtpLayer::onRead);
    curl_easy_setopt(easy, CURLOPT_READDATA, self);

    const Handle handle = add(connection);
    // Log on now: a refused login must be known when the connection opens.
    Transfer logon(handle, Access::Read);
    connection->current = &logon;
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    startOperation(*connection, "");
    connection.reset();
    const bool alive = pump(handle, logon, [] { return false; });
    if (!alive) {
        fail(code::OperationCancelled);
        return 0;
    }
    find<Connection>(handle)->current = nullptr;
    if (logon.result != CURLE_OK) {
        fail(commandError(logon.result));
        closeObject(handle);
        return 0;
    }
    return handle;
}

Handle CurlFtpLayer::ftpFindFirstFile(Handle handle, const std::string& pattern, FindData& data) {
    auto connection = usableConnection(handle);
    if (!connection)
        return 0;
    if (hasControlCharacter(pattern)) {
        fail(code::InvalidUrl);
        return 0;
    }
    // The folder is listed and its entries matched here: a '?' of the pattern cannot travel in
    // a URL, where it would start a query, and servers differ in the patterns they accept.
    const std::size_t slash = pattern.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    const std::string namePattern = pattern.substr(folder.size());
    Transfer listing(handle, Access::Read);
    listing.listing = true;
    connection->current = &listing;
    startOperation(*connection, escapeSegments(connection->easy, folder));
    connection.reset();
    const bool alive = pump(handle, listing, [] { return false; });
    if (!alive) {
        fail(code::OperationCancelled);
        return 0;
    }
    find<Connection>(handle)->current = nullptr;
    if (listing.result != CURLE_OK) {
        fail(commandError(listing.result));
        return 0;
    }
    std::size_t start = 0;
    while (start < listing.data.size()) {
        std::size_t end = listing.data.find('\n', start);
        if (end == std::string::npos)
            end = listing.data.size();
        std::string line = listing.data.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string name;
        std::uint64_t size = 0;
        if (parseListLine(line, name, size) && globMatch(namePattern.c_str(), name.c_str())) {
            data.fileName = name;
            data.fileSizeLow = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
            data.fileSizeHigh = static_cast<std::uint32_t>(size >> 32);
            return add(std::make_shared<Object>(Kind::Search, handle));
        }
    }
    fail(code::NoMoreFiles);
    return 0;
}

Handle CurlFtpLayer::ftpOpenFile(Handle handle, const std::string& remote, Access access) {
    auto connection = usableConnection(handle);
    if (!connection)
        return 0;
    if (remote.empty() || hasControlCharacter(remote)) {
        fail(code::InvalidUrl);
        return 0;
    }
    auto transfer = std::make_shared<Transfer>(handle, access);
    CURL* easy = connection->easy;
    if (access == Access::Write)
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    connection->current = transfer.get();
    startOperation(*connection, escape(easy, remote));
    const Handle file = add(transfer);
    connection->openFile = file;
    connection.reset();
    // Like the server's answer to RETR or STOR: the file is open once the data begins to flow.
    const bool alive = pump(handle, *transfer, [&] { return transfer->started; });
    if (!alive) {
        closeObject(file);
        fail(code::OperationCancelled);
        return 0;
    }
    // A transfer that broke after its data began to flow is open all the same: the reads deliver
    // what came and then fail, as they would had the break come later.
    if (transfer->done && transfer->result != CURLE_OK && transfer->available() == 0) {
        const std::uint32_t error = commandError(transfer->result);
        closeObject(file);
        fail(error);
        return 0;
    }
    return file;
}

bool CurlFtpLayer::internetReadFile(Handle handle, char* buffer, std::uint32_t count,
                                    std::uint32_t& read) {
    return readFor(handle, buffer, count, read, 0);
}

bool CurlFtpLayer::internetReadFileWithin(Handle handle, char* buffer, std::uint32_t count,
                                          std::uint32_t& read, std::uint32_t limitMs) {
    return readFor(handle, buffer, count, read, limitMs == 0 ? 1 : limitMs);
}

bool CurlFtpLayer::readFor(Handle handle, char* buffer, std::uint32_t count, std::uint32_t& read,
                           std::uint32_t limitMs) {
    read = 0;
    const std::int64_t deadline = limitMs == 0 ? 0 : monotonicMillis() + limitMs;
    const auto late = [&] { return deadline != 0 && monotonicMillis() >= deadline; };
    auto transfer = find<Transfer>(handle);
    if (!transfer || transfer->access != Access::Read) {
        fail(code::InvalidHandle);
        return false;
    }
    transfer->want = count;
    while (transfer->available() < count && !transfer->done) {
        if (transfer->paused) {
            transfer->paused = false;
            auto connection = find<Connection>(transfer->parent);
            if (connection && connection->current == transfer.get())
                curl_easy_pause(connection->easy, CURLPAUSE_CONT);  // may deliver at once
            continue;
        }
        const bool alive = pump(transfer->parent, *transfer, [&] {
            return transfer->available() >= count || transfer->paused || late();
        });
        if (!alive) {
            transfer->want = 0;
            fail(code::OperationCancelled);
            return false;
        }
        if (transfer->available() < count && !transfer->done && !transfer->paused && late()) {
            transfer->want = 0;
            fail(code::Timeout);
            return false;
        }
    }
    transfer->want = 0;
    if (transfer->available() < count && transfer->result != CURLE_OK) {
        fail(dataError(transfer->result));
        return false;
    }
    const std::size_t n = std::min<std::size_t>(count, transfer->available());
    std::memcpy(buffer, transfer->data.data() + transfer->pos, n);
    transfer->consume(n);
    read = static_cast<std::uint32_t>(n);
    return true;
}

bool CurlFtpLayer::internetWriteFile(Handle handle, const char* buffer, std::uint32_t count,
                                     std::uint32_t& written) {
    written = 0;
    auto transfer = find<Transfer>(handle);
    if (!transfer || transfer->access != Access::Write || transfer->inputDone) {
        fail(code::InvalidHandle);
        return false;
    }
    if (transfer->done) {
        // The server ended the upload before the file did.
        fail(transfer->result == CURLE_OK ? code::ConnectionAborted : dataError(transfer->result));
        return false;
    }
    transfer->data.append(buffer, count);
    while (!transfer->done && (transfer->paused || transfer->available() >= options_.bufferLimit)) {
        if (transfer->paused) {
            transfer->paused = false;
            auto connection = find<Connection>(transfer->parent);
            if (connection && connection->current == transfer.get())
                curl_easy_pause(connection->easy, CURLPAUSE_CONT);
            continue;
        }
        const bool alive = pump(transfer->parent, *transfer, [&] {
            return transfer->paused || transfer->available() < options_.bufferLimit;
        });
        if (!alive) {
            fail(code::OperationCancelled);
            return false;
        }
        if (transfer->paused && transfer->available() > 0)
            continue;
        if (transfer->available() < options_.bufferLimit)
            break;
    }
    if (transfer->done && transfer->result != CURLE_OK) {
        fail(dataError(transfer->result));
        return false;
    }
    written = count;
    return true;
}

bool CurlFtpLayer::ftpGetFile(Handle handle, const std::string& remote, const std::string& local,
                              bool failIfExists) {
    auto connection = usableConnection(handle);
    if (!connection)
        return false;
    if (remote.empty() || hasControlCharacter(remote)) {
        fail(code::InvalidUrl);
        return false;
    }
    if (failIfExists) {
        if (std::FILE* existing = vigie::openFile(local, "rb")) {
            std::fclose(existing);
            fail(FileExists);
            return false;
        }
    }
    std::FILE* file = vigie::openFile(local, "wb");
    if (!file) {
        fail(LocalFileError);
        return false;
    }
    Transfer transfer(handle, Access::Read);
    transfer.file = file;
    connection->current = &transfer;
    startOperation(*connection, escape(connection->easy, remote));
    connection.reset();
    const bool alive = pump(handle, transfer, [] { return false; });
    const bool closed = std::fclose(file) == 0;
    if (auto c = find<Connection>(handle))
        c->current = nullptr;
    if (!alive || transfer.result != CURLE_OK || !closed) {
        std::remove(local.c_str());  // no half file that looks like the whole one
        fail(!alive ? code::OperationCancelled
                    : (!closed ? LocalFileError : commandError(transfer.result)));
        return false;
    }
    return true;
}

bool CurlFtpLayer::ftpPutFile(Handle handle, const std::string& local, const std::string& remote) {
    auto connection = usableConnection(handle);
    if (!connection)
        return false;
    if (remote.empty() || hasControlCharacter(remote)) {
        fail(code::InvalidUrl);
        return false;
    }
    std::FILE* file = vigie::openFile(local, "rb");
    if (!file) {
        fail(kFileNotFound);
        return false;
    }
    Transfer transfer(handle, Access::Write);
    transfer.file = file;
    CURL* easy = connection->easy;
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    connection->current = &transfer;
    startOperation(*connection, escape(easy, remote));
    connection.reset();
    const bool alive = pump(handle, transfer, [] { return false; });
    std::fclose(file);
    if (auto c = find<Connection>(handle))
        c->current = nullptr;
    if (!alive || transfer.result != CURLE_OK) {
        fail(!alive ? code::OperationCancelled : commandError(transfer.result));
        return false;
    }
    return true;
}

bool CurlFtpLayer::internetCloseHandle(Handle handle) {
    const auto it = objects_.find(handle);
    if (it == objects_.end()) {
        if (handle != 0)
            fail(code::InvalidHandle);
        return false;
    }
    bool ok = true;
    if (auto transfer = std::dynamic_pointer_cast<Transfer>(it->second);
        transfer && transfer->access == Access::Write && !transfer->done) {
        // The end of an upload: the server confirms the whole file or the upload failed.
        transfer->inputDone = true;
        if (transfer->paused) {
            transfer->paused = false;
            if (auto connection = find<Connection>(transfer->parent))
                curl_easy_pause(connection->easy, CURLPAUSE_CONT);
        }
        const bool alive = pump(transfer->parent, *transfer, [] { return false; });
        ok = alive && transfer->result == CURLE_OK;
        if (!ok)
            fail(alive ? dataError(transfer->result) : code::OperationCancelled);
    }
    closeObject(handle);
    return ok;
}

std::uint32_t CurlFtpLayer::commandError(int curlCode) const {
    // A busy server closes with 421, which libcurl reports as a time-out: the reply says why.
    if (lastReplyCode_ == 421)
        return code::ExtendedError;
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_LOGIN_DENIED:
            return code::IncorrectPassword;
        case CURLE_COULDNT_RESOLVE_HOST:
            return code::NameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return code::CannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return code::Timeout;
        case CURLE_URL_MALFORMAT:
            return code::InvalidUrl;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            return code::ConnectionAborted;
        default:
            // The server said no: its reply tells why.
            if (lastReplyCode_ >= 400)
                return code::ExtendedError;
            return CurlCodeBase + static_cast<std::uint32_t>(curlCode);
    }
}

std::uint32_t CurlFtpLayer::dataError(int curlCode) const {
    if (lastReplyCode_ == 421)
        return code::ExtendedError;
    return curlCode == CURLE_OPERATION_TIMEDOUT ? code::Timeout : code::ConnectionAborted;
}

std::string CurlFtpLayer::formatMessage(std::uint32_t error) const {
    switch (error) {
        case kFileNotFound:
            return "The local file was not found.";
        case LocalFileError:
            return "The local file cannot be opened or written.";
        case code::InvalidHandle:
            return "The handle is not valid.";
        case code::NoMoreFiles:
            return "No file matches.";
        case FileExists:
            return "The local file already exists.";
        case code::Timeout:
            return "The server stopped answering within the time allowed.";
        case code::ExtendedError:
            return "The server answered with an error.";
        case code::InvalidUrl:
            return "The server name, user name, password or file name is not valid.";
        case code::NameNotResolved:
            return "The server name could not be resolved.";
        case code::IncorrectPassword:
            return "The server refused the user name or password.";
        case code::OperationCancelled:
            return "The operation was cancelled: its connection was closed.";
        case code::CannotConnect:
            return "The connection to the server could not be made.";
        case code::ConnectionAborted:
            return "The transfer was cut off or did not match the size of the file.";
        case TransferInProgress:
            return "Another transfer is in progress on this connection.";
        default:
            break;
    }
    if (error > CurlCodeBase && error < CurlCodeBase + CURL_LAST)
        return curl_easy_strerror(static_cast<CURLcode>(error - CurlCodeBase));
    return "";
}

}  // namespace vigie::ftp

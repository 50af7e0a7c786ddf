#include "ftp/wininet_ftp_layer.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <type_traits>
#include <utility>

#include "core/background_thread.h"
#include "core/system_library.h"
#include "core/wide_text.h"
#include "ftp/login_text.h"

namespace vigie::ftp {

// What a WinINet call left behind, taken on the thread that made it: WinINet keeps the last error
// and the server's last reply per thread.
struct WinInetFtpLayer::Outcome {
    bool ok = false;
    void* handle = nullptr;  // the handle the call opened
    std::uint32_t error = 0;
    std::uint32_t extendedError = 0;
    std::string response;
    std::string data;  // bytes read
    std::uint32_t count = 0;
    FindData found;
};

namespace {

// WinINet's calls, from wininet.dll of System32: the program does not import the library, so that
// a wininet.dll beside the program is never loaded (core/system_library.h).
struct WinInet {
    HMODULE module = nullptr;
    decltype(&::InternetOpenA) InternetOpenA = nullptr;
    decltype(&::InternetConnectA) InternetConnectA = nullptr;
    decltype(&::InternetSetOptionA) InternetSetOptionA = nullptr;
    decltype(&::InternetGetLastResponseInfoA) InternetGetLastResponseInfoA = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
    decltype(&::InternetReadFile) InternetReadFile = nullptr;
    decltype(&::InternetWriteFile) InternetWriteFile = nullptr;
    decltype(&::FtpFindFirstFileA) FtpFindFirstFileA = nullptr;
    decltype(&::FtpOpenFileA) FtpOpenFileA = nullptr;
    decltype(&::FtpGetFileW) FtpGetFileW = nullptr;
    decltype(&::FtpPutFileW) FtpPutFileW = nullptr;

    bool complete() const {
        return module && InternetOpenA && InternetConnectA && InternetSetOptionA &&
               InternetGetLastResponseInfoA && InternetCloseHandle && InternetReadFile &&
               InternetWriteFile && FtpFindFirstFileA && FtpOpenFileA && FtpGetFileW && FtpPutFileW;
    }
};

const WinInet& wininet() {
    static const WinInet api = [] {
        WinInet w;
        w.module = systemLibrary(L"wininet.dll");
        if (!w.module)
            return w;
        const auto take = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void*>(::GetProcAddress(w.module, name)));
        };
        take(w.InternetOpenA, "InternetOpenA");
        take(w.InternetConnectA, "InternetConnectA");
        take(w.InternetSetOptionA, "InternetSetOptionA");
        take(w.InternetGetLastResponseInfoA, "InternetGetLastResponseInfoA");
        take(w.InternetCloseHandle, "InternetCloseHandle");
        take(w.InternetReadFile, "InternetReadFile");
        take(w.InternetWriteFile, "InternetWriteFile");
        take(w.FtpFindFirstFileA, "FtpFindFirstFileA");
        take(w.FtpOpenFileA, "FtpOpenFileA");
        take(w.FtpGetFileW, "FtpGetFileW");
        take(w.FtpPutFileW, "FtpPutFileW");
        return w;
    }();
    return api;
}

constexpr std::size_t kResponseBuffer = 4096;
// Every download straight from the server, and no copy of it in the user's internet cache: the
// working file is overwritten and deleted once sent, and a cached copy of the distributor's
// database would outlive it.
constexpr DWORD NoCache = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

void takeResult(WinInetFtpLayer::Outcome& outcome, bool ok) {
    outcome.ok = ok;
    outcome.error = ok ? 0 : static_cast<std::uint32_t>(GetLastError());
    DWORD extended = 0;
    char buffer[kResponseBuffer];
    DWORD length = sizeof buffer;
    if (wininet().InternetGetLastResponseInfoA(&extended, buffer, &length)) {
        outcome.extendedError = extended;
        // The server's bytes: UTF-8 from most servers, the local code page from older ones.
        outcome.response =
            utf8OrAnsiText(std::string_view(buffer, std::min<DWORD>(length, sizeof buffer)));
    }
}

// The code the class relies on. WinINet reports a refused login as any of its three login codes
// (Wine uses 12015 for a 530 reply) and sometimes leaves the thread's error at 0, with the code in
// the extended error (Wine's search that matches nothing).
std::uint32_t errorOf(const WinInetFtpLayer::Outcome& outcome) {
    // A busy server's 421 comes as whatever WinINet makes of the closed connection (Wine: 12110
    // at the greeting): the reply itself tells why.
    if (!outcome.ok && outcome.response.rfind("421", 0) == 0)
        return code::ExtendedError;
    std::uint32_t error = outcome.error != 0 ? outcome.error : outcome.extendedError;
    if (error == 0)
        error = ERROR_INTERNET_INTERNAL_ERROR;
    if (error == ERROR_INTERNET_INCORRECT_USER_NAME || error == ERROR_INTERNET_INCORRECT_PASSWORD ||
        error == ERROR_INTERNET_LOGIN_FAILURE)
        error = code::IncorrectPassword;
    return error;
}

std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '\0'))
        text.pop_back();
    return text;
}

struct ServerAddress {
    std::string host;
    int port = 0;
};

bool validHostCharacter(char c, bool ipv6) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '.' || c == '-')
        return true;
    return ipv6 ? c == ':' : c == '_';
}

// "host", "host:port" or "[v6]:port"; false when malformed.
bool parseServer(const std::string& server, int defaultPort, ServerAddress& address) {
    std::string rest;
    bool ipv6 = false;
    if (!server.empty() && server.front() == '[') {
        const std::size_t close = server.find(']');
        if (close == std::string::npos)
            return false;
        address.host = server.substr(1, close - 1);
        rest = server.substr(close + 1);
        ipv6 = true;
    } else {
        const std::size_t colon = server.find(':');
        address.host = server.substr(0, colon);
        if (colon != std::string::npos)
            rest = server.substr(colon);
    }
    if (address.host.empty() || !std::all_of(address.host.begin(), address.host.end(),
                                             [&](char c) { return validHostCharacter(c, ipv6); }))
        return false;
    address.port = defaultPort > 0 ? defaultPort : INTERNET_DEFAULT_FTP_PORT;
    if (rest.empty())
        return true;
    if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6)
        return false;
    const std::string digits = rest.substr(1);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return false;
    address.port = std::stoi(digits);
    return address.port >= 1 && address.port <= 65535;
}

void setTimeout(HINTERNET handle, DWORD option, std::uint32_t milliseconds) {
    DWORD value = milliseconds;
    wininet().InternetSetOptionA(handle, option, &value, sizeof value);
}

}  // namespace

// A thread that runs the calls of one connection in order. It outlives the layer if a call it
// runs never returns (WinINet waits on a silent server); what it holds it closes when it can.
class WinInetFtpLayer::Worker : public std::enable_shared_from_this<Worker> {
  public:
    struct Task {
        std::function<void(Outcome&)> work;
        Outcome outcome;
        bool mustRun = false;  // a close: runs even when nobody waits for it
        bool done = false;
        bool abandoned = false;
    };

    static std::shared_ptr<Worker> create() { return std::make_shared<Worker>(); }

    std::shared_ptr<Task> post(std::function<void(Outcome&)> work, bool mustRun) {
        auto task = std::make_shared<Task>();
        task->work = std::move(work);
        task->mustRun = mustRun;
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(task);
            // The thread comes and goes with the work: a close may follow a stop.
            if (!threadRunning_) {
                threadRunning_ = true;
                try {
                    startBackgroundThread([self = shared_from_this()] { self->loop(); });
                } catch (...) {
                    threadRunning_ = false;
                    queue_.pop_back();
                    throw;
                }
            }
        }
        wake_.notify_one();
        return task;
    }

    bool waitFor(const std::shared_ptr<Task>& task, std::chrono::milliseconds time) {
        std::unique_lock lock(mutex_);
        return finished_.wait_for(lock, time, [&] { return task->done; });
    }

    // Nobody waits for the task any more. False when it is done already: its outcome stands.
    bool abandon(const std::shared_ptr<Task>& task) {
        std::lock_guard lock(mutex_);
        if (task->done)
            return false;
        task->abandoned = true;
        return true;
    }

    // A call runs or waits to run: one its caller gave up on, or a close queued behind it.
    bool pending() const {
        std::lock_guard lock(mutex_);
        return running_ || !queue_.empty();
    }

    // The thread ends once the tasks that must run have run.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
    }

  private:
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) {
                threadRunning_ = false;
                return;
            }
            const std::shared_ptr<Task> task = queue_.front();
            queue_.pop_front();
            if (task->abandoned && !task->mustRun) {
                task->done = true;
                continue;
            }
            running_ = true;
            lock.unlock();
            Outcome outcome;
            task->work(outcome);
            void* orphan = nullptr;
            lock.lock();
            running_ = false;
            // A handle opened after its caller gave up: nobody else will close it.
            if (task->abandoned)
                orphan = std::exchange(outcome.handle, nullptr);
            task->outcome = std::move(outcome);
            task->done = true;
            finished_.notify_all();
            if (orphan) {
                lock.unlock();
                wininet().InternetCloseHandle(orphan);
                lock.lock();
            }
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<Task>> queue_;
    bool threadRunning_ = false;
    bool running_ = false;
    bool stopping_ = false;
};

namespace {

// The caller stops waiting: a handle the call opens is closed by the worker when it returns, or,
// if it has just returned, by a close queued on the worker.
void giveUp(const std::shared_ptr<WinInetFtpLayer::Worker>& worker,
            const std::shared_ptr<WinInetFtpLayer::Worker::Task>& task) {
    if (worker->abandon(task) || !task->outcome.handle)
        return;
    void* handle = std::exchange(task->outcome.handle, nullptr);
    worker->post([handle](WinInetFtpLayer::Outcome&) { wininet().InternetCloseHandle(handle); },
                 true);
}

}  // namespace

WinInetFtpLayer::WinInetFtpLayer(WinInetFtpOptions options) : options_(options) {}

WinInetFtpLayer::~WinInetFtpLayer() {
    // Closing a session or connection releases what is open under it.
    for (auto& [handle, object] : objects_) {
        if (object.kind != Kind::Session && object.kind != Kind::Connection)
            continue;
        const auto worker = object.connecting ? object.connecting : object.worker;
        void* internet = object.internet;
        worker->post([internet](Outcome&) { wininet().InternetCloseHandle(internet); }, true);
        worker->stop();
        object.worker->stop();
    }
}

WinInetFtpLayer::Object* WinInetFtpLayer::find(Handle handle, Kind kind) {
    const auto it = objects_.find(handle);
    return it != objects_.end() && it->second.kind == kind ? &it->second : nullptr;
}

Handle WinInetFtpLayer::add(Object object) {
    const Handle handle = nextHandle_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

void WinInetFtpLayer::forget(Handle handle) {
    objects_.erase(handle);
    std::vector<Handle> children;
    for (const auto& [h, object] : objects_)
        if (object.parent == handle)
            children.push_back(h);
    for (Handle child : children)
        forget(child);
}

bool WinInetFtpLayer::run(std::shared_ptr<Worker> worker, Handle owner, std::uint32_t timeoutMs,
                          std::function<void(Outcome&)> work, Outcome& outcome) {
    const auto task = worker->post(std::move(work), false);
    struct Waiting {
        bool& flag;
        explicit Waiting(bool& f) : flag(f) { flag = true; }
        ~Waiting() { flag = false; }
    } waiting(callWaiting_);
    const auto start = std::chrono::steady_clock::now();
    const auto poll = std::chrono::milliseconds(std::max(1, options_.pollIntervalMs));
    while (!worker->waitFor(task, poll)) {
        if (timeoutMs != 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs) &&
            worker->abandon(task)) {
            fail(code::Timeout);
            return false;
        }
        try {
            if (yield_)
                yield_();
        } catch (...) {
            // A handler that ran at the yield raised an error: the call goes on without a waiter.
            giveUp(worker, task);
            throw;
        }
        if (owner != 0 && objects_.count(owner) == 0) {
            // The window closed the handle the call runs under.
            giveUp(worker, task);
            fail(code::OperationCancelled);
            return false;
        }
    }
    outcome = std::move(task->outcome);
    if (!outcome.response.empty())
        lastResponse_ = withoutLineEnd(outcome.response);
    if (!outcome.ok)
        fail(errorOf(outcome));
    return true;
}

Handle WinInetFtpLayer::internetOpen(const std::string& agent) {
    if (!wininet().complete()) {
        fail(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    auto worker = Worker::create();
    const WinInetFtpOptions options = options_;
    Outcome outcome;
    const bool completed = run(
        worker, 0, options_.connectTimeoutMs,
        [agent, options](Outcome& o) {
            HINTERNET session = wininet().InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                                        nullptr, nullptr, 0);
            o.handle = session;
            if (session) {
                // Inherited by every connection and transfer opened under the session.
                setTimeout(session, INTERNET_OPTION_CONNECT_TIMEOUT, options.connectTimeoutMs);
                setTimeout(session, INTERNET_OPTION_SEND_TIMEOUT, options.sendTimeoutMs);
                setTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, options.receiveTimeoutMs);
                setTimeout(session, INTERNET_OPTION_DATA_SEND_TIMEOUT, options.sendTimeoutMs);
                setTimeout(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, options.receiveTimeoutMs);
            }
            takeResult(o, session != nullptr);
        },
        outcome);
    if (!completed || !outcome.handle) {
        worker->stop();
        return 0;
    }
    return add({Kind::Session, 0, outcome.handle, worker});
}

Handle WinInetFtpLayer::internetConnect(Handle session, const std::string& server, int port,
                                        const std::string& user, const std::string& password,
                                        bool passive) {
    const Object* sessionObject = find(session, Kind::Session);
    if (!sessionObject) {
        fail(code::InvalidHandle);
        return 0;
    }
    ServerAddress address;
    if (!parseServer(server, port, address)) {
        fail(code::InvalidUrl);
        return 0;
    }
    // Nothing is sent: no server could accept such a login.
    if (!isSendableLogin(user, password)) {
        fail(code::IncorrectPassword);
        return 0;
    }
    void* sessionHandle = sessionObject->internet;
    auto worker = Worker::create();
    // Closing the session must wait for this call.
    find(session, Kind::Session)->connecting = worker;
    Outcome outcome;
    const bool completed = run(
        worker, session, options_.connectTimeoutMs + options_.receiveTimeoutMs,
        [sessionHandle, address, user, password, passive](Outcome& o) {
            HINTERNET connection = wininet().InternetConnectA(
                sessionHandle, address.host.c_str(), static_cast<INTERNET_PORT>(address.port),
                user.c_str(), password.c_str(), INTERNET_SERVICE_FTP,
                passive ? INTERNET_FLAG_PASSIVE : 0, 0);
            o.handle = connection;
            takeResult(o, connection != nullptr);
        },
        outcome);
    if (!completed) {
        worker->stop();
        return 0;  // the call goes on: the session's close will queue behind it
    }
    if (Object* s = find(session, Kind::Session))
        s->connecting = nullptr;
    if (!outcome.handle) {
        worker->stop();
        return 0;
    }
    return add({Kind::Connection, session, outcome.handle, worker});
}

const WinInetFtpLayer::Object* WinInetFtpLayer::connectionFor(Handle connection,
                                                              const std::string& remoteName) {
    const Object* object = find(connection, Kind::Connection);
    if (!object) {
        fail(code::InvalidHandle);
        return nullptr;
    }
    if (remoteName.empty() || hasControlCharacter(remoteName)) {
        fail(code::InvalidUrl);
        return nullptr;
    }
    return object;
}

Handle WinInetFtpLayer::ftpFindFirstFile(Handle connection, const std::string& pattern,
                                         FindData& data) {
    const Object* object = connectionFor(connection, pattern);
    if (!object)
        return 0;
    void* internet = object->internet;
    const auto worker = object->worker;
    Outcome outcome;
    const bool completed = run(
        worker, connection, options_.connectTimeoutMs + options_.receiveTimeoutMs,
        [internet, pattern](Outcome& o) {
            WIN32_FIND_DATAA entry{};
            // A fresh listing: the size must be the file's size now, not a cached one; and
            // nothing of the distributor's server kept in the user's internet cache.
            HINTERNET search =
                wininet().FtpFindFirstFileA(internet, pattern.c_str(), &entry, NoCache, 0);
            o.handle = search;
            if (search) {
                o.found.fileName = entry.cFileName;
                o.found.fileSizeLow = entry.nFileSizeLow;
                o.found.fileSizeHigh = entry.nFileSizeHigh;
            }
            takeResult(o, search != nullptr);
        },
        outcome);
    if (!completed || !outcome.handle)
        return 0;
    data = outcome.found;
    return add({Kind::Search, connection, outcome.handle, worker});
}

Handle WinInetFtpLayer::ftpOpenFile(Handle connection, const std::string& remote, Access access) {
    const Object* object = connectionFor(connection, remote);
    if (!object)
        return 0;
    void* internet = object->internet;
    const auto worker = object->worker;
    Outcome outcome;
    const bool completed = run(
        worker, connection, options_.connectTimeoutMs + options_.receiveTimeoutMs,
        [internet, remote, access](Outcome& o) {
            HINTERNET file = wininet().FtpOpenFileA(
                internet, remote.c_str(), access == Access::Read ? GENERIC_READ : GENERIC_WRITE,
                FTP_TRANSFER_TYPE_BINARY | NoCache, 0);
            o.handle = file;
            takeResult(o, file != nullptr);
        },
        outcome);
    if (!completed || !outcome.handle)
        return 0;
    return add({Kind::Transfer, connection, outcome.handle, worker, access});
}

bool WinInetFtpLayer::internetReadFile(Handle transfer, char* buffer, std::uint32_t count,
                                       std::uint32_t& read) {
    return readFor(transfer, buffer, count, read, options_.receiveTimeoutMs);
}

bool WinInetFtpLayer::internetReadFileWithin(Handle transfer, char* buffer, std::uint32_t count,
                                             std::uint32_t& read, std::uint32_t limitMs) {
    return readFor(transfer, buffer, count, read,
                   std::max<std::uint32_t>(1, std::min(limitMs, options_.receiveTimeoutMs)));
}

bool WinInetFtpLayer::readFor(Handle transfer, char* buffer, std::uint32_t count,
                              std::uint32_t& read, std::uint32_t timeoutMs) {
    read = 0;
    const Object* object = find(transfer, Kind::Transfer);
    if (!object || object->access != Access::Read) {
        fail(code::InvalidHandle);
        return false;
    }
    void* internet = object->internet;
    Outcome outcome;
    // The bytes land in the call's own buffer: the caller's may be gone if it stops waiting.
    const bool completed = run(
        object->worker, transfer, timeoutMs,
        [internet, count](Outcome& o) {
            o.data.resize(count);
            std::uint32_t got = 0;
            bool ok = true;
            // One call may deliver less than asked; only the end of the file delivers nothing.
            while (got < count) {
                DWORD n = 0;
                if (!wininet().InternetReadFile(internet, o.data.data() + got, count - got, &n)) {
                    ok = false;
                    break;
                }
                if (n == 0)
                    break;
                got += n;
            }
            o.data.resize(got);
            o.count = got;
            takeResult(o, ok);
        },
        outcome);
    if (!completed || !outcome.ok)
        return false;
    std::memcpy(buffer, outcome.data.data(), outcome.count);
    read = outcome.count;
    return true;
}

bool WinInetFtpLayer::internetWriteFile(Handle transfer, const char* buffer, std::uint32_t count,
                                        std::uint32_t& written) {
    written = 0;
    const Object* object = find(transfer, Kind::Transfer);
    if (!object || object->access != Access::Write) {
        fail(code::InvalidHandle);
        return false;
    }
    void* internet = object->internet;
    Outcome outcome;
    const bool completed = run(
        object->worker, transfer, options_.sendTimeoutMs,
        [internet, bytes = std::string(buffer, count)](Outcome& o) {
            std::uint32_t sent = 0;
            bool ok = true;
            while (sent < bytes.size()) {
                DWORD n = 0;
                if (!wininet().InternetWriteFile(internet, bytes.data() + sent,
                                                 static_cast<DWORD>(bytes.size() - sent), &n) ||
                    n == 0) {
                    ok = false;
                    break;
                }
                sent += n;
            }
            o.count = sent;
            takeResult(o, ok);
        },
        outcome);
    if (!completed || !outcome.ok)
        return false;
    written = outcome.count;
    return true;
}

bool WinInetFtpLayer::ftpGetFile(Handle connection, const std::string& remote,
                                 const std::string& local, bool failIfExists) {
    const Object* object = connectionFor(connection, remote);
    if (!object)
        return false;
    void* internet = object->internet;
    Outcome outcome;
    // A whole file in one call has no time limit of its own: WinINet's timeouts apply, and the
    // window can still close the connection.
    const bool completed = run(
        object->worker, connection, 0,
        [internet, remote, local, failIfExists](Outcome& o) {
            const BOOL ok = wininet().FtpGetFileW(
                internet, widen(remote).c_str(), widen(local).c_str(), failIfExists ? TRUE : FALSE,
                FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY | NoCache, 0);
            takeResult(o, ok != FALSE);
        },
        outcome);
    return completed && outcome.ok;
}

bool WinInetFtpLayer::ftpPutFile(Handle connection, const std::string& local,
                                 const std::string& remote) {
    const Object* object = connectionFor(connection, remote);
    if (!object)
        return false;
    void* internet = object->internet;
    Outcome outcome;
    const bool completed = run(
        object->worker, connection, 0,
        [internet, remote, local](Outcome& o) {
            const BOOL ok = wininet().FtpPutFileW(
                internet, widen(local).c_str(), widen(remote).c_str(), FTP_TRANSFER_TYPE_BINARY, 0);
            takeResult(o, ok != FALSE);
        },
        outcome);
    return completed && outcome.ok;
}

bool WinInetFtpLayer::internetCloseHandle(Handle handle) {
    const auto it = objects_.find(handle);
    if (it == objects_.end()) {
        if (handle != 0)
            fail(code::InvalidHandle);
        return false;
    }
    const Object object = it->second;
    // Gone for the caller at once, with everything opened under it; a call still running under
    // it fails as cancelled when its waiter next looks.
    forget(handle);
    // WinINet is not safe against a handle closed while a call runs on it or under it (Wine
    // frees a connection that is still logging on when its session closes), so the close waits
    // its turn behind the connection's calls. Behind a call that hangs, nobody waits for it.
    std::shared_ptr<Worker> worker = object.worker;
    if (object.connecting && object.connecting->pending())
        worker = object.connecting;
    const bool behindACall = worker->pending();
    void* internet = object.internet;
    const auto task = worker->post(
        [internet](Outcome& o) { takeResult(o, wininet().InternetCloseHandle(internet)); }, true);
    if (object.kind == Kind::Session || object.kind == Kind::Connection) {
        object.worker->stop();
        worker->stop();
    }
    if (behindACall)
        return true;
    if (!worker->waitFor(task, std::chrono::milliseconds(options_.closeTimeoutMs))) {
        // A close waits for the server's last reply; a silent server does not hold the window.
        fail(code::Timeout);
        return false;
    }
    if (!task->outcome.ok) {
        fail(errorOf(task->outcome));
        return false;
    }
    return true;
}

std::string WinInetFtpLayer::formatMessage(std::uint32_t code) const {
    HMODULE module = wininet().module;
    if (!module)
        return "";
    // The wide call: the texts are in the user's language (accents on a French Windows), which
    // the ANSI call would give in the local code page rather than in UTF-8.
    wchar_t buffer[257] = {};
    DWORD_PTR arguments[1] = {0};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, code, 0,
                       buffer, 256, reinterpret_cast<va_list*>(arguments));
    return narrow(std::wstring_view(buffer, length));
}

}  // namespace vigie::ftp

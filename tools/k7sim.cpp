// k7sim: a K7 device on a pseudo-terminal, for tests, benchmarks and demonstrations.
//
// It creates a pseudo-terminal pair, links the terminal side where it is told (for example
// $VIGIE_COM_DIR/COM1) and plays the device's side of the update dialogue on the other side:
//
//   <- STX DLE ETX                  -> SOH STX ETX, then "T#FTPUN" name CR
//   <- CR LF "0" CR LF              -> "T#FTPPW" password CR
//   <- CR LF "0" CR LF              -> "T#FTPFILEP" CR
//   <- CR LF "0" CR LF              -> "T#FTPGET" CR
//   <- CR LF "150" CR LF            data lines follow, each ending in CR LF
//   <- ETX CR LF, CR LF "368" CR LF -> "T#END" CR after the end delay
//
// Everything received after "150" is written to the --out file, byte for byte. The first
// --ignore-wakeups wake-ups go unanswered; every wake-up is logged with its time. A wake-up outside
// the data stream starts the dialogue again. The device holds the terminal side open itself while
// it waits, so that the updater may open and close the port as often as it likes; once a session
// is over it lets go, and the updater's closing of the port ends the session (--once) or makes the
// device wait for the next one (--loop).
//
// What it sees and does goes to stderr, one line each; the terminal's path and then "ready" go to
// stdout once the link exists.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The device's own copy of the protocol bytes: the simulator must not share the updater's.
constexpr std::string_view kWakeUp = "\x02\x10\x03";
constexpr std::string_view kWakeUpReply = "\x01\x02\x03";
constexpr std::string_view kAck = "\r\n0\r\n";
constexpr std::string_view kTransferStart = "\r\n150\r\n";

struct Options {
    std::string link;
    std::string out;
    std::string name = "K7A1B2C";
    double endDelay = 0.0;
    bool noEnd = false;
    bool silent = false;
    std::string stopAfter;  // "FTPUN", "FTPPW", "FTPFILEP" or "FTPGET"
    long vanishAfter = -1;
    long flood = 0;
    long ignoreWakeUps = 0;  // the first wake-ups get no answer, as from a device still asleep
    bool loop = false;
};

enum class Phase {
    WaitWake,
    WaitAckUser,
    WaitAckPassword,
    WaitAckFile,
    WaitStart,
    Data,
    Ending,
    Done,
    Stopped
};

volatile sig_atomic_t gStop = 0;
void onSignal(int) {
    gStop = 1;
}

void usage() {
    std::fprintf(stderr,
                 "usage: k7sim --link PATH [--out FILE] [--name NAME] [--end-delay SECONDS | "
                 "--no-end]\n"
                 "             [--silent] [--stop-after FTPUN|FTPPW|FTPFILEP|FTPGET]\n"
                 "             [--vanish-after LINES] [--flood BYTES] [--ignore-wakeups COUNT]\n"
                 "             [--once | --loop]\n");
}

std::string printable(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "<CR>";
        else if (c == '\n')
            out += "<LF>";
        else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02X>", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void log(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

double monotonicSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool parseLong(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "k7sim: %s needs a value\n", arg.c_str());
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--link" || arg == "--out" || arg == "--name" || arg == "--stop-after") {
            const char* v = value();
            if (!v)
                return std::nullopt;
            if (arg == "--link")
                o.link = v;
            else if (arg == "--out")
                o.out = v;
            else if (arg == "--name")
                o.name = v;
            else {
                std::string s = v;
                if (s.rfind("T#", 0) == 0)
                    s = s.substr(2);
                if (s != "FTPUN" && s != "FTPPW" && s != "FTPFILEP" && s != "FTPGET") {
                    std::fprintf(stderr, "k7sim: unknown request for --stop-after: %s\n", v);
                    return std::nullopt;
                }
                o.stopAfter = s;
            }
        } else if (arg == "--end-delay") {
            const char* v = value();
            if (!v)
                return std::nullopt;
            char* end = nullptr;
            o.endDelay = std::strtod(v, &end);
            if (end == v || *end != '\0' || o.endDelay < 0) {
                std::fprintf(stderr, "k7sim: bad delay: %s\n", v);
                return std::nullopt;
            }
        } else if (arg == "--vanish-after" || arg == "--flood" || arg == "--ignore-wakeups") {
            const char* v = value();
            long n = 0;
            if (!v || !parseLong(v, n)) {
                std::fprintf(stderr, "k7sim: %s needs a count\n", arg.c_str());
                return std::nullopt;
            }
            (arg == "--flood"            ? o.flood
             : arg == "--ignore-wakeups" ? o.ignoreWakeUps
                                         : o.vanishAfter) = n;
        } else if (arg == "--no-end") {
            o.noEnd = true;
        } else if (arg == "--silent") {
            o.silent = true;
        } else if (arg == "--once") {
            o.loop = false;
        } else if (arg == "--loop") {
            o.loop = true;
        } else if (arg == "--help" || arg == "-h") {
            usage();
            std::exit(0);
        } else {
            std::fprintf(stderr, "k7sim: unknown option %s\n", arg.c_str());
            return std::nullopt;
        }
    }
    if (o.link.empty()) {
        std::fprintf(stderr, "k7sim: --link is required\n");
        return std::nullopt;
    }
    return o;
}

class Device {
  public:
    explicit Device(Options options) : o_(std::move(options)) {}

    int run();

  private:
    bool createTerminal();
    bool makeLink();
    void removeLink();
    bool holdTerminal();
    void releaseTerminal();
    void send(std::string_view bytes, const std::string& what);
    // Sends at the line's own rate, as a real device's bytes come; what is sent after it waits
    // its turn. A pseudo-terminal would otherwise hand over megabytes at once.
    void sendAtLineRate(std::string_view bytes, const std::string& what);
    // Hands the line-rate bytes whose time has come to the output; the seconds until the next.
    double releaseAtLineRate();
    void flushOutput();
    void startSession();
    void sendRequest(const std::string& keyword, const std::string& tail);
    void received(std::string_view bytes);
    void process();
    void processData();
    void saveReceived();
    void vanish();
    bool stopsAfter(const std::string& keyword);

    Options o_;
    int master_ = -1;
    int slave_ = -1;  // our own hold on the terminal side
    std::string slavePath_;
    Phase phase_ = Phase::WaitWake;
    std::string rx_;
    std::string tx_;
    std::string paced_;  // bytes waiting for the line rate, then what follows them
    double pacedSince_ = 0;
    std::size_t pacedReleased_ = 0;
    std::string data_;  // everything after "150"
    std::size_t lineStart_ = 0;
    long lines_ = 0;
    bool sawEndOfData_ = false;
    double endAt_ = 0;
    bool finished_ = false;
    int exitCode_ = 0;
    long wakeUps_ = 0;
    double started_ = 0;
};

bool Device::createTerminal() {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        log(std::string("k7sim: openpty: ") + std::strerror(errno));
        return false;
    }
    slavePath_ = ::ttyname(slave_) ? ::ttyname(slave_) : "";
    termios t;
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B38400);
    ::cfsetospeed(&t, B38400);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    return !slavePath_.empty();
}

bool Device::makeLink() {
    struct stat st;
    if (::lstat(o_.link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        log("k7sim: " + o_.link + " exists and is not a link");
        return false;
    }
    // Put the new link in place in one step, so that a reader never sees it missing.
    const std::string temp = o_.link + ".k7sim-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(slavePath_.c_str(), temp.c_str()) != 0 ||
        ::rename(temp.c_str(), o_.link.c_str()) != 0) {
        log("k7sim: cannot link " + o_.link + ": " + std::strerror(errno));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void Device::removeLink() {
    char target[4096];
    const ssize_t n = ::readlink(o_.link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == slavePath_)
        ::unlink(o_.link.c_str());
}

bool Device::holdTerminal() {
    if (slave_ >= 0)
        return true;
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return slave_ >= 0;
}

void Device::releaseTerminal() {
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

void Device::send(std::string_view bytes, const std::string& what) {
    if (!what.empty())
        log("-> " + what);
    if (!paced_.empty()) {
        paced_.append(bytes);
        return;
    }
    tx_.append(bytes);
    flushOutput();
}

// 38400 bit/s, 10 bits a byte with the start and stop bits.
constexpr double kLineBytesPerSecond = 3840;

void Device::sendAtLineRate(std::string_view bytes, const std::string& what) {
    log("-> " + what + " (at the line's rate)");
    if (paced_.empty()) {
        pacedSince_ = monotonicSeconds();
        pacedReleased_ = 0;
    }
    paced_.append(bytes);
    releaseAtLineRate();
}

double Device::releaseAtLineRate() {
    if (paced_.empty())
        return -1;
    const auto due =
        static_cast<std::size_t>((monotonicSeconds() - pacedSince_) * kLineBytesPerSecond);
    const std::size_t count =
        std::min(paced_.size(), due > pacedReleased_ ? due - pacedReleased_ : 0);
    tx_.append(paced_, 0, count);
    paced_.erase(0, count);
    pacedReleased_ += count;
    flushOutput();
    return paced_.empty() ? -1 : 0.01;
}

void Device::flushOutput() {
    while (!tx_.empty() && master_ >= 0) {
        const ssize_t n = ::write(master_, tx_.data(), tx_.size());
        if (n > 0) {
            tx_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;  // full (EAGAIN) or nobody on the other side: poll tells when to go on
    }
}

bool Device::stopsAfter(const std::string& keyword) {
    if (o_.stopAfter != keyword)
        return false;
    log("(stops answering after T#" + keyword + ")");
    phase_ = Phase::Stopped;
    return true;
}

void Device::sendRequest(const std::string& keyword, const std::string& tail) {
    std::string message = "T#" + keyword + tail + "\r";
    send(message, "T#" + keyword + (tail.empty() ? "" : " " + printable(tail)));
}

void Device::startSession() {
    data_.clear();
    lineStart_ = 0;
    lines_ = 0;
    sawEndOfData_ = false;
    if (o_.silent) {
        log("(silent: no answer)");
        phase_ = Phase::WaitWake;
        return;
    }
    send(kWakeUpReply, "WakeUpReply");
    if (o_.flood > 0) {
        std::string flood(static_cast<std::size_t>(o_.flood), 'A');
        for (std::size_t i = 0; i < flood.size(); ++i)
            flood[i] = static_cast<char>('A' + i % 26);
        sendAtLineRate(flood, "flood of " + std::to_string(o_.flood) + " bytes");
    }
    sendRequest("FTPUN", o_.name);
    if (!stopsAfter("FTPUN"))
        phase_ = Phase::WaitAckUser;
}

void Device::received(std::string_view bytes) {
    if (phase_ == Phase::Data) {
        data_.append(bytes);
        processData();
        return;
    }
    rx_.append(bytes);
    process();
}

void Device::process() {
    for (;;) {
        // A wake-up outside the data stream starts the dialogue again.
        if (const auto at = rx_.find(kWakeUp); at != std::string::npos) {
            // The time lets a test see the updater's pace of repeated wake-ups.
            char when[32];
            std::snprintf(when, sizeof when, " at %.3f s", monotonicSeconds() - started_);
            rx_.erase(0, at + kWakeUp.size());
            if (++wakeUps_ <= o_.ignoreWakeUps) {
                log(std::string("<- WakeUp") + when + " (ignored)");
                continue;
            }
            log(std::string("<- WakeUp") + when);
            holdTerminal();
            startSession();
            continue;
        }
        const bool waitingForAck = phase_ == Phase::WaitAckUser ||
                                   phase_ == Phase::WaitAckPassword || phase_ == Phase::WaitAckFile;
        if (waitingForAck) {
            const auto at = rx_.find(kAck);
            if (at == std::string::npos)
                return;
            log("<- Ack");
            rx_.erase(0, at + kAck.size());
            if (phase_ == Phase::WaitAckUser) {
                std::string password(o_.name.rbegin(), o_.name.rend());
                sendRequest("FTPPW", password);
                if (!stopsAfter("FTPPW"))
                    phase_ = Phase::WaitAckPassword;
            } else if (phase_ == Phase::WaitAckPassword) {
                sendRequest("FTPFILEP", "");
                if (!stopsAfter("FTPFILEP"))
                    phase_ = Phase::WaitAckFile;
            } else {
                sendRequest("FTPGET", "");
                if (!stopsAfter("FTPGET"))
                    phase_ = Phase::WaitStart;
            }
            continue;
        }
        if (phase_ == Phase::WaitStart) {
            const auto at = rx_.find(kTransferStart);
            if (at == std::string::npos) {
                // Repeated acknowledgements while the updater waits are not for us.
                while (rx_.rfind(kAck, 0) == 0) {
                    log("<- Ack (repeated, ignored)");
                    rx_.erase(0, kAck.size());
                }
                return;
            }
            log("<- TransferStart");
            std::string rest = rx_.substr(at + kTransferStart.size());
            rx_.clear();
            phase_ = Phase::Data;
            data_ = std::move(rest);
            processData();
            return;
        }
        if (phase_ == Phase::Stopped) {
            for (auto at = rx_.find(kAck); at != std::string::npos; at = rx_.find(kAck)) {
                log("<- Ack (stopped: no answer)");
                rx_.erase(0, at + kAck.size());
            }
        }
        // Waiting for a wake-up, stopped, or the session is over: keep only what may still start a
        // wake-up or complete an acknowledgement.
        if (rx_.size() >= kAck.size())
            rx_.erase(0, rx_.size() - kAck.size() + 1);
        return;
    }
}

void Device::processData() {
    for (;;) {
        const auto end = data_.find("\r\n", lineStart_);
        if (end == std::string::npos)
            return;
        const std::string_view line(data_.data() + lineStart_, end - lineStart_);
        lineStart_ = end + 2;
        if (!sawEndOfData_ && line == "\x03") {
            log("<- EndOfData");
            sawEndOfData_ = true;
        } else if (sawEndOfData_ && line.empty()) {
            // the first half of the closing marker
        } else if (sawEndOfData_ && line == "368") {
            log("<- TransferDone (" + std::to_string(lines_) + " lines, " +
                std::to_string(data_.size()) + " bytes)");
            saveReceived();
            if (o_.noEnd) {
                log("(no T#END)");
                phase_ = Phase::Done;
                releaseTerminal();
            } else {
                phase_ = Phase::Ending;
                endAt_ = monotonicSeconds() + o_.endDelay;
            }
            // Anything after the markers belongs to the dialogue again.
            rx_ = data_.substr(lineStart_);
            process();
            return;
        } else {
            ++lines_;
            log("<- line " + std::to_string(lines_) + " (" + std::to_string(line.size()) +
                " bytes)");
            if (o_.vanishAfter >= 0 && lines_ >= o_.vanishAfter) {
                vanish();
                return;
            }
        }
    }
}

void Device::saveReceived() {
    if (o_.out.empty())
        return;
    std::ofstream out(o_.out, std::ios::binary | std::ios::trunc);
    out.write(data_.data(), static_cast<std::streamsize>(data_.size()));
}

void Device::vanish() {
    log("(vanishes after " + std::to_string(lines_) + " lines)");
    saveReceived();
    releaseTerminal();
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
    removeLink();
    finished_ = true;
}

int Device::run() {
    started_ = monotonicSeconds();
    if (!createTerminal())
        return 2;
    if (!makeLink())
        return 2;
    std::printf("%s\nready\n", slavePath_.c_str());
    std::fflush(stdout);
    log("k7sim: " + o_.link + " -> " + slavePath_ + (o_.loop ? " (loop)" : " (once)"));

    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGHUP);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A reader of the log that goes away must not take the device down before it has cleaned up.
    ::signal(SIGPIPE, SIG_IGN);

    while (!finished_ && !gStop) {
        pollfd p{master_, POLLIN, 0};
        if (!tx_.empty())
            p.events |= POLLOUT;
        timespec timeout{};
        timespec* wait = nullptr;
        double left = -1;
        if (phase_ == Phase::Ending)
            left = std::max(0.0, endAt_ - monotonicSeconds());
        if (const double next = releaseAtLineRate(); next >= 0)
            left = left < 0 ? next : std::min(left, next);
        if (left >= 0) {
            timeout.tv_sec = static_cast<time_t>(left);
            timeout.tv_nsec = static_cast<long>((left - static_cast<double>(timeout.tv_sec)) * 1e9);
            wait = &timeout;
        }
        const int r = ::ppoll(&p, 1, wait, &waitMask);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            log(std::string("k7sim: poll: ") + std::strerror(errno));
            exitCode_ = 2;
            break;
        }
        if (phase_ == Phase::Ending && monotonicSeconds() >= endAt_) {
            send("T#END\r", "T#END");
            phase_ = Phase::Done;
            releaseTerminal();
        }
        if (p.revents & POLLOUT)
            flushOutput();
        if (p.revents & POLLIN) {
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                received(std::string_view(buf, static_cast<std::size_t>(n)));
                continue;
            }
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            // Nobody holds the terminal side any more: the updater has closed the port.
            if (phase_ == Phase::Done && !o_.loop) {
                log("(port closed: session over)");
                break;
            }
            if (phase_ == Phase::Done)
                log("(port closed: waiting for the next session)");
            phase_ = Phase::WaitWake;
            rx_.clear();
            tx_.clear();
            paced_.clear();
            if (!holdTerminal()) {
                log(std::string("k7sim: cannot reopen the terminal: ") + std::strerror(errno));
                exitCode_ = 2;
                break;
            }
        }
    }
    if (gStop && phase_ == Phase::Data)
        saveReceived();
    removeLink();
    releaseTerminal();
    if (master_ >= 0)
        ::close(master_);
    return exitCode_;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    Device device(std::move(*options));
    return device.run();
}

// Whole updates through the real program and their costs, each against a peer in the same run:
//
//   - one update of a 5,000-line database: a real FTP server (pyftpdlib, loopback), the K7
//     simulator on a pseudo-terminal, the program (bench_launcher update) in a process of its own;
//     every data line is timestamped where it is received, from the simulator's "<- line" reports
//     read here as they come, and where the program writes them (bench_launcher notes its write
//     calls). Pacing against the 23 ms floor, stage 7's CPU, the whole update's
//     wall time against the sum of its fixed waits, and its peak memory;
//   - the peer writer: this program plays the updater's side itself, with a plain write and a
//     23 ms sleep per line, to the same simulator: the pacing and CPU of the simplest loop;
//   - start-up to the shown window (the twelve-port probe included) against a bare QWidget, and
//     the bare QWidget's peak memory as the peer of the update's;
//   - makeFillerText against the same text built without a yield per piece.
//
//   - the same update without its log (a shorter one, 1,000 lines): the pacing with the log on
//     against the same run's pacing with it off;
//
// Usage: update_bench [--lines N] [--off-lines N] [--peer-lines N] [--startups N]
// Prints tables, then one "ROW" line per result for bench/run.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr double kFloorMs = 23.0;
constexpr double kPassMs = 2000.0;

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Thrown, so that the destructors stop the server and the simulators on the way out.
[[noreturn]] void fail(const std::string& why) {
    throw std::runtime_error(why);
}

// ---- Child processes -------------------------------------------------------------------------

class Process {
  public:
    enum class Errors { Pipe, Discard };
    // Starts argv with the environment changed by env ("NAME=value"), stdout on a pipe, stderr
    // on a pipe or thrown away (a pipe nobody reads would stop a chatty child once full).
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            Errors errors = Errors::Discard) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            fail("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (errors == Errors::Pipe)
            posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        else
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

        std::map<std::string, std::string> vars;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const auto eq = entry.find('=');
            vars[entry.substr(0, eq)] = entry;
        }
        for (const std::string& entry : env)
            vars[entry.substr(0, entry.find('='))] = entry;
        std::vector<std::string> envText;
        for (auto& [name, entry] : vars)
            envText.push_back(entry);
        std::vector<char*> envp, args;
        for (auto& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argText = argv;
        for (auto& a : argText)
            args.push_back(a.data());
        args.push_back(nullptr);

        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            fail("cannot start " + argv[0]);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Process() {
        stop();
        ::close(out_);
        ::close(err_);
    }
    // Ends the process if it still runs: TERM, then KILL.
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            wait(3000);
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait(3000);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int out() const { return out_; }
    int err() const { return err_; }

    // The next stdout line, or nothing after timeoutMs.
    std::optional<std::string> readLine(int timeoutMs) {
        const std::int64_t end = monotonicNs() + std::int64_t{timeoutMs} * 1000000;
        for (;;) {
            if (const auto nl = outBuffer_.find('\n'); nl != std::string::npos) {
                std::string line = outBuffer_.substr(0, nl);
                outBuffer_.erase(0, nl + 1);
                return line;
            }
            const int left = static_cast<int>((end - monotonicNs()) / 1000000);
            if (left <= 0)
                return std::nullopt;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0)
                return std::nullopt;
            outBuffer_.append(buf, static_cast<std::size_t>(n));
        }
    }

    // Everything left on stdout, until the process closes it.
    std::string readAll() {
        std::string text = std::move(outBuffer_);
        outBuffer_.clear();
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n > 0)
                text.append(buf, static_cast<std::size_t>(n));
            else if (n < 0 && errno == EINTR)
                continue;
            else
                return text;
        }
    }

    // Exit status, or -1 if the process is still running after timeoutMs.
    int wait(int timeoutMs) {
        if (pid_ <= 0)
            return status_;
        for (int waited = 0;; waited += 5) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_;
            }
            if (waited >= timeoutMs)
                return -1;
            ::usleep(5000);
        }
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    int status_ = -1;
    std::string outBuffer_;
};

std::map<std::string, std::string> keyValues(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

double number(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto it = values.find(key);
    if (it == values.end())
        fail("no " + key + " in the launcher's report");
    return std::strtod(it->second.c_str(), nullptr);
}

// ---- The simulated device and the receive times of the lines ---------------------------------

// The K7 simulator on COM1 of comDir; the times at which it reports each data line received.
class Device {
  public:
    Device(const fs::path& k7sim, const fs::path& comDir, const fs::path& out)
        : process_(std::make_unique<Process>(
              std::vector<std::string>{k7sim.string(), "--link", (comDir / "COM1").string(),
                                       "--name", "ab12cd3", "--out", out.string(), "--end-delay",
                                       "0", "--once"},
              std::vector<std::string>{}, Process::Errors::Pipe)) {
        for (;;) {
            const auto line = process_->readLine(10000);
            if (!line)
                fail("the K7 simulator did not start");
            if (*line == "ready")
                break;
        }
        reader_ = std::thread([this] { readReports(); });
    }
    ~Device() { finished(0); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Gives the simulator waitMs to end by itself (it does once the port is closed after a
    // session), stops it otherwise, and returns the line times, in ns.
    std::vector<std::int64_t> finished(int waitMs) {
        if (!process_)
            return times_;
        if (process_->wait(waitMs) < 0) {
            if (waitMs > 0)
                std::fprintf(stderr, "update_bench: the simulator did not end; stopping it\n");
            process_->stop();
        }
        reader_.join();  // the simulator's end closes the pipe
        process_.reset();
        return times_;
    }

  private:
    void readReports() {
        std::string buffer;
        char buf[4096];
        const int fd = process_->err();
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            const std::int64_t now = monotonicNs();
            buffer.append(buf, static_cast<std::size_t>(n));
            for (auto nl = buffer.find('\n'); nl != std::string::npos; nl = buffer.find('\n')) {
                if (buffer.compare(0, 8, "<- line ") == 0)
                    times_.push_back(now);
                buffer.erase(0, nl + 1);
            }
        }
    }

    std::unique_ptr<Process> process_;
    std::thread reader_;
    std::vector<std::int64_t> times_;  // the reader's until it is joined
};

struct Pacing {
    std::size_t lines = 0;
    double minMs = 0, medianMs = 0, meanMs = 0, p99Ms = 0, maxMs = 0;
};

Pacing pacing(const std::vector<std::int64_t>& times) {
    Pacing p;
    p.lines = times.size();
    if (times.size() < 2)
        return p;
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i)
        gaps.push_back(static_cast<double>(times[i] - times[i - 1]) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    const std::size_t n = gaps.size();
    p.minMs = gaps.front();
    p.maxMs = gaps.back();
    p.medianMs = n % 2 ? gaps[n / 2] : (gaps[n / 2 - 1] + gaps[n / 2]) / 2;
    double sum = 0;
    for (double g : gaps)
        sum += g;
    p.meanMs = sum / static_cast<double>(n);
    p.p99Ms = gaps[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n))) - 1];
    return p;
}

// A database of plausible fictional sites, Windows-1252, CR LF after every line.
std::string makeDatabase(int lines) {
    static const char* const kinds[] = {"FIXE", "FEU", "TRONCON", "ZONE", "MOBILE"};
    static const char* const places[] = {"Pont-L\xE9ger",   "Ch\xEAnevert",  "Saint-Aubr\xE9",
                                         "Val-des-Pr\xE9s", "Les \xC9tangs", "Montbrun"};
    static const char* const roads[] = {"RD 12", "Avenue des Tilleuls", "N 7",
                                        "Chemin des \xC9tangs", "Rue Haute"};
    static const int speeds[] = {30, 50, 70, 80, 90, 110, 130};
    std::uint32_t seed = 20240601;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::string text;
    char line[160];
    for (int i = 0; i < lines; ++i) {
        const double lon = -4.5 + (next() % 1200000) / 100000.0;
        const double lat = 42.5 + (next() % 850000) / 100000.0;
        std::snprintf(line, sizeof line, "%.5f,%.5f,%s,%d,%s - %s\r\n", lon, lat, kinds[next() % 5],
                      speeds[next() % 7], places[next() % 6], roads[next() % 5]);
        text += line;
    }
    return text;
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out)
        fail("cannot write " + path.string());
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- The peer writer: the updater's side played with a plain loop ----------------------------

class PlainWriter {
  public:
    explicit PlainWriter(const fs::path& link) {
        fd_ = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            fail("cannot open " + link.string());
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B38400);
        ::cfsetospeed(&t, B38400);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~PlainWriter() { ::close(fd_); }

    void send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail("write to the simulator");
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads until text (and a CR after it) has arrived.
    void expect(const std::string& text) {
        const std::int64_t end = monotonicNs() + 10'000'000'000;
        for (;;) {
            if (const auto at = rx_.find(text); at != std::string::npos) {
                if (const auto cr = rx_.find('\r', at); cr != std::string::npos) {
                    rx_.erase(0, cr + 1);
                    return;
                }
            }
            if (monotonicNs() > end)
                fail("the simulator did not send " + text);
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buf[256];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0)
                    rx_.append(buf, static_cast<std::size_t>(n));
            }
        }
    }

    // The dialogue, then the lines with a 23 ms sleep before each, then the end markers.
    // Returns the CPU seconds of the line loop and its wall seconds.
    std::pair<double, double> run(const std::vector<std::string>& lines) {
        const std::string ack = "\r\n0\r\n";
        send("\x02\x10\x03");
        expect("T#FTPUN");
        send(ack);
        expect("T#FTPPW");
        send(ack);
        expect("T#FTPFILEP");
        send(ack);
        expect("T#FTPGET");
        send("\r\n150\r\n");
        const double cpu0 = threadCpuSeconds();
        const std::int64_t wall0 = monotonicNs();
        for (const std::string& line : lines) {
            const timespec wait{0, 23'000'000};
            while (clock_nanosleep(CLOCK_MONOTONIC, 0, &wait, nullptr) == EINTR) {
            }
            send(line);
        }
        const double cpu = threadCpuSeconds() - cpu0;
        const double wall = static_cast<double>(monotonicNs() - wall0) / 1e9;
        send("\x03\r\n\r\n368\r\n");
        expect("T#END");
        return {cpu, wall};
    }

  private:
    int fd_ = -1;
    std::string rx_;
};

// ---- Results ----------------------------------------------------------------------------------

std::string fmt(const char* format, double a) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, a);
    return buf;
}

std::vector<std::string> rows;

void row(const std::string& metric, const std::string& value, const std::string& peer, double ratio,
         const std::string& goal, std::optional<bool> met) {
    rows.push_back("ROW\t" + metric + "\t" + value + "\t" + peer + "\t" + fmt("%.3f", ratio) +
                   "\t" + goal + "\t" +
                   (!met   ? "reference"
                    : *met ? "met"
                           : "MISSED"));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int run(int argc, char** argv) {
    int lineCount = 5000, offLines = 1000, peerLines = 1000, startups = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const int value = std::max(2, std::atoi(argv[i + 1]));
        if (arg == "--lines")
            lineCount = value;
        else if (arg == "--peer-lines")
            peerLines = value;
        else if (arg == "--off-lines")
            offLines = value;
        else if (arg == "--startups")
            startups = value;
        else
            fail("usage: update_bench [--lines N] [--off-lines N] [--peer-lines N] [--startups N]");
    }
    const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path k7sim = bin / "k7sim";
    const fs::path launcher = bin / "bench_launcher";
    char pattern[] = "/tmp/vigie-update-bench-XXXXXX";
    if (!mkdtemp(pattern))
        fail("mkdtemp");
    const fs::path work = pattern;
    struct RemoveWhenDone {
        fs::path path;
        ~RemoveWhenDone() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } removeWork{work};
    fs::create_directories(work / "server");
    fs::create_directories(work / "com");

    // ---- One whole update, with its log, and a shorter one without ----------------------------
    auto server = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/python3", FTP_SERVER_SCRIPT, "--root",
                                 (work / "server").string(), "--user", "AB12CD3:3DC21BA"},
        std::vector<std::string>{});
    const auto portLine = server->readLine(10000);
    if (!portLine || portLine->rfind("PORT ", 0) != 0)
        fail("the FTP server did not start");
    const std::string serverAddress = "127.0.0.1:" + portLine->substr(5);

    // The update's log goes to stateHome/vigie-k7/updates.log; a file in the way of that folder
    // turns the log off.
    const auto wholeUpdate = [&](const std::string& name, const fs::path& stateHome, int lines) {
        const std::string database = makeDatabase(lines);
        writeFile(work / "server" / "LocationsMid.txt", database);
        std::fprintf(stderr, "update_bench: one update of %d lines, %s (about %.0f s)...\n", lines,
                     name.c_str(), (9 * kPassMs + lines * kFloorMs) / 1000);
        std::map<std::string, std::string> result;
        std::vector<std::int64_t> times;
        {
            Device device(k7sim, work / "com", work / "received");
            Process program(
                {launcher.string(), "update"},
                {"XDG_CONFIG_HOME=" + (work / ("config-" + name)).string(),
                 "XDG_STATE_HOME=" + stateHome.string(), "VIGIE_COM_DIR=" + (work / "com").string(),
                 "VIGIE_UPDATE_SERVER=" + serverAddress});
            result = keyValues(program.readAll());
            const int status = program.wait(10000);
            times = device.finished(10000);
            if (status != 0 || result["ok"] != "1")
                fail("the update did not succeed: status " + result["status"] + "; box " +
                     result["first_box"]);
        }
        if (readFile(work / "received") != database + "\x03\r\n\r\n368\r\n")
            fail("the simulator did not receive the database exactly");
        if (static_cast<int>(times.size()) != lines)
            fail("line reports: " + std::to_string(times.size()));
        if (static_cast<int>(number(result, "send_lines")) != lines)
            fail("the program's sends of data lines: " + result["send_lines"]);
        return std::make_pair(result, times);
    };
    const fs::path logOn = work / "state-on", logOff = work / "state-off";
    fs::create_directories(logOff);
    writeFile(logOff / "vigie-k7", "in the way of the log's folder");
    auto [update, lineTimes] = wholeUpdate("log-on", logOn, lineCount);
    const std::string log = readFile(logOn / "vigie-k7" / "updates.log");
    if (log.find("Envoi terminé : " + std::to_string(lineCount) + " lignes") == std::string::npos)
        fail("the update's log does not tell its sending");
    const auto [unlogged, unloggedTimes] = wholeUpdate("log-off", logOff, offLines);
    if (fs::exists(logOff / "vigie-k7" / "updates.log"))
        fail("the update without a log wrote one");
    server.reset();
    const Pacing program = pacing(lineTimes);
    Pacing sent;
    sent.lines = static_cast<std::size_t>(lineCount);
    sent.minMs = number(update, "send_min_ms");
    sent.medianMs = number(update, "send_median_ms");
    sent.meanMs = number(update, "send_mean_ms");
    sent.p99Ms = number(update, "send_p99_ms");
    sent.maxMs = number(update, "send_max_ms");
    const double unloggedMeanMs = number(unlogged, "send_mean_ms");
    const Pacing unloggedReceived = pacing(unloggedTimes);

    // ---- The peer writer -----------------------------------------------------------------------
    std::fprintf(stderr, "update_bench: the plain writer, %d lines...\n", peerLines);
    std::vector<std::string> peerText;
    {
        std::istringstream in(makeDatabase(peerLines));
        for (std::string line; std::getline(in, line);)
            peerText.push_back(line + "\n");
    }
    std::pair<double, double> peerCost;
    std::vector<std::int64_t> peerTimes;
    {
        Device device(k7sim, work / "com", work / "received-peer");
        {
            PlainWriter writer(work / "com" / "COM1");
            peerCost = writer.run(peerText);
        }
        peerTimes = device.finished(10000);
    }
    const Pacing peer = pacing(peerTimes);

    // ---- Start-up and a bare QWidget, turn about; makeFillerText -------------------------------
    std::fprintf(stderr, "update_bench: start-up, %d runs each...\n", startups);
    std::vector<double> appShown, bareShown, appRss, bareRss;
    int ports = 0;
    std::map<std::string, std::string> filler;
    {
        // A device on COM1, so that the probe finds one port among the twelve.
        Device device(k7sim, work / "com", work / "received-startup");
        for (int i = 0; i <= startups; ++i) {
            for (const char* mode : {"startup", "trivial"}) {
                const fs::path config = work / ("config-" + std::to_string(i) + mode);
                const std::int64_t t0 = monotonicNs();
                Process child({launcher.string(), mode, std::to_string(t0)},
                              {"XDG_CONFIG_HOME=" + config.string(),
                               "VIGIE_COM_DIR=" + (work / "com").string()});
                const auto values = keyValues(child.readAll());
                if (child.wait(10000) != 0 || values.count("ok") == 0 || values.at("ok") != "1")
                    fail(std::string("the ") + mode + " launcher failed");
                if (i == 0)
                    continue;  // warm-up: the page cache, the font cache
                const bool app = std::string(mode) == "startup";
                (app ? appShown : bareShown).push_back(number(values, "shown_ms"));
                (app ? appRss : bareRss).push_back(number(values, "maxrss_kb") / 1024);
                if (app) {
                    ports = static_cast<int>(number(values, "ports"));
                    if (number(values, "boxes") != 0)
                        fail("a box opened during start-up");
                }
            }
        }
        Process child({launcher.string(), "random", "7"},
                      {"XDG_CONFIG_HOME=" + (work / "config-random").string(),
                       "VIGIE_COM_DIR=" + (work / "com").string()});
        filler = keyValues(child.readAll());
        if (child.wait(20000) != 0 || filler["ok"] != "1")
            fail("the MakeRandomText launcher failed");
    }

    // ---- Tables --------------------------------------------------------------------------------
    const int passes = static_cast<int>(number(update, "passes"));
    const double fixedS = (passes * kPassMs + lineCount * kFloorMs) / 1000;
    const double wallS = number(update, "update_wall_s");
    const double transferWall = number(update, "transfer_wall_s");
    const double transferCpuPct = 100 * number(update, "transfer_cpu_s") / transferWall;
    const double peerCpuPct = 100 * peerCost.first / peerCost.second;
    const double updateRss = number(update, "maxrss_kb") / 1024;

    std::printf("Data lines as the simulator received them (ms between two lines)\n\n");
    std::printf("| %-38s | %5s | %7s | %7s | %7s | %7s | %7s |\n", "sender", "lines", "min",
                "median", "mean", "p99", "max");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", std::string(40, '-').c_str(),
                std::string(7, '-').c_str(), std::string(9, '-').c_str(),
                std::string(9, '-').c_str(), std::string(9, '-').c_str(),
                std::string(9, '-').c_str(), std::string(9, '-').c_str());
    for (const auto& [name, p] :
         {std::pair<const char*, const Pacing&>{"the program, as received", program},
          {"the program, as sent (its write calls)", sent},
          {"plain write + 23 ms sleep, as received", peer}})
        std::printf("| %-38s | %5zu | %7.3f | %7.3f | %7.3f | %7.3f | %7.3f |\n", name, p.lines,
                    p.minMs, p.medianMs, p.meanMs, p.p99Ms, p.maxMs);
    std::printf("\nUpdate: %d passes, stage times %s\n", passes, update["stages"].c_str());
    std::printf("Update wall %.2f s (CPU %.2f s); fixed waits %d x 2 s + %d x 23 ms = %.2f s\n",
                wallS, number(update, "update_cpu_s"), passes, lineCount, fixedS);
    std::printf("Stage 7: %.2f s, CPU %.3f s (%.2f %% of a core); plain writer %.2f %%\n",
                transferWall, number(update, "transfer_cpu_s"), transferCpuPct, peerCpuPct);
    std::printf(
        "Start-up to the shown window, median of %d: program %.1f ms (%d port(s) listed),"
        " bare QWidget %.1f ms\n",
        startups, median(appShown), ports, median(bareShown));
    std::printf(
        "Peak memory: whole update %.1f MiB, start-up only %.1f MiB, bare QWidget %.1f MiB\n",
        updateRss, median(appRss), median(bareRss));
    std::printf("MakeRandomText: %.3f ms for %s characters; without the yields %.3f ms\n\n",
                number(filler, "random_ms"), filler["mean_length"].c_str(),
                number(filler, "plain_ms"));

    const std::string lines = std::to_string(lineCount) + " lines";
    row("transfer: ms per line as received, median (" + lines + ")",
        fmt("%.3f ms", program.medianMs), "23 ms floor", program.medianMs / kFloorMs, "23-24 ms",
        program.medianMs >= kFloorMs && program.medianMs <= 24.0);
    row("transfer: ms per line as received, p99", fmt("%.3f ms", program.p99Ms), "23 ms floor",
        program.p99Ms / kFloorMs, "<= 25 ms", program.p99Ms <= 25.0);
    row("transfer: ms between sends, min / mean",
        fmt("%.3f", sent.minMs) + fmt(" / %.3f ms", sent.meanMs), "23 ms floor",
        sent.meanMs / kFloorMs, "min >= 23, mean <= 24",
        sent.minMs >= kFloorMs && sent.meanMs <= 24.0);
    row("transfer: ms between sends, mean, log on / off", fmt("%.3f ms", sent.meanMs),
        fmt("%.3f ms, log off", unloggedMeanMs), sent.meanMs / unloggedMeanMs, "<= off + 0.1 ms",
        sent.meanMs <= unloggedMeanMs + 0.1);
    row("transfer: ms per line as received, median, log on / off", fmt("%.3f ms", program.medianMs),
        fmt("%.3f ms, log off", unloggedReceived.medianMs),
        program.medianMs / unloggedReceived.medianMs, "<= off + 0.1 ms",
        program.medianMs <= unloggedReceived.medianMs + 0.1);
    row("peer: plain write + sleep, median / p99",
        fmt("%.3f", peer.medianMs) + fmt(" / %.3f ms", peer.p99Ms), "23 ms floor",
        peer.p99Ms / kFloorMs, "-", std::nullopt);
    row("transfer: CPU during stage 7", fmt("%.2f %% core", transferCpuPct),
        fmt("%.2f %% plain writer", peerCpuPct), transferCpuPct / peerCpuPct, "< 2 % core",
        transferCpuPct < 2.0);
    row("whole update: wall time vs fixed waits", fmt("%.2f s", wallS),
        fmt("%.2f s of waits", fixedS), wallS / fixedS, "ratio <= 1.05", wallS / fixedS <= 1.05);
    row("MakeRandomText (" + filler["mean_length"] + " chars)",
        fmt("%.3f ms", number(filler, "random_ms")),
        fmt("%.3f ms no yields", number(filler, "plain_ms")),
        number(filler, "random_ms") / number(filler, "plain_ms"), "< 100 ms",
        number(filler, "random_ms") < 100);
    row("start-up to shown window (12-port probe)", fmt("%.1f ms", median(appShown)),
        fmt("%.1f ms bare QWidget", median(bareShown)), median(appShown) / median(bareShown),
        "< 1000 ms", median(appShown) < 1000);
    row("peak memory of a whole update", fmt("%.1f MiB", updateRss),
        fmt("%.1f MiB bare QWidget", median(bareRss)), updateRss / median(bareRss), "< 2 x bare Qt",
        updateRss < 2 * median(bareRss));
    for (const std::string& r : rows)
        std::printf("%s\n", r.c_str());
    return 0;
}

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "update_bench: %s\n", e.what());
        return 1;
    }
}

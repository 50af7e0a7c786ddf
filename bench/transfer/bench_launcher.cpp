// The program's composition (vigie::Application) run by update_bench in a process of its own, so
// that time from process start and peak memory belong to one job. Modes, results on stdout as
// key=value lines:
//
//   bench_launcher startup T0_NS       start-up to the shown main window (start window answered
//                                      Next at once); T0_NS is the parent's CLOCK_MONOTONIC
//                                      reading taken just before it started this process
//   bench_launcher trivial T0_NS       the same for a bare QWidget: Qt's own cost
//   bench_launcher update              one whole update: Start Update pressed, back when the
//                                      session is over; stage 7's CPU, the passes, peak memory,
//                                      and the moments each data line was written to the port
//   bench_launcher random RUNS         makeFillerText, RUNS times, against the same amount of text
//                                      built without the yield per piece
//
// The device, the server and the settings folder come from the environment the parent sets
// (VIGIE_COM_DIR, VIGIE_UPDATE_SERVER, XDG_CONFIG_HOME). The offscreen platform is used unless
// QT_QPA_PLATFORM says otherwise.

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/qt/application.h"
#include "app/qt/document_dialog.h"

namespace {

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The moments the program hands lines to the serial port: every write() of this process that ends
// in CR LF and goes to a terminal, with its first bytes, recorded by the write() below.
struct Send {
    std::int64_t ns;
    std::size_t size;
    char head[8];
};
std::array<Send, 1 << 16> sends;
std::atomic<std::size_t> sendCount{0};
std::atomic<bool> recordSends{false};

void recordSend(int fd, const void* buffer, std::size_t size) {
    const auto* bytes = static_cast<const char*>(buffer);
    if (size < 2 || bytes[size - 2] != '\r' || bytes[size - 1] != '\n' || !::isatty(fd))
        return;
    const std::size_t at = sendCount.fetch_add(1);
    if (at >= sends.size())
        return;
    Send& s = sends[at];
    s.ns = monotonicNs();
    s.size = size;
    std::memcpy(s.head, bytes, std::min(size, sizeof s.head));
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

long maxRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Answers the modal windows as a user in a hurry would: Next on the start window the moment it
// shows, No (or OK) on any message box, which is recorded: a box means the run went wrong.
class Answerer : public QObject {
  public:
    std::vector<std::string> boxes;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* box = qobject_cast<QMessageBox*>(object)) {
            boxes.push_back(box->text().toStdString());
            QTimer::singleShot(0, box, [box] {
                box->done(box->button(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
            });
        } else if (auto* dialog = dynamic_cast<vigie::DocumentDialog*>(object)) {
            if (auto* next = dialog->findChild<QPushButton*>())
                QTimer::singleShot(0, next, [next] { next->click(); });
        }
        return false;
    }
};

// Keeps newlines out of a key=value line.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

int startup(std::int64_t t0) {
    Answerer answerer;
    qApp->installEventFilter(&answerer);
    vigie::Application app;
    if (!app.start()) {
        std::printf("ok=0\n");
        return 1;
    }
    QCoreApplication::processEvents();  // the first expose and paint of the shown window
    const std::int64_t shown = monotonicNs();
    std::printf("ok=%d\nshown_ms=%.3f\nports=%d\nboxes=%zu\nmaxrss_kb=%ld\n",
                app.window.isVisible() ? 1 : 0, static_cast<double>(shown - t0) / 1e6,
                app.form.portList.listCount(), answerer.boxes.size(), maxRssKb());
    return 0;
}

int trivial(std::int64_t t0) {
    QWidget window;
    window.resize(398, 331);
    window.setWindowTitle("trivial");
    window.show();
    QCoreApplication::processEvents();
    const std::int64_t shown = monotonicNs();
    std::printf("ok=%d\nshown_ms=%.3f\nmaxrss_kb=%ld\n", window.isVisible() ? 1 : 0,
                static_cast<double>(shown - t0) / 1e6, maxRssKb());
    return 0;
}

int update() {
    Answerer answerer;
    qApp->installEventFilter(&answerer);
    vigie::Application app;
    if (!app.start() || app.form.portList.text() != " 1") {
        std::printf("ok=0\nwhy=start-up or port list (%s)\n", app.form.portList.text().c_str());
        return 1;
    }
    vigie::MainForm& form = app.form;

    // Watches the session from its own yields: every pass rewrites the stage label, which the
    // watcher takes away again to count the passes (they are 2 s apart, it looks every 100 ms);
    // stage 7 runs from the transfer text to stage 8.
    int passes = 0;
    std::int16_t lastStage = -1;
    std::string stages;
    double transferStartWall = 0, transferStartCpu = 0, transferWall = 0, transferCpu = 0;
    const std::int64_t go = monotonicNs();
    QTimer watcher;
    watcher.setInterval(100);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!form.stageLabel.caption.empty()) {
            ++passes;
            form.stageLabel.caption.clear();
        }
        const double now = static_cast<double>(monotonicNs() - go) / 1e9;
        if (form.session().stage != lastStage) {
            lastStage = form.session().stage;
            char entry[32];
            std::snprintf(entry, sizeof entry, "%s%d@%.2f", stages.empty() ? "" : ",",
                          static_cast<int>(lastStage), now);
            stages += entry;
        }
        if (transferStartWall == 0 && form.session().stage == 7 &&
            form.statusLabel.caption.rfind("Téléchargement vers K7", 0) == 0) {
            transferStartWall = now;
            transferStartCpu = cpuSeconds();
        }
        if (transferStartWall != 0 && transferWall == 0 && form.session().stage >= 8) {
            transferWall = now - transferStartWall;
            transferCpu = cpuSeconds() - transferStartCpu;
        }
    });
    watcher.start();

    const double cpu0 = cpuSeconds();
    recordSends = true;
    app.window.goButton()->click();  // the whole session runs inside the click
    recordSends = false;
    const double wall = static_cast<double>(monotonicNs() - go) / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    watcher.stop();

    const bool ok = form.statusLabel.caption.rfind("K7 mis à jour.", 0) == 0 &&
                    form.progressBar.value == 100 && answerer.boxes.empty() && transferWall > 0;
    std::printf("ok=%d\nstatus=%s\nboxes=%zu\nfirst_box=%s\npasses=%d\nstages=%s\n", ok ? 1 : 0,
                oneLine(form.statusLabel.caption).c_str(), answerer.boxes.size(),
                answerer.boxes.empty() ? "" : oneLine(answerer.boxes[0]).c_str(), passes,
                stages.c_str());
    std::printf("update_wall_s=%.3f\nupdate_cpu_s=%.3f\ntransfer_wall_s=%.3f\n", wall, cpu,
                transferWall);
    std::printf("transfer_cpu_s=%.4f\nmaxrss_kb=%ld\n", transferCpu, maxRssKb());

    // The data lines: the sends after the transfer start ("150") and before the end of data (ETX).
    const std::size_t count = std::min(sendCount.load(), sends.size());
    std::size_t first = count, last = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view head(sends[i].head, std::min(sends[i].size, sizeof sends[i].head));
        if (first == count && head == "\r\n150\r\n")
            first = i + 1;
        else if (first != count && head == "\x03\r\n") {
            last = i;
            break;
        }
    }
    std::vector<double> gaps;
    for (std::size_t i = first + 1; i < last; ++i)
        gaps.push_back(static_cast<double>(sends[i].ns - sends[i - 1].ns) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    std::printf("send_lines=%zu\n", last > first ? last - first : 0);
    if (!gaps.empty()) {
        double sum = 0;
        for (double g : gaps)
            sum += g;
        std::printf("send_min_ms=%.4f\nsend_median_ms=%.4f\nsend_mean_ms=%.4f\n", gaps.front(),
                    gaps[gaps.size() / 2], sum / static_cast<double>(gaps.size()));
        std::printf("send_p99_ms=%.4f\nsend_max_ms=%.4f\n", gaps[(gaps.size() * 99 + 99) / 100 - 1],
                    gaps.back());
    }
    return ok ? 0 : 1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int fillerText(int runs) {
    Answerer answerer;
    qApp->installEventFilter(&answerer);
    vigie::Application app;
    if (!app.start()) {
        std::printf("ok=0\n");
        return 1;
    }
    // The filler's alphabet, and pieces of ten characters, as the program draws them.
    constexpr std::string_view alphabet =
        "AB CD EFG HIJ KLMN OPQR ST UVW XYZ 12 34 567 8 90 akjhiuervb ajshdgj 1283768";
    std::minstd_rand rng(12345);
    std::vector<double> program, plain;
    std::size_t length = 0, sink = 0;
    for (int i = 0; i < runs; ++i) {
        std::int64_t t = monotonicNs();
        const std::string text = app.form.session().makeFillerText();
        program.push_back(static_cast<double>(monotonicNs() - t) / 1e6);
        length += text.size();

        // The same number of pieces, without the yield after each.
        t = monotonicNs();
        std::string same;
        same.reserve(text.size());
        for (std::size_t piece = 0; piece < text.size() / 10; ++piece)
            same += alphabet.substr(rng() % (alphabet.size() - 10), 10);
        plain.push_back(static_cast<double>(monotonicNs() - t) / 1e6);
        sink += same.size();
    }
    std::printf("ok=%d\nruns=%d\nmean_length=%zu\nrandom_ms=%.4f\nplain_ms=%.4f\n",
                sink == length ? 1 : 0, runs, length / static_cast<std::size_t>(runs),
                median(program), median(plain));
    return 0;
}

}  // namespace

// Takes the place of the C library's write() for the whole process (Qt SerialPort's included):
// notes the sends of lines, then writes as the library would.
extern "C" ssize_t write(int fd, const void* buffer, size_t size) {
    if (recordSends.load(std::memory_order_relaxed))
        recordSend(fd, buffer, size);
    return static_cast<ssize_t>(::syscall(SYS_write, fd, buffer, size));
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc > 1 ? argv[1] : "";
    const char* arg = argc > 2 ? argv[2] : "0";
    QApplication qtApp(argc, argv);
    if (mode == "startup")
        return startup(std::strtoll(arg, nullptr, 10));
    if (mode == "trivial")
        return trivial(std::strtoll(arg, nullptr, 10));
    if (mode == "update")
        return update();
    if (mode == "random")
        return fillerText(std::max(1, std::atoi(arg)));
    std::fprintf(stderr, "usage: %s startup|trivial T0_NS | update | random RUNS\n", argv[0]);
    return 2;
}

#pragma once
// Real pseudo-terminals for the serial tests: a pair whose terminal side is linked as COMn in a
// folder, the way VIGIE_COM_DIR presents ports; and a child process that holds something (a lock,
// a port) until the test lets it go.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

namespace vigie::test {

class PtyLink {
  public:
    // Creates the pair, puts the terminal side in raw mode and links it as dir/COMn.
    PtyLink(const std::filesystem::path& dir, int portNumber);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    const std::filesystem::path& link() const { return link_; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    // The device goes away: both sides close; only the link, now leading nowhere, stays.
    void closeMaster();
    void closeSlave();

    // Writes all bytes on the device's side.
    void deviceWrites(const std::string& bytes);
    // Reads what has reached the device's side until it holds count bytes or a few seconds pass.
    std::string deviceReads(std::size_t count);
    // Whether anything is waiting on the device's side right now.
    bool deviceHasInput();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::filesystem::path link_;
};

// A child process that runs setup (in the child), tells the parent it is ready, and then waits
// until the parent destroys the Holder. setup returns false when it failed.
class Holder {
  public:
    explicit Holder(const std::function<bool()>& setup);
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool ready_ = false;
};

// Runs work in a child process and returns its result (0 to 255), or -1 when the child died.
int runInChild(const std::function<int()>& work);

// A process id that belonged to a process that has ended.
pid_t deadPid();

}  // namespace vigie::test

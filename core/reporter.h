#pragma once
// What the program tells: the lines of the update log and the message boxes, each box and its
// answer written down in the log. The window and the update session share one.

#include <functional>
#include <string>

#include "core/platform.h"
#include "core/update_log.h"

namespace vigie {

class Reporter {
  public:
    Reporter(Platform& platform, std::string logPath)
        : platform_(platform), log_(std::move(logPath)) {}

    // A line of the log, at the platform's time.
    void logEvent(const std::string& text);
    // A message box, and its answer, written down in the log.
    int showBox(const std::string& text, int flags, const std::string& title);
    // Runs around every box (show() shows it and returns the answer); the update session lets
    // the system go while a box waits.
    std::function<int(const std::function<int()>& show)> aroundBox;

    UpdateLog& updateLog() { return log_; }
    void setUpdateLogPath(const std::string& path) { log_ = UpdateLog(path); }

  private:
    Platform& platform_;
    UpdateLog log_;
};

}  // namespace vigie

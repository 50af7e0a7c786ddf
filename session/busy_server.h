#pragma once
// A busy update server: on the day a new database comes out, thousands of devices reach it at
// once and it turns connections away with 421 until a place is free. The session tries again
// after pauses that grow, each with a random part so that the users turned away together do
// not all come back together.

#include <cstdint>
#include <functional>
#include <string>

#include "core/platform.h"

namespace vigie {

// Tries after the first refusal, at most.
constexpr int BusyServerRetries = 3;

// Whether the client's last error is a server saying it is too busy (reply 421).
bool isBusyReply(const std::string& lastErrorMessage);
// The pause before try `retry` (1 to BusyServerRetries): 15 s, 30 s, 60 s, each lengthened by
// `randomPart` (0 to 1) times half of itself.
std::int64_t busyServerPauseMs(int retry, double randomPart);
// A random number from 0 to 1, different from one computer and one run to the next.
double busyServerRandomPart();

std::string busyServerStatusText(std::int64_t secondsLeft);
std::string busyServerBoxText();

// Waits ms on the platform's clock, showing the seconds left through show whenever they change;
// false as soon as stop turns true (the user pressed Close), true once the time has passed.
bool waitForBusyServer(Platform& platform, std::int64_t ms, const bool& stop,
                       const std::function<void(std::int64_t)>& show);

}  // namespace vigie

#include "session/busy_server.h"

#include <algorithm>
#include <random>

namespace vigie {

bool isBusyReply(const std::string& lastErrorMessage) {
    return lastErrorMessage.size() >= 4 && lastErrorMessage.compare(0, 3, "421") == 0 &&
           (lastErrorMessage[3] == ' ' || lastErrorMessage[3] == '-');
}

std::int64_t busyServerPauseMs(int retry, double randomPart) {
    const std::int64_t base = std::int64_t{15'000} << std::clamp(retry - 1, 0, 2);
    return base + static_cast<std::int64_t>(std::clamp(randomPart, 0.0, 1.0) * (base / 2));
}

double busyServerRandomPart() {
    static std::mt19937 generator{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

std::string busyServerStatusText(std::int64_t secondsLeft) {
    return "Le serveur de mise à jour est occupé.\r\nNouvel essai dans " +
           std::to_string(secondsLeft) + " s...";
}

std::string busyServerBoxText() {
    return "Le serveur de mise à jour est occupé : trop d'utilisateurs s'y connectent en ce "
           "moment.\r\nVotre K7 n'a pas été modifié. Veuillez réessayer la mise à jour plus tard.";
}

bool waitForBusyServer(Platform& platform, std::int64_t ms, const bool& stop,
                       const std::function<void(std::int64_t)>& show) {
    const std::int64_t deadline = platform.tickCount() + ms;
    std::int64_t shown = -1;
    // In slices, so that Close is noticed within a tenth of a second.
    for (;;) {
        if (stop)
            return false;
        const std::int64_t now = platform.tickCount();
        if (now >= deadline)
            return true;
        const std::int64_t secondsLeft = (deadline - now + 999) / 1000;
        if (secondsLeft != shown) {
            shown = secondsLeft;
            show(secondsLeft);
        }
        platform.waitUntil(std::min(deadline, now + 100));
    }
}

}  // namespace vigie

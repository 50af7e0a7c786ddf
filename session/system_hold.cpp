// Holding the computer while an update runs: a laptop that sleeps, or a user who signs out, in the
// middle of the sending or the saving leaves the device with half a database. The update holds
// the system from the moment its port is open until it ends, whichever way it ends; the front
// ends only carry that out, and report back what the system did.

#include "session/update_session.h"

namespace vigie {
namespace {

// What Windows shows beside the program when the user signs out or shuts down, and what logind
// gives as the reason of its inhibitor.
constexpr const char* HoldReason =
    "Mise à jour du K7 en cours : attendez la fin avant de fermer la session.";

}  // namespace

void UpdateSession::holdSystem() {
    // A restart (Yes in an error box) reopens the port within the same update: still held. Once
    // the program has ended (a sign-out while a box waited), nothing is held any more.
    if (systemHeld_ || shutDown_)
        return;
    systemHeld_ = true;
    platform_.holdSystem(HoldReason);
}

void UpdateSession::releaseSystem() {
    if (!systemHeld_)
        return;
    systemHeld_ = false;
    platform_.releaseSystem();
}

void UpdateSession::systemEvent(SystemEvent event, const std::string& detail) {
    const std::string shown = detail.empty() ? "" : " (" + detail + ")";
    switch (event) {
        case SystemEvent::Held:
            logEvent("Ordinateur maintenu éveillé pendant la mise à jour" + shown);
            break;
        case SystemEvent::NotHeld:
            logEvent("Veille non empêchée pendant la mise à jour" + shown);
            break;
        case SystemEvent::Released:
            logEvent("Veille et fin de session de nouveau permises" + shown);
            break;
        // The system's sleep matters to support only when it cut into an update.
        case SystemEvent::Suspending:
            if (systemHeld_)
                logEvent("L'ordinateur se met en veille pendant la mise à jour" + shown);
            break;
        case SystemEvent::Resumed:
            if (systemHeld_)
                logEvent("L'ordinateur sort de veille pendant la mise à jour" + shown);
            break;
    }
}

}  // namespace vigie

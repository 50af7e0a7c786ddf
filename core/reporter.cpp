#include "core/reporter.h"

namespace vigie {

void Reporter::logEvent(const std::string& text) {
    log_.write(platform_.now(), text);
}

int Reporter::showBox(const std::string& text, int flags, const std::string& title) {
    logEvent("Message « " + title + " » : " + text);
    const int answer = platform_.msgBox(text, flags, title);
    logEvent(std::string("Réponse : ") + (answer == mb::Yes  ? "Oui"
                                          : answer == mb::No ? "Non"
                                                             : "OK"));
    return answer;
}

}  // namespace vigie

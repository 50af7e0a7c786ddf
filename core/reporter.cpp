#include "core/reporter.h"

namespace vigie {

void Reporter::logEvent(const std::string& text) {
    log_.write(platform_.now(), text);
}

int Reporter::showBox(const std::string& text, int flags, const std::string& title) {
    logEvent("Message « " + title + " » : " + text);
    const auto show = [&] { return platform_.msgBox(text, flags, title); };
    const int answer = aroundBox ? aroundBox(show) : show();
    logEvent(std::string("Réponse : ") + (answer == mb::Yes  ? "Oui"
                                          : answer == mb::No ? "Non"
                                                             : "OK"));
    return answer;
}

}  // namespace vigie

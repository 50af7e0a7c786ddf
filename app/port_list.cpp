// The port list of portList and its two modes: probed ports (filter on) or every port the program
// offers without probing (COM1 to COM12, and the system's ports above them).

#include <algorithm>
#include <chrono>
#include <exception>

#include "app/main_form.h"
#include "app/port_entries.h"
#include "core/text.h"
#include "serial/port_names.h"

namespace vigie {
namespace {

// The ports every list has had, present or not.
constexpr int kLastClassicPort = 12;
// A probe that has not answered this long after its own start counts as a port that does not
// answer: opening a Bluetooth port can take seconds before it fails, and the window waits for the
// probes. Such a port is still offered when the system lists it as present.
constexpr std::chrono::milliseconds kProbeLimit{1000};
constexpr const char* kPortErrorTitle = "Vigie K7 Updater - Port COM Erreur";

const char* const kNoPortText =
    "Aucun port COM n'a été détecté. \r\n"
    "Votre PC peut avoir ses ports COM désactivés.  \r\n"
    "Si votre PC n'a aucun port COM, un adaptateur \r\n"
    "de RS232 à USB est disponible.";

const char* const kNoFreePortText =
    "Aucun port disponible de COM n'a été détecté. \r\n"
    "Veuillez libérer un port Com/Série \r\n"
    "pour utiliser votre VIGIE K7.";

const char* const kFallbackText =
    "Une erreur s'est produite pendant la vérification des ports COM disponibles. \r\n"
    "Changement à la liste par défaut.";

// The ports the system lists as present, in increasing order; none when it cannot say.
std::vector<int> systemListedPorts(PortProbe& probe) {
    try {
        std::vector<int> listed = probe.listedPorts();
        std::sort(listed.begin(), listed.end());
        return listed;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

std::vector<int> MainForm::portsToOffer() {
    std::vector<int> ports;
    for (int n = 1; n <= kLastClassicPort; ++n)
        ports.push_back(n);
    // Windows gives a new number to each USB adapter, and often to each socket: a laptop that has
    // seen a few is past COM12. Without the system's list, the classic ports still show.
    for (int n : systemListedPorts(portProbe()))
        if (n > ports.back() && n <= kHighestPort)
            ports.push_back(n);
    return ports;
}

void MainForm::fillDefaultPortList(const std::vector<int>& ports) {
    portList.clear();
    for (int n : ports)
        portList.addItem(numberText(n));
    portList.listIndex = 0;
    describePortList(ports);
}

void MainForm::describePortList(const std::vector<int>& ports) {
    // The names help the user choose; a list without them still works.
    try {
        const std::map<int, std::string> descriptions = portProbe().describePorts(ports);
        for (const std::string& entry : portList.items) {
            const auto description = descriptions.find(portEntryNumber(entry));
            if (description != descriptions.end())
                portList.toolTips[entry] = description->second;
        }
    } catch (const std::exception&) {
    }
}

void MainForm::togglePortFilter() {
    portList.clear();
    portFilterMenu.checked = !portFilterMenu.checked;
    if (!portFilterMenu.checked) {
        fillDefaultPortList(portsToOffer());
        return;
    }

    const std::vector<int> ports = portsToOffer();
    const std::vector<int> present = systemListedPorts(portProbe());
    try {
        const std::map<int, ProbeResult> answers = portProbe().probeAll(ports, kProbeLimit);
        bool found = false;
        std::int16_t inUse = 0;
        std::int16_t absent = 0;
        std::string silent, silentPresent;
        for (int n : ports) {
            const auto answer = answers.find(n);
            ProbeResult result = answer == answers.end() ? ProbeResult::OtherError : answer->second;
            if (answer == answers.end()) {
                // A port the system says is there may be the user's, slow to answer on a busy
                // machine: it is offered, and opening it will tell its own error.
                if (std::binary_search(present.begin(), present.end(), n)) {
                    silentPresent += (silentPresent.empty() ? "COM" : ", COM") + std::to_string(n);
                    result = ProbeResult::Opened;
                } else {
                    silent += (silent.empty() ? "COM" : ", COM") + std::to_string(n);
                }
            }
            switch (result) {
                case ProbeResult::Opened:
                    portList.addItem(numberText(n));
                    found = true;
                    break;
                case ProbeResult::AccessDenied:
                    portList.addItem(std::to_string(n) + " - In Use");
                    ++inUse;
                    break;
                case ProbeResult::NotFound:
                    ++absent;
                    break;
                case ProbeResult::OtherError:
                    break;
            }
        }
        describePortList(ports);
        // Support's answer to "my port is not in the list".
        if (!silent.empty())
            logEvent("Ports sans réponse après " + std::to_string(kProbeLimit.count()) +
                     " ms, laissés hors de la liste : " + silent);
        if (!silentPresent.empty())
            logEvent("Ports sans réponse après " + std::to_string(kProbeLimit.count()) +
                     " ms, présents dans la liste du système et proposés comme libres : " +
                     silentPresent);
        if (found)
            portList.listIndex = 0;
        else if (absent == static_cast<std::int16_t>(ports.size()))
            showBox(kNoPortText, mb::OkOnly, kPortErrorTitle);
        else if (inUse > 0)
            showBox(kNoFreePortText, mb::OkOnly, kPortErrorTitle);
    } catch (const std::exception&) {
        showBox(kFallbackText, mb::Information, "Vigie Updater");
        portFilterMenu.checked = false;
        fillDefaultPortList(ports);
    }
}

}  // namespace vigie

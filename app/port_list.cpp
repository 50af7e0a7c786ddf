// The port list of cboPort and its two modes: probed ports (filter on) or COM1 to COM12.

#include <exception>

#include "app/frm_main.h"
#include "core/text.h"

namespace vigie {
namespace {

constexpr int kLastPort = 12;
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

void fillDefaultList(ComboBox& list) {
    list.clear();
    for (int n = 1; n <= kLastPort; ++n)
        list.addItem(numberText(n));
    list.listIndex = 0;
}

}  // namespace

void FrmMain::mnuMainFilter_Click() {
    cboPort.clear();
    mnuMainFilter.checked = !mnuMainFilter.checked;
    if (!mnuMainFilter.checked) {
        fillDefaultList(cboPort);
        return;
    }

    try {
        bool found = false;
        std::int16_t inUse = 0;
        std::int16_t absent = 0;
        for (int n = 1; n <= kLastPort; ++n) {
            switch (portProbe().probe(n)) {
                case ProbeResult::Opened:
                    cboPort.addItem(numberText(n));
                    found = true;
                    break;
                case ProbeResult::AccessDenied:
                    cboPort.addItem(std::to_string(n) + " - In Use");
                    ++inUse;
                    break;
                case ProbeResult::NotFound:
                    ++absent;
                    break;
                case ProbeResult::OtherError:
                    break;
            }
        }
        if (found)
            cboPort.listIndex = 0;
        else if (absent == kLastPort)
            showBox(kNoPortText, mb::OkOnly, kPortErrorTitle);
        else if (inUse > 0)
            showBox(kNoFreePortText, mb::OkOnly, kPortErrorTitle);
    } catch (const std::exception&) {
        showBox(kFallbackText, mb::Information, "Vigie Updater");
        mnuMainFilter.checked = false;
        fillDefaultList(cboPort);
    }
}

}  // namespace vigie

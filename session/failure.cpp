// The two ways a session ends from outside its loop: failure and the Close button.

#include "app/frm_main.h"

namespace vigie {

void FrmMain::FailUpdate() {
    CloseComPort();
    lblStatus.caption = "La mise à jour du K7 a échoué.";
    prgb1.value = 0;
}

void FrmMain::cmdClose_Click() {
    logEvent("Bouton Close");
    // The session notices the stop flag at its next yield and changes nothing more.
    CloseComPort();
    lblStatus.caption = "La mise à jour du K7 s'est arrêtée.";
}

}  // namespace vigie

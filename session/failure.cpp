// A session that fails ends here.

#include "session/update_session.h"

namespace vigie {

void UpdateSession::failUpdate() {
    closeSerialPort();
    statusLabel.caption = "La mise à jour du K7 a échoué.";
    progressBar.value = 0;
}

}  // namespace vigie

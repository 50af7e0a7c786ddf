// A session that fails ends here.

#include "session/update_session.h"

namespace vigie {

void UpdateSession::FailUpdate() {
    CloseComPort();
    lblStatus.caption = "La mise à jour du K7 a échoué.";
    prgb1.value = 0;
}

}  // namespace vigie

// Temporary weak definitions of procedures that are being written in other folders; each real
// definition replaces its stub. This file goes away once they have all landed.

#include "app/frm_main.h"
#include "app/rtf_reader.h"

#define PENDING __attribute__((weak))

namespace vigie {

PENDING void FrmMain::mnuMainFilter_Click() {
    cboPort.clear();
    mnuMainFilter.checked = !mnuMainFilter.checked;
    for (int n = 1; n <= 12; ++n)
        cboPort.addItem(" " + std::to_string(n));
    cboPort.listIndex = 0;
}
PENDING bool FrmMain::OpenComPort(std::int32_t) { return false; }
PENDING void FrmMain::CloseComPort() {}
PENDING void FrmMain::cmdGo_Click() {}
PENDING void FrmMain::cmdClose_Click() {}
PENDING void FrmMain::tmrCheck_Timer() {}
PENDING void FrmMain::tmrUserUpload_Timer() {}
PENDING void FrmMain::FailUpdate() {}
PENDING void FrmMain::Delay(std::int32_t) {}
PENDING std::string FrmMain::MakeRandomText() { return ""; }
PENDING bool FrmMain::ConnectToServer() { return false; }
PENDING bool FrmMain::DownloadDatabase() { return false; }
PENDING void FrmMain::DisconnectFromServer() {}
PENDING void FrmMain::ShowBusyPointer() {}
PENDING void FrmMain::ShowNormalPointer() {}
PENDING void FrmMain::mFTP_FileTransferProgress(std::int32_t, std::int32_t, bool) {}
PENDING std::string FrmMain::workFilePath() { return ""; }
PENDING std::string FrmMain::updateServer() { return ""; }
PENDING cFTP::cFTP(std::unique_ptr<ftp::FtpLayer> layer, std::function<void()> yield)
    : layer_(std::move(layer)), yield_(std::move(yield)) {}
PENDING cFTP::~cFTP() = default;
PENDING std::optional<std::string> loadRtfFile(const std::string&) { return std::nullopt; }

}  // namespace vigie

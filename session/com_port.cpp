// Opening the chosen port for an update, and returning the window to idle when an update ends.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "core/runtime_error.h"
#include "core/text.h"
#include "session/update_session.h"

namespace vigie {
namespace {

// Title of the boxes that name none: the program's short name.
constexpr const char* kAppTitle = "Vigie K7";

const char* const kInvalidPortText =
    "Une erreur s'est produite en essayant de se connecter au port \r\n"
    "COM choisi, essayer un numéro différent.";

const char* const kNotANumberText =
    "Une erreur s’est produite lors de la connection du port sélectionné. \r\n"
    "Fermez le logiciel, éteignez le K7 et recommencez en selectionnant un port différent.";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The list entry as a 16-bit number, the way the platform's integer conversion reads a plain
// decimal number: blanks around it, an optional sign, an optional fraction rounded half to even.
// Anything else ("3 - In Use", "") is a type mismatch; a number beyond 16 bits an overflow.
std::int16_t entryToInteger(const std::string& entry) {
    const std::string text = trimSpaces(entry);
    std::string_view s = text;
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const auto point = s.find('.');
    const std::string_view whole = s.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : s.substr(point + 1);
    bool valid = !whole.empty() || !fraction.empty();
    for (char c : whole)
        valid = valid && isDigit(c);
    for (char c : fraction)
        valid = valid && isDigit(c);
    if (!valid)
        throw RuntimeError(err::TypeMismatch, "frmMain", "Type mismatch");

    std::int64_t value = 0;
    for (char c : whole) {
        value = value * 10 + (c - '0');
        if (value > 100000)
            throw RuntimeError(err::Overflow, "frmMain", "Overflow");
    }
    if (!fraction.empty()) {
        const bool aboveHalf = fraction.front() > '5' ||
                               (fraction.front() == '5' &&
                                fraction.find_first_not_of('0', 1) != std::string_view::npos);
        const bool half =
            fraction.front() == '5' && fraction.find_first_not_of('0', 1) == std::string_view::npos;
        if (aboveHalf || (half && value % 2 == 1))
            ++value;
    }
    if (negative)
        value = -value;
    if (value < INT16_MIN || value > INT16_MAX)
        throw RuntimeError(err::Overflow, "frmMain", "Overflow");
    return static_cast<std::int16_t>(value);
}

}  // namespace

bool UpdateSession::openSerialPort(std::int32_t baudRate) {
    try {
        if (!serialPort().portOpen()) {
            serialPort().setCommPort(entryToInteger(portList.text()));
            const std::string settings = std::to_string(baudRate) + ",N,8,1";
            serialPort().setSettings(settings);
            serialPort().setInputLen(0);
            serialPort().setPortOpen(true);
            portStateLabel.caption = "Port Open";
            // Support asks "which port is the K7 on?": the adapter's name, where there is one.
            const std::string port = "COM" + std::to_string(serialPort().commPort());
            const std::string name = portList.toolTip();
            logEvent("Port " + port + " ouvert (" + settings + ")" +
                     (name.empty() || name == port ? "" : " : " + name));
        }
        return true;
    } catch (const RuntimeError& e) {
        logEvent("Port « " + trimSpaces(portList.text()) + " » refusé : erreur " +
                 std::to_string(e.Number) + " " + e.Description + " (système " +
                 std::to_string(e.LastDllError) + ")");
        if (e.Number == err::InvalidPortNumber)
            showBox(kInvalidPortText, mb::OkOnly, kAppTitle);
        else if (e.Number == err::TypeMismatch)
            showBox(kNotANumberText, mb::OkOnly, kAppTitle);
        // Any other failure (a port that another program holds, a device that does not answer)
        // is left without a message: the user simply tries again.
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

void UpdateSession::closeSerialPort() {
    if (serialPort().portOpen()) {
        serialPort().setPortOpen(false);
        portStateLabel.caption = "Port Closed";
    }
    setTimerEnabled(retryTimer, false);
    setTimerEnabled(savingTimer, false);
    disconnectFromServer();
    platform_.doEvents();
    statusLabel.font.size = 12;
    closeWorkFile();
    databaseList.enabled = true;
    closeButton.enabled = false;
    startButton.enabled = true;
    platform_.focusGoButton();
    portList.enabled = true;
    stopRequested = true;
    setTimerEnabled(dotsTimer, false);
    dotsLabel.caption = "";
}

}  // namespace vigie

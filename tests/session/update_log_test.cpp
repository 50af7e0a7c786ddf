// The log kept for support, as whole updates in virtual time write it: the events that explain
// each outcome, in order, without the device's name or password in clear, and an update whose
// log cannot be written ends as it would with its log.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "app/system_name.h"
#include "tests/session/session_fixture.h"
#include "tests/support/files.h"
#include "tests/support/memory_ftp_layer.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

const std::string kDatabase = database(110);
const std::string kSize = std::to_string(kDatabase.size());

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Each of the events shows in the log, in this order (other lines may come between them).
::testing::AssertionResult holdsInOrder(const std::vector<std::string>& log,
                                        const std::vector<std::string>& events) {
    auto line = log.begin();
    for (const std::string& event : events) {
        line = std::find_if(line, log.end(), [&](const std::string& l) {
            return l.find(event) != std::string::npos;
        });
        if (line == log.end()) {
            auto failure = ::testing::AssertionFailure();
            failure << "no \"" << event << "\" after the events before it; the log:\n";
            for (const std::string& l : log)
                failure << "  " << l << "\n";
            return failure;
        }
        ++line;
    }
    return ::testing::AssertionSuccess();
}

// "YYYY-MM-DD HH:MM:SS.mmm " and then some text.
bool isStamped(const std::string& line) {
    const std::string shape = "0000-00-00 00:00:00.000 ";
    if (line.size() <= shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
        if (shape[i] == '0' ? !digit : line[i] != shape[i])
            return false;
    }
    return true;
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

enum class Scene {
    Success,
    SavingEndsOnItsTimer,
    SilentDevice,
    RefusedLogin,
    MissingFile,
    CutShortDownload,
    VanishWhileSending,
    CloseWhileSending,
    BusyServer,
    ProgramClosedDuringTheConnection
};

struct LogCase {
    const char* name;
    Scene scene;
    std::string status;               // the status line at the end
    std::vector<std::string> events;  // after "Mise à jour : ...", in order
};

void PrintTo(const LogCase& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<std::string> kDialogue = {
    "Port COM1 ouvert (38400,N,8,1) : USB-SERIAL CH340 (COM1)",
    "Étape 1",
    "Le K7 répond au réveil",
    "Étape 2",
    "Le K7 demande T#FTPUN, identifiant AB****4",
    "Étape 3",
    "Le K7 demande T#FTPPW",
    "Étape 4",
    "Le K7 demande T#FTPFILEP",
    "Étape 5",
    "Le K7 demande T#FTPGET",
    "Étape 6",
    "Connexion au serveur ",
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> kSending = {
    "Étape 7",
    "Envoi vers le K7 : 110 lignes à envoyer",
};

// One update played from start to end on its own doubles and its own folders.
class SceneRun : public SessionFixture {
  public:
    // An unwritable log has a file in the way of its folder.
    explicit SceneRun(bool logWritable) {
        platform_.clock.millisecond = 42;
        auto layer = std::make_unique<MemoryFtpLayer>();
        ftp_ = layer.get();
        ftp_->users["ABC1234"] = "4321CBA";
        ftp_->files["LocationsMid.txt"] = kDatabase;
        layer_ = std::move(layer);
        probe_.names[1] = "USB-SERIAL CH340";
        if (!logWritable)
            writeFile(logFile().parent_path(), "in the way");
    }
    void TestBody() override {}

    // Sets up the scene's trouble, then runs the update to its end.
    MainForm& play(Scene scene) {
        switch (scene) {
            case Scene::SavingEndsOnItsTimer:
                k7_.endDelay = -1;
                break;
            case Scene::SilentDevice:
                k7_.silent = true;
                break;
            case Scene::RefusedLogin:
                ftp_->users["ABC1234"] = "another one";
                break;
            case Scene::MissingFile:
                ftp_->files.clear();
                break;
            case Scene::CutShortDownload:
                ftp_->failReadAt = 2;
                break;
            case Scene::VanishWhileSending:
                k7_.vanishAfterLines = 40;
                platform_.answers = {mb::No};
                break;
            case Scene::Success:
                ftp_->loginReply = "230 User ABC1234 logged in.";
                break;
            case Scene::CloseWhileSending:
                break;
            case Scene::BusyServer:
                ftp_->busyConnects = 2;
                break;
            case Scene::ProgramClosedDuringTheConnection:
                ftp_->yieldWhileWaiting = true;
                break;
        }
        MainForm& form = load(std::move(layer_));
        if (scene == Scene::MissingFile) {
            // Every attempt fails; the user closes the update at the third box.
            platform_.onBox = [&form, this](const ShownBox&) {
                if (platform_.boxes.size() == 3)
                    form.stopUpdate();
            };
        }
        if (scene == Scene::CloseWhileSending) {
            platform_.onYield = [&form, this, closed = false]() mutable {
                if (!closed && form.session().stage == 7 &&
                    std::count(k7_.received.begin(), k7_.received.end(), '\n') >= 50) {
                    closed = true;
                    form.stopUpdate();
                }
            };
        }
        if (scene == Scene::ProgramClosedDuringTheConnection) {
            platform_.onYield = [&form, this, closed = false]() mutable {
                if (!closed && form.session().stage == 6 && ftp_->connectCalls == 1) {
                    closed = true;
                    form.unload();
                }
            };
        }
        form.startUpdate();
        return form;
    }

    std::vector<std::string> log() const { return linesOf(readFile(logFile())); }
    bool logExists() const { return fs::exists(logFile()); }
    // What the start-up line tells of the machine: the system and where the program lives.
    std::string startUpFacts() const {
        return " ; système : " + systemDescription() + " ; dossier du programme : " + appPath();
    }

    // What the user and the device saw of the update.
    std::string outcome() const {
        std::string text = form_->statusLabel.caption + "\n";
        for (const ShownBox& box : platform_.boxes)
            text += box.title + ": " + box.text + "\n";
        return text + "device: " + k7_.received;
    }

    MemoryFtpLayer* ftp_;
    std::unique_ptr<MemoryFtpLayer> layer_;
};

class UpdateLogTest : public ::testing::TestWithParam<LogCase> {};

TEST_P(UpdateLogTest, HoldsTheEventsThatExplainTheOutcomeAndChangesNone) {
    const LogCase& c = GetParam();
    std::string outcome;
    {
        SceneRun run(true);
        MainForm& form = run.play(c.scene);
        EXPECT_EQ(form.statusLabel.caption, c.status);
        outcome = run.outcome();

        const std::vector<std::string> log = run.log();
        ASSERT_FALSE(log.empty());
        EXPECT_TRUE(holdsInOrder(
            log, std::vector<std::string>{"Démarrage de VIGIE K7 Téléchargement",
                                          "Mise à jour : port « 1 », base « Radars »"} +
                     c.events));
        // One result per update, never after the program's end.
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::string& l) {
                                    return l.find(" Résultat : ") != std::string::npos;
                                }),
                  1);
        const auto end = std::find_if(log.begin(), log.end(), [](const std::string& l) {
            return l.find(" Fin du programme") != std::string::npos;
        });
        for (auto l = end; l != log.end(); ++l)
            EXPECT_EQ(l->find(" Résultat : "), std::string::npos) << *l;
        EXPECT_EQ(log[0].rfind("2026-12-10 14:05:09.042 Démarrage de VIGIE K7 Téléchargement " +
                                   std::to_string(VIGIE_VERSION_MAJOR) + ".",
                               0),
                  0u)
            << log[0];
        EXPECT_NE(log[0].find(run.startUpFacts()), std::string::npos) << log[0];
#ifdef _WIN32
        EXPECT_EQ(systemDescription().rfind("Windows ", 0), 0u) << systemDescription();
#else
        EXPECT_NE(systemDescription().find(", Linux "), std::string::npos) << systemDescription();
#endif
        for (const std::string& line : log) {
            EXPECT_TRUE(isStamped(line)) << line;
            // Never the name nor the password (the name reversed), in any case; no data line.
            EXPECT_EQ(upper(line).find("ABC1234"), std::string::npos) << line;
            EXPECT_EQ(upper(line).find("4321CBA"), std::string::npos) << line;
            EXPECT_EQ(line.find("45.7,FIXE"), std::string::npos) << line;
        }
    }
    // Logging never changes an update: with its log folder in the way, the scene ends as it did,
    // with the same boxes and the same bytes sent to the device.
    SceneRun blocked(false);
    MainForm& form = blocked.play(c.scene);
    EXPECT_FALSE(form.updateLog().working());
    EXPECT_FALSE(blocked.logExists());
    EXPECT_EQ(blocked.outcome(), outcome);
}

const std::string kSuccessLine =
    "Résultat : K7 mis à jour. / Vous pouvez maintenant fermer ce programme";
const std::string kStatusFailed = "Résultat : La mise à jour du K7 a échoué.";

INSTANTIATE_TEST_SUITE_P(
    Scenes, UpdateLogTest,
    ::testing::Values(
        LogCase{
            "Success", Scene::Success, text::Success,
            kDialogue +
                std::vector<std::string>{"Connecté au serveur : 230 User AB****4 logged in.",
                                         "Téléchargement de LocationsMid.txt, tentative 1 sur 3",
                                         "Taille annoncée par le serveur : " + kSize + " octets",
                                         "Téléchargement réussi : " + kSize + " octets reçus"} +
                kSending +
                std::vector<std::string>{// 24 ms apart on the exact virtual clock
                                         "Envoi terminé : 110 lignes, " + kSize +
                                             " octets en 2,6 s, 24,0 ms par ligne en moyenne",
                                         "Marques de fin envoyées", "Étape 8",
                                         "Le K7 signale T#END", kSuccessLine}},
        LogCase{"SavingEndsOnItsTimer", Scene::SavingEndsOnItsTimer, text::Success,
                kDialogue + kSending +
                    std::vector<std::string>{
                        "Marques de fin envoyées", "Étape 8",
                        "Attente de l'enregistrement terminée (120 s) sans T#END", kSuccessLine}},
        LogCase{"SilentDevice",
                Scene::SilentDevice,
                text::GiveUp + text::WrongPort,
                {"Port COM1 ouvert", "Étape 1", "Réveil envoyé au K7",
                 "Relance 4 à l'étape 1 : réveil renvoyé", "Relance 5 à l'étape 1",
                 "Relance 10 à l'étape 1", "Résultat : " + text::GiveUp + text::WrongPort}},
        LogCase{"RefusedLogin", Scene::RefusedLogin, text::Failed,
                kDialogue +
                    std::vector<std::string>{
                        "Connexion refusée : InternetConnect error code: 12014 Message: "
                        "The login was refused. ; réponse du serveur : 530 "
                        "Authentication failed.",
                        "Message « " + text::LoginRefusedTitle +
                            " » : Le serveur de mise à jour a refusé",
                        "Réponse : OK", kStatusFailed}},
        LogCase{
            "MissingFile", Scene::MissingFile, text::Stopped,
            kDialogue +
                std::vector<std::string>{
                    "Connecté au serveur", "Téléchargement de LocationsMid.txt, tentative 1 sur 3",
                    "Téléchargement échoué : LocationsMid.txt absent du serveur "
                    "(erreur 18)",
                    "Message « Erreur » : Une erreur s'est produite pendant le "
                    "téléchargement",
                    "tentative 2 sur 3", "absent du serveur", "tentative 3 sur 3",
                    "absent du serveur", "Bouton Close", "Résultat : " + text::Stopped}},
        LogCase{"CutShortDownload", Scene::CutShortDownload, text::Success,
                kDialogue +
                    std::vector<std::string>{
                        "tentative 1 sur 3",
                        "Taille annoncée par le serveur : " + kSize + " octets",
                        "Téléchargement échoué après 1024 octets : InternetReadFile "
                        "error code: 12030",
                        "Message « Erreur »", "tentative 2 sur 3",
                        "Téléchargement réussi : " + kSize + " octets reçus"} +
                    kSending +
                    std::vector<std::string>{"Envoi terminé : 110 lignes", kSuccessLine}},
        LogCase{"VanishWhileSending", Scene::VanishWhileSending, text::Failed,
                kDialogue + std::vector<std::string>{"Téléchargement réussi"} + kSending +
                    std::vector<std::string>{// the device takes its 41st line, then goes
                                             "Erreur 8021 pendant l'envoi, après 41 lignes sur "
                                             "110 : Device lost",
                                             "Message « " + text::FailedTitle + " »",
                                             "Réponse : Non", kStatusFailed}},
        LogCase{"CloseWhileSending", Scene::CloseWhileSending, text::Stopped,
                kDialogue + std::vector<std::string>{"Téléchargement réussi"} + kSending +
                    std::vector<std::string>{"Bouton Close",
                                             "Envoi interrompu (Close) après 50 lignes sur 110",
                                             "Résultat : " + text::Stopped}},
        // Turned away twice, then taken after the two pauses of the virtual clock.
        LogCase{"BusyServer", Scene::BusyServer, text::Success,
                kDialogue +
                    std::vector<std::string>{
                        "Serveur occupé : 421 Too many users, try again later. ; nouvel essai 1 "
                        "sur 3 dans ",
                        "Serveur occupé : 421 Too many users, try again later. ; nouvel essai 2 "
                        "sur 3 dans ",
                        "Connecté au serveur", "Téléchargement réussi"} +
                    kSending + std::vector<std::string>{kSuccessLine}},
        // The window closed while the server is reached: the update's result comes before the
        // program's end, and says who stopped it.
        LogCase{"ProgramClosedDuringTheConnection", Scene::ProgramClosedDuringTheConnection,
                "Connecté au serveur. \r\nDébut du téléchargement...",
                kDialogue +
                    std::vector<std::string>{
                        "Résultat : mise à jour arrêtée par l'utilisateur (programme "
                        "fermé)",
                        "Fin du programme"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vigie::test

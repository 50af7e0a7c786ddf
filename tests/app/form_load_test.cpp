#include <gtest/gtest.h>

#include <optional>

#ifdef _WIN32
#include <windows.h>
#endif

#include "app/user_folders.h"
#include "tests/support/form_fixture.h"

namespace vigie::test {
namespace {

using Items = std::vector<std::string>;

struct SettingsCase {
    const char* name;
    std::optional<std::string> file;  // nullopt: no settings file
    bool filterOn;
    std::string selectedPort;
    bool testOffered;
    std::string writtenBack;
};

class FormLoadTest : public FormFixture {
  protected:
    FormLoadTest() {
        // COM1 and COM3 free, COM5 held by another program, the rest absent.
        probe_.results = {
            {1, ProbeResult::Opened}, {3, ProbeResult::Opened}, {5, ProbeResult::AccessDenied}};
    }
    void startAndEnd(const SettingsCase& c, const Items& filtered, const Items& all);
};

const Items kDefaultList{" 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8", " 9", " 10", " 11", " 12"};
const Items kFilteredList{" 1", " 3", "5 - In Use"};

// One start-up and shut-down of the program with the case's settings file: the lists as the
// settings leave them (the filtered or the default port list), then the line written back.
void FormLoadTest::startAndEnd(const SettingsCase& c, const Items& filtered, const Items& all) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(configDir());
    if (c.file)
        writeFile(settingsFile(), *c.file);
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    EXPECT_EQ(form.portFilterMenu.checked, c.filterOn);
    EXPECT_EQ(form.portList.items, c.filterOn ? filtered : all);
    EXPECT_EQ(form.portList.text(), c.selectedPort);
    Items files{"Radars", "Radars/Zones a riques/Ecoles"};
    if (c.testOffered)
        files.push_back("Test Locations");
    EXPECT_EQ(form.databaseList.items, files);
    EXPECT_EQ(form.databaseList.listIndex, 0);
    form.unload();
    EXPECT_EQ(readFile(settingsFile()), c.writtenBack);
    EXPECT_TRUE(platform_.ended);
    platform_.ended = false;
}

TEST_F(FormLoadTest, SettingsComeBackAndAreWrittenAgain) {
    const SettingsCase cases[] = {
        {"first run", std::nullopt, true, " 1", false, "*1*1*\r\n"},
        {"filter off, port 5", "*5*0*\r\n", false, " 5", false, "*5*0*\r\n"},
        {"port 5 in use keeps the probe's selection", "*5*1*\r\n", true, " 1", false, "*1*1*\r\n"},
        {"port 3 filtered", "*3*1*\r\n", true, " 3", false, "*3*1*\r\n"},
        {"test choice offered and kept", "*1*1*t*\r\n", true, " 1", true, "*1*1*t*\r\n"},
        {"port not a digit, filter digit 9", "*x*9*\r\n", false, " 1", false, "*1*0*\r\n"},
        {"upper-case T is dropped", "*3*1*T*\r\n", true, " 3", false, "*3*1*\r\n"},
        {"empty file", "", true, " 1", false, "*1*1*\r\n"},
        {"no star", "garbage\r\n", true, " 1", false, "*1*1*\r\n"},
        {"short line", "*3", true, " 3", false, "*3*1*\r\n"},
        {"binary", std::string("\x00\xFF*\x80\x01\x02\x03", 7), true, " 1", false, "*1*1*\r\n"},
        {"only seven characters are read", "*3*0*t*trailing*t*", false, " 3", true, "*3*0*t*\r\n"},
    };
    for (const SettingsCase& c : cases)
        startAndEnd(c, kFilteredList, kDefaultList);
}

// The port's whole number is kept, so that COM10 and above come back as themselves: COM1 to
// COM12 free, COM14 free and COM27 held, both above 12 and listed by the system.
TEST_F(FormLoadTest, PortsAboveNineComeBackWhole) {
    probe_.results.clear();
    for (int n : {1, 3, 10, 11, 12, 14})
        probe_.results[n] = ProbeResult::Opened;
    probe_.results[27] = ProbeResult::AccessDenied;
    probe_.listed = {14, 27};
    const Items filtered{" 1", " 3", " 10", " 11", " 12", " 14", "27 - In Use"};
    Items all = kDefaultList;
    all.insert(all.end(), {" 14", " 27"});
    const SettingsCase cases[] = {
        {"an old line", "*1*1*\r\n", true, " 1", false, "*1*1*\r\n"},
        {"port 11", "*11*1*\r\n", true, " 11", false, "*11*1*\r\n"},
        {"port 14 with the test choice", "*14*1*t*\r\n", true, " 14", true, "*14*1*t*\r\n"},
        {"port 14, filter off", "*14*0*\r\n", false, " 14", false, "*14*0*\r\n"},
        {"port 27 in use keeps the probe's selection", "*27*1*\r\n", true, " 1", false,
         "*1*1*\r\n"},
        {"a port no longer present", "*40*1*t*\r\n", true, " 1", true, "*1*1*t*\r\n"},
        {"port 27, filter off", "*27*0*t*\r\n", false, " 27", true, "*27*0*t*\r\n"},
        {"port 255 gone, filter off", "*255*0*t*\r\n", false, " 1", true, "*1*0*t*\r\n"},
        {"no port", "**1*t*\r\n", true, " 1", true, "*1*1*t*\r\n"},
    };
    for (const SettingsCase& c : cases)
        startAndEnd(c, filtered, all);
}

TEST_F(FormLoadTest, AnInUseEntryIsStoredByItsWholeNumber) {
    probe_.results[12] = ProbeResult::AccessDenied;
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    ASSERT_EQ(form.portList.items.back(), "12 - In Use");
    form.portList.listIndex = form.portList.listCount() - 1;
    form.unload();
    EXPECT_EQ(readFile(settingsFile()), "*12*1*\r\n");
}

TEST_F(FormLoadTest, StartUpLeavesTheWindowIdleWithTheInstructions) {
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    EXPECT_TRUE(platform_.mainShown);
    EXPECT_EQ(form.caption, "VIGIE K7 Téléchargement (v1.0.2)");
    EXPECT_EQ(form.dotsLabel.caption, "");
    EXPECT_EQ(
        form.statusLabel.caption,
        "1. Sélectionner le port dans lequel le K7 est connecté dans \u201CCom Port\u201D.\r\n"
        "2. Selectionner la base de données à télécharger dans \u201CDownload File\u201D.\r\n"
        "3. Cliquer \u201CStart Update\u201D.");
    EXPECT_EQ(form.statusLabel.font.size, 10);
    EXPECT_FALSE(form.statusLabel.font.bold);
    EXPECT_EQ(form.statusLabel.alignment, Alignment::Left);
    EXPECT_EQ(form.session().workFileName, "temp.hd");
    EXPECT_TRUE(form.startButton.enabled);
    EXPECT_FALSE(form.closeButton.enabled);
    EXPECT_TRUE(form.databaseList.enabled);
    EXPECT_FALSE(form.session().stopRequested);
    EXPECT_FALSE(form.session().loginRefused);
    EXPECT_EQ(form.progressBar.value, 0);
    EXPECT_EQ(form.progressBar.barColor, 0xFF0031u);
    EXPECT_EQ(form.progressBar.backColor, 0xFFFFFFu);
    EXPECT_FALSE(form.session().retryTimer.enabled() || form.session().savingTimer.enabled() ||
                 form.dotsTimer.enabled());
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(FormLoadTest, LeavingTheStartWindowWithoutNextEndsSilently) {
    writeFile(settingsFile(), "*3*0*t*\r\n");
    platform_.startNext = false;
    MainForm& form = makeForm();
    EXPECT_FALSE(form.load());
    EXPECT_TRUE(platform_.ended);
    EXPECT_FALSE(platform_.mainShown);
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_EQ(readFile(settingsFile()), "*3*0*t*\r\n");
    EXPECT_EQ(form.caption, "VIGIE K7 Téléchargement ");
}

#ifdef _WIN32
TEST_F(FormLoadTest, ADriveTempFolderThatCannotBeMadeSendsTheSettingsToTheUsersFolder) {
    writeFile(configDir(), "a file where the folder should be");
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    EXPECT_TRUE(platform_.boxes.empty());
    EXPECT_EQ(form.settingsFile, userStateFolder() + "\\HD.ini");
    EXPECT_TRUE(std::filesystem::is_directory(filePath(userStateFolder())));
}
#else
TEST_F(FormLoadTest, SettingsFolderThatCannotBeCreatedStopsWithItsBox) {
    writeFile(configDir(), "a file where the folder should be");
    MainForm& form = makeForm();
    EXPECT_FALSE(form.load());
    ASSERT_EQ(platform_.boxes.size(), 1u);
    const ShownBox& box = platform_.boxes[0];
    EXPECT_EQ(box.title, "Vigie M4 Error");
    EXPECT_EQ(box.flags, mb::Critical);
    const std::string folder = pathText(settingsFile().parent_path());
    EXPECT_EQ(box.text, "Erreur, impossible de créer le répertoire " + folder +
                            ". Vous avez besoin de permissions supplémentaires de sécurité pour "
                            "créer des dossiers et des répertoires. Ce programme doit pouvoir "
                            "créer le répertoire " +
                            folder +
                            " et pouvoir créer des dossiers dans ce répertoire afin de "
                            "fonctionner.");
    EXPECT_TRUE(platform_.ended);
    EXPECT_FALSE(platform_.mainShown);
}
#endif

TEST_F(FormLoadTest, ShutDownThatCannotWriteStillEnds) {
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    // A folder in the settings file's place can be neither deleted nor written.
    writeFile(settingsFile() / "blocker", "x");
    form.unload();
    EXPECT_TRUE(platform_.ended);
    EXPECT_TRUE(std::filesystem::is_directory(settingsFile()));
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(FormLoadTest, ReadOnlySettingsFileIsReplaced) {
    namespace fs = std::filesystem;
    writeFile(settingsFile(), "*3*1*\r\n");
    // A second name for the old file shows whether it was deleted or written over.
    const fs::path oldFile = configDir() / "old-settings";
    fs::create_hard_link(settingsFile(), oldFile);
    fs::permissions(settingsFile(), fs::perms::owner_read);
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    form.portList.listIndex = 0;
    form.unload();
    // Deleted, then written anew: the new line is in a file of its own, and the old file keeps
    // the old line. (A user allowed to write to read-only files, as root is, would not tell a
    // file written over from its content.)
    EXPECT_EQ(readFile(settingsFile()), "*1*1*\r\n");
    EXPECT_EQ(readFile(oldFile), "*3*1*\r\n");
    EXPECT_FALSE(fs::equivalent(settingsFile(), oldFile));
    fs::permissions(oldFile, fs::perms::owner_write, fs::perm_options::add);
}

// A forced sign-out or a power cut in the middle of an update left the distributor's database
// beside the program: the next start overwrites it with filler and deletes it, as after a sending.
TEST_F(FormLoadTest, AWorkingFileLeftByAnEarlierRunIsOverwrittenAndDeletedAtStartUp) {
    namespace fs = std::filesystem;
    const fs::path leftover = appDir() / "temp.hd";
    const std::string database = "48.85837,2.29448,50,1,0\r\n45.76404,4.83566,90,2,0\r\n";
    writeFile(leftover, database);
    fs::permissions(leftover, fs::perms::owner_read);  // read-only: wiped all the same
    // A second name for the file shows what was written over it before its deletion.
    const fs::path sameFile = dir_.path() / "same-file";
    fs::create_hard_link(leftover, sameFile);
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    EXPECT_FALSE(fs::exists(leftover));
    const std::string overwritten = readFile(sameFile);
    EXPECT_EQ(overwritten.find("48.85837"), std::string::npos) << "not overwritten";
    EXPECT_EQ(overwritten.rfind("12-10-2026 14:05:09 ", 0), 0u) << overwritten.substr(0, 40);
    EXPECT_GT(overwritten.size(), 20000u) << "no filler";
    EXPECT_TRUE(platform_.mainShown);
    EXPECT_TRUE(platform_.boxes.empty());
    const std::string log = readFile(logFile());
    const std::string line =
        "Fichier de travail d'une mise à jour précédente réécrit et effacé : " +
        pathText(appDir()) + "/temp.hd";
    const auto wiped = log.find(line);
    EXPECT_NE(wiped, std::string::npos) << log;
    // Before the window shows, and so before the start-up's own line.
    EXPECT_LT(wiped, log.find("Démarrage de VIGIE K7")) << log;
    fs::permissions(sameFile, fs::perms::owner_write, fs::perm_options::add);

    // The next start finds nothing, and says nothing of it.
    form.unload();
    form_.reset();
    ASSERT_TRUE(makeForm().load());
    const std::string again = readFile(logFile());
    EXPECT_EQ(again.find("Fichier de travail", wiped + line.size()), std::string::npos) << again;
}

#ifdef _WIN32
// Another program holds the file and never lets it be deleted: after the 2 s of retries the log
// says so, the file stays, and the program starts as always.
TEST_F(FormLoadTest, AWorkingFileThatCannotBeDeletedAtStartUpIsLeftAndTheProgramStarts) {
    const std::filesystem::path leftover = appDir() / "temp.hd";
    writeFile(leftover, "distributor's data\r\n");
    HANDLE holder =
        ::CreateFileW(leftover.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    MainForm& form = makeForm();
    const bool loaded = form.load();
    ::CloseHandle(holder);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(std::filesystem::exists(leftover));
    EXPECT_TRUE(platform_.mainShown);
    EXPECT_TRUE(platform_.boxes.empty());
    const std::string log = readFile(logFile());
    EXPECT_NE(log.find("Fichier de travail tenu par un autre programme : effacement impossible "
                       "après 2000 ms"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Fichier de travail d'une mise à jour précédente impossible à effacer : " +
                       pathText(appDir()) + "/temp.hd"),
              std::string::npos)
        << log;
}
#endif

TEST_F(FormLoadTest, ShutDownRunsOnceWhateverClosesTheWindow) {
    MainForm& form = makeForm();
    ASSERT_TRUE(form.load());
    form.exitProgram();
    EXPECT_TRUE(platform_.ended);
    writeFile(settingsFile(), "changed");
    form.unload();  // the window's close event after Exit
    EXPECT_EQ(readFile(settingsFile()), "changed");
}

}  // namespace
}  // namespace vigie::test

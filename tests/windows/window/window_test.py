#!/usr/bin/python3
"""The Windows program's windows under Wine, as a user meets them: the start window, the main
window after Next, the help window, where each opens, Esc, the keys of the buttons and the menu,
the close boxes, the documents and their fallback messages, the settings file written on exit on
the program's own drive; and the zip a user unpacks, started from where it was unpacked.

    window_test.py --program build-win/bin/vigie-k7.exe --driver build-win/bin/window_driver.exe
                   --recorder build-win/bin/page_recorder.exe --zip build-win/dist/vigie-k7-1.0.2-win64.zip
                   --support-page https://www.vigie-k7.example/telechargement.php
"""

import argparse
import os
import pty
import shutil
import sys
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_window import (HELP_TITLE, MAIN_TITLE, START_TITLE, WineDesk,  # noqa: E402
                         make_read_only, make_writable, program_folder)

ARGS = None

INSTRUCTIONS = (
    "1. Sélectionner le port dans lequel le K7 est connecté dans “Com Port”.\r\n"
    "2. Selectionner la base de données à télécharger dans “Download File”.\r\n"
    "3. Cliquer “Start Update”."
)


ALL_PORTS = [" %d" % n for n in range(1, 13)]
# The boxes of the port's open name no title: the program's short name.
PORT_BOX_TITLE = "Vigie K7"


class WindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desk = WineDesk(ARGS.driver)

    @classmethod
    def tearDownClass(cls):
        cls.desk.close()

    def start_program(self, documents=True):
        folder = program_folder(self.desk, ARGS.program, documents)
        for name in ("UserGuide.rtf", "M4Start.rtf"):
            if not documents and os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))
        ini = os.path.join(folder, "Temp", "HD.ini")
        if os.path.exists(ini):
            os.remove(ini)
        process = self.desk.start("P:\\vigie-k7.exe")
        self.addCleanup(self.desk.stop, process)
        self.assertTrue(self.desk.wait(START_TITLE), "no start window")
        return process, folder

    def assert_stays_open(self, title):
        """Esc must not close a window without a Cancel button: typed, the window is waited for
        to go, and does not."""
        self.assertTrue(self.desk.type(title, "escape"))
        self.assertFalse(self.desk.gone(title, 3000), "Esc closed " + title)

    def assert_centred(self, title):
        """The window's frame in the middle of the screen's work area, to the pixel (an odd
        difference leaves half a pixel either way)."""
        left, top, width, height = self.desk.rect(title)
        area_left, area_top, area_width, area_height = self.desk.work_area()
        self.assertLessEqual(abs(left - (area_left + (area_width - width) / 2)), 0.5, title)
        self.assertLessEqual(abs(top - (area_top + (area_height - height) / 2)), 0.5, title)

    def user_settings(self):
        """HD.ini in %LOCALAPPDATA%\\VIGIE K7, as a Linux path."""
        if not hasattr(self.desk, "user_settings"):
            local = self.desk.unix_path(self.desk.windows_env("LOCALAPPDATA"))
            self.desk.user_settings = os.path.join(local, "VIGIE K7", "HD.ini")
        return self.desk.user_settings

    def test_start_window_then_main_window_then_help(self):
        process, folder = self.start_program()
        # A button of its own on the taskbar and in Alt+Tab, though the hidden main window owns
        # it; clicked away, it comes back to the front when activated.
        self.assertTrue(self.desk.drive("style", START_TITLE)[1][0].startswith("appwindow owned"))
        self.assertEqual(self.desk.drive("front", START_TITLE)[1], ["front"])
        status, text = self.desk.drive("doctext", START_TITLE)
        self.assertEqual(status, 0)
        body = "\n".join(text)
        # The document is shown as text, not as its RTF source.
        self.assertIn("VIGIE K7", body)
        self.assertNotIn("\\rtf", body)
        self.assert_centred(START_TITLE)
        self.assert_stays_open(START_TITLE)
        self.assertEqual(self.desk.drive("click", START_TITLE, "Next")[0], 0)

        self.assertTrue(self.desk.wait("VIGIE K7 Téléchargement (v1.0.2)"), "no main window")
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdGo")[1], ["enabled focused"])
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdClose")[1], ["disabled"])
        self.assertEqual(self.desk.text(MAIN_TITLE, "lblStatus"), INSTRUCTIONS)
        self.assertEqual(self.desk.drive("items", MAIN_TITLE, "cboFile")[1],
                         ["Radars", "Radars/Zones a riques/Ecoles"])
        self.assertEqual(self.desk.drive("bar", MAIN_TITLE, "prgb1")[1], ["0"])
        # The fixed outer size, 5970 x 4965 twips, at 96 DPI.
        self.assertEqual(self.desk.rect(MAIN_TITLE)[2:], (398, 331))
        # The log tells support which common controls the windows have (6 where the manifest's
        # request took; Wine 8 answers 5.81 here).
        self.assertRegex(self.desk.program_log_tail(500),
                         r"Contrôles communs : comctl32 [0-9]+\.[0-9]+\.[0-9]+")
        self.assert_centred(MAIN_TITLE)

        self.assertEqual(self.desk.drive("menu", MAIN_TITLE, "MnuMainHelp")[0], 0)
        self.assertTrue(self.desk.wait(HELP_TITLE), "no help window")
        self.assertNotIn("Could Not Be Found", "\n".join(self.desk.drive("doctext", HELP_TITLE)[1]))
        # The help window belongs to the main window's button.
        self.assertTrue(self.desk.drive("style", HELP_TITLE)[1][0].startswith("noappwindow owned"))
        self.assert_centred(HELP_TITLE)
        self.assert_stays_open(HELP_TITLE)
        self.assertEqual(self.desk.drive("click", HELP_TITLE, "OK")[0], 0)
        self.assertTrue(self.desk.gone(HELP_TITLE))

        # Closing the main window saves the settings on the program's drive and ends the program.
        self.assertEqual(self.desk.drive("close", MAIN_TITLE)[0], 0)
        process.wait(timeout=30)
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            line = f.read()
        self.assertRegex(line, rb"^\*[0-9]?\*1\*\r\n$")
        # A root that can be written keeps them there alone.
        self.assertFalse(os.path.exists(self.user_settings()), "settings in the user's folder")

    def test_a_working_file_left_by_an_earlier_run_is_wiped_at_start(self):
        """A forced sign-out in the middle of an update left the distributor's database beside
        the program: the next start overwrites it with filler and deletes it before the main
        window shows, and the update log names it."""
        folder = program_folder(self.desk, ARGS.program)
        leftover = os.path.join(folder, "temp.hd")
        with open(leftover, "wb") as f:
            f.write(b"48.85837,2.29448,50,1,0\r\n" * 100)
        self.addCleanup(lambda: os.path.exists(leftover) and os.remove(leftover))
        process, _ = self.start_program()
        self.assertEqual(self.desk.drive("click", START_TITLE, "Next")[0], 0)
        # The filler yields to the window's events every 10 characters, a round trip to Wine's
        # server each: on a loaded machine that alone may pass the usual 20 s.
        self.assertTrue(self.desk.wait(MAIN_TITLE, 90000),
                        "no main window: " + self.desk.describe(process))
        self.assertFalse(os.path.exists(leftover), "the working file is still there")
        log = self.desk.program_log_tail(500)
        wiped = [line for line in log.splitlines()
                 if "Fichier de travail d'une mise à jour précédente réécrit et effacé : P:" in line
                 and line.endswith("temp.hd")]
        self.assertTrue(wiped, log)

    def test_missing_documents_show_their_messages(self):
        process, _ = self.start_program(documents=False)
        self.assertEqual(self.desk.drive("doctext", START_TITLE)[1],
                         ["Text File in Use or Could Not Be Found (M4Start.rtf)"])
        # Plain text in the window's font, not in the weight of the box's own default font.
        self.assertEqual(self.desk.drive("docformat", START_TITLE)[1], ["regular Tahoma 9"])
        self.desk.drive("click", START_TITLE, "Next")
        self.assertTrue(self.desk.wait(MAIN_TITLE))
        self.desk.drive("menu", MAIN_TITLE, "MnuMainHelp")
        self.assertTrue(self.desk.wait(HELP_TITLE))
        self.assertEqual(self.desk.drive("doctext", HELP_TITLE)[1],
                         ["Text File in Use or Could Not Be Found (Userguide.rtf)"])
        self.assertEqual(self.desk.drive("docformat", HELP_TITLE)[1], ["regular tahoma 9"])
        # The help window's close box is its OK button.
        self.desk.drive("close", HELP_TITLE)
        self.assertTrue(self.desk.gone(HELP_TITLE))
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)

    def test_keys_do_what_the_buttons_and_the_menu_do(self):
        # COM1 opens (a terminal nobody answers on), so that Start Update runs an update.
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        self.desk.map_com(1, os.ttyname(slave))
        # The browser, as the shell finds it for a web address: a GUI program that writes down
        # what it was asked to open.
        opened = os.path.join(self.desk.work, "opened.txt")
        self.desk.register_browser([self.desk.windows_path(ARGS.recorder),
                                    self.desk.windows_path(opened)])
        process, folder = self.start_program()
        self.desk.drive("click", START_TITLE, "Next")
        self.assertTrue(self.desk.wait(MAIN_TITLE))
        self.desk.drive("select", MAIN_TITLE, "cboPort",
                        self.desk.drive("items", MAIN_TITLE, "cboPort")[1].index(" 1"))

        def running():
            return self.desk.drive("state", MAIN_TITLE, "cmdClose")[1] == ["enabled"]

        def opened_pages():
            if not os.path.exists(opened):
                return []
            with open(opened, encoding="utf-8") as f:
                return f.read().splitlines()

        # Enter, then Space, on the focused Start Update: each starts an update, as a click does.
        for key in ("return", "space"):
            self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdGo")[1], ["enabled focused"])
            self.assertTrue(self.desk.type(MAIN_TITLE, key))
            self.assertEqual(self.desk.wait_text(MAIN_TITLE, "Label5", "1", 10), "  1", key)
            self.assertTrue(running(), key)
            self.desk.drive("click", MAIN_TITLE, "Close")
            self.assertEqual(self.desk.wait_text(MAIN_TITLE, "lblStatus", "arrêtée", 10),
                             "La mise à jour du K7 s'est arrêtée.")

        # Bare letters and Esc do nothing: no menu command, no close, no update.
        ports = self.desk.drive("items", MAIN_TITLE, "cboPort")[1]
        self.assertNotEqual(ports, ALL_PORTS, "the filter shows every port: nothing to tell")
        for key in ("f", "h", "t", "d", "x", "escape"):
            self.assertTrue(self.desk.type(MAIN_TITLE, key))
        self.assertFalse(self.desk.wait(HELP_TITLE, 2000), "a letter opened the help")
        self.assertIsNone(process.poll(), "a letter ended the program")
        self.assertFalse(running())
        self.assertEqual(self.desk.drive("items", MAIN_TITLE, "cboPort")[1], ports)
        self.assertEqual(opened_pages(), [])

        # Ctrl+F turns the port filter off (the whole list of twelve ports) and on again.
        self.assertTrue(self.desk.type(MAIN_TITLE, "ctrl+f"))
        self.assertTrue(self.desk.wait_items(MAIN_TITLE, "cboPort", ALL_PORTS, 10))
        self.assertTrue(self.desk.type(MAIN_TITLE, "ctrl+f"))
        self.assertTrue(self.desk.wait_items(MAIN_TITLE, "cboPort", ports, 10))
        # Ctrl+H: the help window.
        self.assertTrue(self.desk.type(MAIN_TITLE, "ctrl+h"))
        self.assertTrue(self.desk.wait(HELP_TITLE, 10000), "Ctrl+H opened no help")
        self.desk.drive("click", HELP_TITLE, "OK")
        self.assertTrue(self.desk.gone(HELP_TITLE))
        # Ctrl+T and Ctrl+D: the support page, in the browser, each once.
        for count, key in enumerate(("ctrl+t", "ctrl+d"), start=1):
            self.assertTrue(self.desk.type(MAIN_TITLE, key))
            self.assertTrue(self.desk.wait_until(lambda: len(opened_pages()) >= count, 20), key)
        self.assertEqual(opened_pages(), [ARGS.support_page] * 2)
        # Ctrl+X: the program ends as through its close box, the settings written.
        self.assertTrue(self.desk.type(MAIN_TITLE, "ctrl+x"))
        process.wait(timeout=30)
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            self.assertEqual(f.read(), b"*1*1*\r\n")

    def test_the_focus_comes_back_after_a_box_and_after_the_help_window(self):
        process, folder = self.start_program()
        self.desk.drive("click", START_TITLE, "Next")
        self.assertTrue(self.desk.wait(MAIN_TITLE))
        # A port with nothing behind it: Start Update ends in a box.
        self.assertTrue(self.desk.type(MAIN_TITLE, "ctrl+f"))
        self.assertTrue(self.desk.wait_items(MAIN_TITLE, "cboPort", ALL_PORTS, 10))
        self.desk.drive("select", MAIN_TITLE, "cboPort", ALL_PORTS.index(" 9"))

        def enter_shows_the_box(key, after):
            self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdGo")[1], ["enabled focused"],
                             after)
            self.assertTrue(self.desk.type(MAIN_TITLE, key))
            text = self.desk.box(PORT_BOX_TITLE, "OK")
            self.assertIsNotNone(text, "%s after %s started nothing" % (key, after))
            self.assertTrue(text[0].startswith("Une erreur s'est produite en essayant de se "
                                               "connecter au port"), text)
            self.assertTrue(self.desk.gone(PORT_BOX_TITLE))

        enter_shows_the_box("return", "the start")
        enter_shows_the_box("return", "a box")
        enter_shows_the_box("space", "a box")
        self.assertEqual(self.desk.drive("menu", MAIN_TITLE, "MnuMainHelp")[0], 0)
        self.assertTrue(self.desk.wait(HELP_TITLE), "no help window")
        self.desk.drive("click", HELP_TITLE, "OK")
        self.assertTrue(self.desk.gone(HELP_TITLE))
        enter_shows_the_box("return", "the help window")
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)

    def test_signing_out_ends_the_program_as_its_close_box_does(self):
        process, folder = self.start_program()
        self.desk.drive("click", START_TITLE, "Next")
        self.assertTrue(self.desk.wait(MAIN_TITLE))
        self.assertEqual(self.desk.drive("send", MAIN_TITLE, "queryendsession")[1], ["1"])
        self.assertIsNone(process.poll(), "asked whether it may end, the program ended")
        self.assertEqual(self.desk.drive("send", MAIN_TITLE, "endsession")[0], 0)
        process.wait(timeout=30)
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            self.assertRegex(f.read(), rb"^\*[0-9]?\*1\*\r\n$")

    def test_closing_the_start_window_ends_the_program_without_settings(self):
        process, folder = self.start_program()
        self.assertEqual(self.desk.drive("close", START_TITLE)[0], 0)
        process.wait(timeout=30)
        self.assertFalse(os.path.exists(os.path.join(folder, "Temp", "HD.ini")))
        self.assertFalse(self.desk.wait(MAIN_TITLE, 100), "the main window appeared")

    def test_settings_on_a_drive_whose_root_cannot_be_written(self):
        # R:\VIGIE K7, on a drive whose root refuses new folders (a network share, a locked-down
        # machine): the settings go to %LOCALAPPDATA%\VIGIE K7 and come back from there.
        root = os.path.join(self.desk.work, "drive-r")
        program_dir = os.path.join(root, "VIGIE K7")
        os.makedirs(program_dir, exist_ok=True)
        for path in (ARGS.program, os.path.join(os.path.dirname(ARGS.program), "UserGuide.rtf"),
                     os.path.join(os.path.dirname(ARGS.program), "M4Start.rtf")):
            shutil.copy(path, program_dir)
        self.desk.map_drive("r", root)
        self.addCleanup(make_writable, root)
        if not make_read_only(root):
            self.skipTest("this machine lets this user write into any folder")
        ini = self.user_settings()
        if os.path.exists(ini):
            os.remove(ini)
        self.addCleanup(lambda: os.path.exists(ini) and os.remove(ini))

        def run(then):
            process = self.desk.start("R:\\VIGIE K7\\vigie-k7.exe")
            self.addCleanup(self.desk.stop, process)
            self.assertTrue(self.desk.wait(START_TITLE), "the program did not start")
            self.desk.drive("click", START_TITLE, "Next")
            self.assertTrue(self.desk.wait(MAIN_TITLE), "no main window")
            then()
            self.desk.drive("close", MAIN_TITLE)
            process.wait(timeout=30)

        def choose():
            self.assertTrue(self.desk.type(MAIN_TITLE, "ctrl+f"))
            self.assertTrue(self.desk.wait_items(MAIN_TITLE, "cboPort", ALL_PORTS, 10))
            self.desk.drive("select", MAIN_TITLE, "cboPort", ALL_PORTS.index(" 4"))

        def the_choice_came_back():
            self.assertEqual(self.desk.drive("items", MAIN_TITLE, "cboPort")[1], ALL_PORTS)
            self.assertEqual(self.desk.text(MAIN_TITLE, "cboPort"), " 4")

        run(choose)
        with open(ini, "rb") as f:
            self.assertEqual(f.read(), b"*4*0*\r\n")
        self.assertEqual(os.listdir(root), ["VIGIE K7"])
        run(the_choice_came_back)
        with open(ini, "rb") as f:
            self.assertEqual(f.read(), b"*4*0*\r\n")

        # A Temp folder that is there but refuses the file: the user's folder again.
        make_writable(root)
        temp = os.path.join(root, "Temp")
        os.makedirs(temp, exist_ok=True)
        self.addCleanup(make_writable, temp)
        self.assertTrue(make_read_only(temp))
        run(the_choice_came_back)
        self.assertEqual(os.listdir(temp), [])

    def test_the_unpacked_zip_starts(self):
        with zipfile.ZipFile(ARGS.zip) as archive:
            self.assertEqual(sorted(archive.namelist()),
                             ["M4Start.rtf", "README.txt", "UserGuide.rtf", "vigie-k7.exe"])
            readme = archive.read("README.txt")
            folder = os.path.join(self.desk.work, "drive-q")
            archive.extractall(folder)
        # A Windows editor's README: CR LF line ends, French, the port and the firewall.
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))
        text = readme.decode("utf-8-sig")
        for words in ("vigie-k7.exe", "COM", "Pare-feu", "Next"):
            self.assertIn(words, text)

        self.desk.map_drive("q", folder)
        process = self.desk.start("Q:\\vigie-k7.exe")
        self.addCleanup(self.desk.stop, process)
        self.assertTrue(self.desk.wait(START_TITLE), "no start window from the unpacked zip")
        # The documents were found beside the program.
        self.assertNotIn("Could Not Be Found",
                         "\n".join(self.desk.drive("doctext", START_TITLE)[1]))
        self.desk.drive("click", START_TITLE, "Next")
        self.assertTrue(self.desk.wait(MAIN_TITLE))
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        self.assertTrue(os.path.exists(os.path.join(folder, "Temp", "HD.ini")))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--recorder", required=True)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--support-page", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

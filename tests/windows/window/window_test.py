#!/usr/bin/python3
"""The Windows program's windows under Wine, as a user meets them: the start window, the main
window after Next, the help window, Esc, the close boxes, the documents and their fallback
messages, the settings file written on exit on the program's own drive; and the zip a user
unpacks, started from where it was unpacked.

    window_test.py --program build-win/bin/vigie-k7.exe --driver build-win/bin/window_driver.exe
                   --zip build-win/dist/vigie-k7-1.0.2-win64.zip
"""

import argparse
import os
import sys
import time
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_window import HELP_TITLE, MAIN_TITLE, START_TITLE, WineDesk, program_folder  # noqa: E402

ARGS = None

INSTRUCTIONS = (
    "1. Sélectionner le port dans lequel le K7 est connecté dans “Com Port”.\r\n"
    "2. Selectionner la base de données à télécharger dans “Download File”.\r\n"
    "3. Cliquer “Start Update”."
)


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
        """Esc must not close a window without a Cancel button."""
        self.assertEqual(self.desk.drive("key", title, "escape")[0], 0)
        time.sleep(1)
        self.assertTrue(self.desk.wait(title, 100), "Esc closed " + title)

    def test_start_window_then_main_window_then_help(self):
        process, folder = self.start_program()
        status, text = self.desk.drive("doctext", START_TITLE)
        self.assertEqual(status, 0)
        body = "\n".join(text)
        # The document is shown as text, not as its RTF source.
        self.assertIn("VIGIE K7", body)
        self.assertNotIn("\\rtf", body)
        self.assert_stays_open(START_TITLE)
        self.assertEqual(self.desk.drive("click", START_TITLE, "Next")[0], 0)

        self.assertTrue(self.desk.wait("VIGIE K7 Téléchargement (v1.0.2)"), "no main window")
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdGo")[1], ["enabled focused"])
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdClose")[1], ["disabled"])
        self.assertEqual(self.desk.text(MAIN_TITLE, "lblStatus"), INSTRUCTIONS)
        self.assertEqual(self.desk.drive("items", MAIN_TITLE, "cboFile")[1],
                         ["Radars", "Radars/Zones a riques/Ecoles"])
        self.assertEqual(self.desk.drive("bar", MAIN_TITLE, "prgb1")[1], ["0"])
        # The fixed outer size, 5970 x 4965 twips, at 96 DPI; centred on the 1024 x 768 desktop.
        status, rect = self.desk.drive("rect", MAIN_TITLE)
        left, top, width, height = (int(v) for v in rect[0].split()[1:])
        self.assertEqual((width, height), (398, 331))
        self.assertLessEqual(abs(left - (1024 - width) // 2), 1)
        self.assertLessEqual(abs(top - (768 - height) // 2), 40)  # the work area may lack a bar

        self.assertEqual(self.desk.drive("menu", MAIN_TITLE, "MnuMainHelp")[0], 0)
        self.assertTrue(self.desk.wait(HELP_TITLE), "no help window")
        self.assertNotIn("Could Not Be Found", "\n".join(self.desk.drive("doctext", HELP_TITLE)[1]))
        self.assert_stays_open(HELP_TITLE)
        self.assertEqual(self.desk.drive("click", HELP_TITLE, "OK")[0], 0)
        self.assertEqual(self.desk.drive("gone", HELP_TITLE)[0], 0)

        # Closing the main window saves the settings on the program's drive and ends the program.
        self.assertEqual(self.desk.drive("close", MAIN_TITLE)[0], 0)
        process.wait(timeout=30)
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            line = f.read()
        self.assertRegex(line, rb"^\*[0-9]?\*1\*\r\n$")

    def test_missing_documents_show_their_messages(self):
        process, _ = self.start_program(documents=False)
        self.assertEqual(self.desk.drive("doctext", START_TITLE)[1],
                         ["Text File in Use or Could Not Be Found (M4Start.rtf)"])
        self.desk.drive("click", START_TITLE, "Next")
        self.assertTrue(self.desk.wait(MAIN_TITLE))
        self.desk.drive("menu", MAIN_TITLE, "MnuMainHelp")
        self.assertTrue(self.desk.wait(HELP_TITLE))
        self.assertEqual(self.desk.drive("doctext", HELP_TITLE)[1],
                         ["Text File in Use or Could Not Be Found (Userguide.rtf)"])
        # The help window's close box is its OK button.
        self.desk.drive("close", HELP_TITLE)
        self.assertEqual(self.desk.drive("gone", HELP_TITLE)[0], 0)
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)

    def test_closing_the_start_window_ends_the_program_without_settings(self):
        process, folder = self.start_program()
        self.assertEqual(self.desk.drive("close", START_TITLE)[0], 0)
        process.wait(timeout=30)
        self.assertFalse(os.path.exists(os.path.join(folder, "Temp", "HD.ini")))
        self.assertFalse(self.desk.wait(MAIN_TITLE, 100), "the main window appeared")

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
    parser.add_argument("--zip", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

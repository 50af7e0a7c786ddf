#!/usr/bin/python3
"""Whole updates by the Windows program under Wine, in real time: the K7 simulator on a
pseudo-terminal as the prefix's COM1, pyftpdlib on 127.0.0.1, the program on a drive of its own,
worked from the window driver as a user would.

    update_test.py --program vigie-k7.exe --driver window_driver.exe --k7sim k7sim
                   --ftp-server tests/ftp/ftp_server.py
"""

import argparse
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_update import (END_MARKERS, FTP_PASSWORD, FTP_USER, Device, FtpServer,  # noqa: E402
                         database_lines, start_update)
from wine_window import MAIN_TITLE, WineDesk  # noqa: E402

ARGS = None
SUCCESS = ("K7 mis à jour.\r\nVous pouvez maintenant fermer ce programme et déconnecter le K7 "
           "de votre ordinateur.")
FAILED_TITLE = "La mise à jour du K7 a échoué"


class UpdateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desk = WineDesk(ARGS.driver)

    @classmethod
    def tearDownClass(cls):
        cls.desk.close()

    def setUp(self):
        self.peers = []

    def tearDown(self):
        for peer in self.peers:
            peer.close()

    def peer(self, p):
        self.peers.append(p)
        return p

    def test_whole_update_reaches_the_device(self):
        lines = database_lines(60)
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, lines))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--end-delay", "1"]))
        process, folder = start_update(self.desk, ARGS.program, server, device)
        self.addCleanup(self.desk.stop, process)

        status = self.desk.wait_text(MAIN_TITLE, "lblStatus", "K7 mis à jour.", 120)
        self.assertEqual(status, SUCCESS)
        self.assertEqual(self.desk.drive("bar", MAIN_TITLE, "prgb1")[1], ["100"])
        # The bar as drawn: the form's red, not the visual style's colour.
        self.assertEqual(self.desk.drive("colour", MAIN_TITLE, "prgb1", 20, 8)[1], ["FF0031"])
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdGo")[1], ["enabled focused"])
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdClose")[1], ["disabled"])
        self.assertEqual(self.desk.text(MAIN_TITLE, "Label3"), "Port Closed")

        self.assertEqual(device.received(), b"".join(l + b"\r\n" for l in lines) + END_MARKERS)
        commands = server.commands()
        self.assertIn("USER " + FTP_USER, commands)
        self.assertIn("PASS " + FTP_PASSWORD, commands)
        self.assertIn("RETR LocationsMid.txt", commands)
        self.assertFalse(os.path.exists(os.path.join(folder, "temp.hd")), "working file left")

        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            self.assertEqual(f.read(), b"*1*1*\r\n")

    def test_device_vanishing_mid_transfer_shows_the_sending_box(self):
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, database_lines(200)))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--vanish-after", "20"]))
        process, _ = start_update(self.desk, ARGS.program, server, device)
        self.addCleanup(self.desk.stop, process)

        self.assertTrue(self.desk.wait(FAILED_TITLE, 120000), "no sending box")
        # The form's timers keep running inside the box's modal loop: the dots go on growing.
        dots = self.desk.text(MAIN_TITLE, "lblDots")
        time.sleep(3.5)
        self.assertNotEqual(self.desk.text(MAIN_TITLE, "lblDots"), dots)
        status, text = self.desk.drive("box", FAILED_TITLE, "No")
        self.assertEqual(status, 0, "no sending box")
        self.assertTrue(text and text[0].startswith(
            "Une erreur s'est produite pendant l'envoi du fichier vers le K7 ("), text)
        status = self.desk.wait_text(MAIN_TITLE, "lblStatus", "échoué", 30)
        self.assertEqual(status, "La mise à jour du K7 a échoué.")
        # No crash, and the window idle again.
        time.sleep(1)
        self.assertIsNone(process.poll(), "the program ended")
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdGo")[1], ["enabled focused"])
        self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdClose")[1], ["disabled"])
        self.assertEqual(self.desk.drive("bar", MAIN_TITLE, "prgb1")[1], ["0"])
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--program", "--driver", "--k7sim", "--ftp-server"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

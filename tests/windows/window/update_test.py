#!/usr/bin/python3
"""Whole updates by the Windows program under Wine, in real time: the K7 simulator on a
pseudo-terminal as the prefix's COM1, pyftpdlib on 127.0.0.1, the program on a drive of its own,
worked from the window driver as a user would: a success, a device that vanishes (answered No,
then Yes: the update starts again), and the help window opened while an update runs.

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
from wine_window import HELP_TITLE, MAIN_TITLE, WineDesk  # noqa: E402

ARGS = None
SUCCESS = ("K7 mis à jour.\r\nVous pouvez maintenant fermer ce programme et déconnecter le K7 "
           "de votre ordinateur.")
FAILED_TITLE = "La mise à jour du K7 a échoué"
SENDING_BOX = "Une erreur s'est produite pendant l'envoi du fichier vers le K7 ("


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
        text = self.desk.box(FAILED_TITLE, "No")
        self.assertIsNotNone(text, "no sending box")
        self.assertTrue(text and text[0].startswith(SENDING_BOX), text)
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

    def test_yes_in_the_sending_box_starts_the_update_again(self):
        lines = database_lines(40)
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, lines))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--vanish-after", "10"]))
        process, folder = start_update(self.desk, ARGS.program, server, device)
        self.addCleanup(self.desk.stop, process)
        self.assertTrue(self.desk.wait(FAILED_TITLE, 120000), "no sending box")

        # The device is back (a new one on COM1) before the user answers Yes.
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--end-delay", "1"]))
        self.desk.map_com(1, device.terminal)
        text = self.desk.box(FAILED_TITLE, "Yes")
        self.assertTrue(text and text[0].startswith(SENDING_BOX), text)

        # The whole update again: the device woken, the file downloaded anew and sent whole.
        status = self.desk.wait_text(MAIN_TITLE, "lblStatus", "K7 mis à jour.", 120)
        self.assertEqual(status, SUCCESS)
        self.assertTrue(device.saw("<- WakeUp"))
        self.assertEqual(device.received(), b"".join(l + b"\r\n" for l in lines) + END_MARKERS)
        self.assertEqual(server.commands().count("RETR LocationsMid.txt"), 2)
        self.assertFalse(os.path.exists(os.path.join(folder, "temp.hd")), "working file left")
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)

    def test_timers_run_on_while_the_help_window_is_open_during_an_update(self):
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, database_lines(10)))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--silent"]))
        process, _ = start_update(self.desk, ARGS.program, server, device)
        self.addCleanup(self.desk.stop, process)
        self.assertEqual(self.desk.wait_text(MAIN_TITLE, "Label11", "3", 20), "3")

        self.assertEqual(self.desk.drive("menu", MAIN_TITLE, "MnuMainHelp")[0], 0)
        self.assertTrue(self.desk.wait(HELP_TITLE), "no help window")
        dots = self.desk.text(MAIN_TITLE, "lblDots")
        wakeups = sum(1 for _, text in device.reports if text.startswith("<- WakeUp"))
        # The retry timer ticks every 5 s and wakes the device again; the dots every 1.5 s.
        self.assertEqual(self.desk.wait_text(MAIN_TITLE, "Label11", "4", 15), "4")
        self.assertNotEqual(self.desk.text(MAIN_TITLE, "lblDots"), dots)
        self.assertGreater(sum(1 for _, text in device.reports if text.startswith("<- WakeUp")),
                           wakeups)
        self.assertTrue(self.desk.wait(HELP_TITLE, 100), "the help window closed by itself")

        self.desk.drive("click", HELP_TITLE, "OK")
        self.assertTrue(self.desk.gone(HELP_TITLE))
        self.desk.drive("click", MAIN_TITLE, "Close")
        self.assertEqual(self.desk.wait_text(MAIN_TITLE, "lblStatus", "arrêtée", 15),
                         "La mise à jour du K7 s'est arrêtée.")
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

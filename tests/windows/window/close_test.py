#!/usr/bin/python3
"""Close and the window's close box, pressed by the Windows program's user under Wine at each
stage of an update where they can land: while the device is woken, while the update server is
reached, during the download, while the database is sent, and while the device saves it; and
Windows' sign-out while the database is sent, which the program refuses until the user forces
it. The peers are real (the K7 simulator on a pseudo-terminal as COM1, pyftpdlib or a server
that never answers on 127.0.0.1) and so is the time.

Close stops the update: the stopped text, no box, the window idle, the port closed, and nothing
more reaches the device. The close box ends the program the same way and writes its settings.

    close_test.py --program vigie-k7.exe --driver window_driver.exe --k7sim k7sim
                  --ftp-server tests/ftp/ftp_server.py
"""

import argparse
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_update import (Device, FtpServer, SilentServer, database_lines,  # noqa: E402
                         press_start, start_program)
from wine_window import MAIN_TITLE, WineDesk  # noqa: E402

ARGS = None
STOPPED = "La mise à jour du K7 s'est arrêtée."
# Longest wait for a stage: the dialogue takes a pass of 2 s a step, the download a few more.
STAGE_LIMIT = 60


class Stage:
    """Where the update is when the user closes: the peers it needs, and how the test knows the
    update got there."""

    def __init__(self, name, device_options=(), server="plain", lines=30, fault=""):
        self.name = name
        self.device_options = list(device_options)
        self.server = server
        self.lines = lines
        self.fault = fault

    @staticmethod
    def server_visits(server):
        """How often the server has been reached, or asked for the file, so far."""
        if isinstance(server, SilentServer):
            return len(server.connections)
        return server.commands().count("RETR LocationsMid.txt")

    def reached(self, desk, device, server, visits_before):
        """visits_before: server_visits() when the update started; the server outlives the
        update."""
        stage = desk.text(MAIN_TITLE, "Label5")
        if self.name == "waking":
            return stage == "  1" and device.saw("<- WakeUp")
        if self.name in ("reaching the server", "downloading"):
            return self.server_visits(server) > visits_before
        if self.name == "sending":
            return len(device.line_times()) >= 20
        return stage == "  8" and device.saw("<- TransferDone")


STAGES = [
    Stage("waking", ["--silent"]),
    Stage("reaching the server", server="silent"),
    # The server sends 1500 bytes of the file, then nothing more.
    Stage("downloading", lines=200, fault="stall:1500"),
    # 2000 lines take 48 s to send: Close lands well inside.
    Stage("sending", lines=2000),
    # The device never reports the end of its saving.
    Stage("saving", ["--no-end"]),
]


class CloseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desk = WineDesk(ARGS.driver)

    @classmethod
    def tearDownClass(cls):
        cls.desk.close()

    def peer(self, p):
        self.addCleanup(p.close)
        return p

    def server_for(self, stage):
        if stage.server == "silent":
            return self.peer(SilentServer())
        extra = ["--fault", stage.fault] if stage.fault else []
        return self.peer(FtpServer(self.desk.work, ARGS.ftp_server, database_lines(stage.lines),
                                   extra=extra))

    def reach(self, stage, device, server):
        """Starts an update with this device and waits until it is at the stage."""
        visits = stage.server_visits(server)
        press_start(self.desk, device)
        self.assertTrue(
            self.desk.wait_until(lambda: stage.reached(self.desk, device, server, visits),
                                 STAGE_LIMIT),
            "the update did not reach: " + stage.name)

    def assert_nothing_more_reaches(self, device):
        lines = len(device.line_times())
        time.sleep(1.5)
        self.assertEqual(len(device.line_times()), lines, "lines went on after the close")

    def test_close_and_the_close_box_at_each_stage(self):
        for stage in STAGES:
            with self.subTest(stage=stage.name):
                server = self.server_for(stage)
                device = self.peer(Device(self.desk.work, ARGS.k7sim, stage.device_options))
                process, folder = start_program(self.desk, ARGS.program, server)
                self.addCleanup(self.desk.stop, process)
                ini = os.path.join(folder, "Temp", "HD.ini")
                if os.path.exists(ini):
                    os.remove(ini)

                # Close: the update stops, with no box, and the window is idle again.
                self.reach(stage, device, server)
                self.desk.drive("click", MAIN_TITLE, "Close")
                self.assertEqual(self.desk.wait_text(MAIN_TITLE, "lblStatus", STOPPED, 15),
                                 STOPPED)
                self.assertIsNone(self.desk.any_box(2000), "a box after Close")
                self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdGo")[1],
                                 ["enabled focused"])
                self.assertEqual(self.desk.drive("state", MAIN_TITLE, "cmdClose")[1], ["disabled"])
                self.assertEqual(self.desk.text(MAIN_TITLE, "Label3"), "Port Closed")
                self.assertEqual(self.desk.text(MAIN_TITLE, "lblDots"), "")
                # The update is over: signing out is the user's business again.
                self.assertEqual(self.desk.drive("send", MAIN_TITLE, "queryendsession")[1], ["1"])
                # (A connection still being made to a silent server is let go when WinINet gives
                # up on it, up to its receive time limit later: WinINet under Wine cannot be
                # interrupted safely. The program's end below lets go of it at once.)
                self.assert_nothing_more_reaches(device)

                # The close box, at the same stage of a new update with a new device: the
                # program ends and writes its settings.
                device = self.peer(Device(self.desk.work, ARGS.k7sim, stage.device_options))
                self.reach(stage, device, server)
                self.desk.drive("close", MAIN_TITLE)
                process.wait(timeout=30)
                with open(ini, "rb") as f:
                    self.assertEqual(f.read(), b"*1*1*\r\n")
                self.assert_nothing_more_reaches(device)
                # The database does not outlive the program.
                self.assertFalse(os.path.exists(os.path.join(folder, "temp.hd")),
                                 "working file left")
                if stage.server == "silent":
                    self.assertTrue(self.desk.wait_until(server.hung_up, 10),
                                    "the connection to the server stayed open")


    def run_log(self):
        """The update log's lines written by the program's last start, without their times."""
        local = self.desk.unix_path(self.desk.windows_env("LOCALAPPDATA"))
        with open(os.path.join(local, "VIGIE K7", "updates.log"), "rb") as f:
            lines = [line[24:] for line in f.read().decode("utf-8").split("\r\n")]
        starts = [i for i, line in enumerate(lines) if line.startswith("Démarrage")]
        self.assertTrue(starts, "no start-up in the log")
        return lines[starts[-1]:]

    def test_signing_out_while_the_database_is_sent_is_refused_until_the_user_forces_it(self):
        stage = Stage("sending", lines=2000)
        server = self.server_for(stage)
        device = self.peer(Device(self.desk.work, ARGS.k7sim))
        process, folder = start_program(self.desk, ARGS.program, server)
        self.addCleanup(self.desk.stop, process)
        self.reach(stage, device, server)
        self.assertTrue(os.path.exists(os.path.join(folder, "temp.hd")))

        # Windows asks: the update refuses, and goes on.
        self.assertEqual(self.desk.drive("send", MAIN_TITLE, "queryendsession")[1], ["0"])
        # A sleep that came all the same (a closed lid), and the wake-up.
        self.assertEqual(self.desk.drive("send", MAIN_TITLE, "suspend")[1], ["1"])
        self.assertEqual(self.desk.drive("send", MAIN_TITLE, "resume")[1], ["1"])
        lines = len(device.line_times())
        time.sleep(1)
        self.assertIsNone(process.poll(), "asked whether it may end, the program ended")
        self.assertGreater(len(device.line_times()), lines, "the sending stopped")

        # The user signs out all the same: the shut-down of the close box, settings included.
        self.assertEqual(self.desk.drive("send", MAIN_TITLE, "endsession")[0], 0)
        process.wait(timeout=30)
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            self.assertEqual(f.read(), b"*1*1*\r\n")
        self.assert_nothing_more_reaches(device)
        self.assertFalse(os.path.exists(os.path.join(folder, "temp.hd")), "working file left")

        # What Wine cannot show (the execution state, the power throttling) the program wrote
        # down, call by call with its arguments and the system's answer: held once when the port
        # opened, released once by the shut-down, the sleep between.
        log = self.run_log()

        def only(prefix):
            found = [i for i, line in enumerate(log) if line.startswith(prefix)]
            self.assertEqual(len(found), 1, "%r %d times in:\n%s"
                             % (prefix, len(found), "\n".join(log)))
            return found[0]

        held = only("Ordinateur maintenu éveillé pendant la mise à jour (")
        asleep = only("L'ordinateur se met en veille pendant la mise à jour "
                      "(WM_POWERBROADCAST PBT_APMSUSPEND)")
        awake = only("L'ordinateur sort de veille pendant la mise à jour "
                     "(WM_POWERBROADCAST PBT_APMRESUMEAUTOMATIC)")
        ended = only("Fin du programme")
        released = only("Veille et fin de session de nouveau permises (")
        self.assertLess(only("Port COM1 ouvert"), held)
        self.assertLess(held, asleep)
        self.assertLess(asleep, awake)
        self.assertLess(awake, ended)
        self.assertLess(ended, released)
        for call in ("SetThreadExecutionState(0x80000003) = ", "ShutdownBlockReasonCreate = ",
                     "SetProcessInformation"):
            self.assertIn(call, log[held])
        self.assertIn("SetThreadExecutionState(0x80000000) = ", log[released])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--program", "--driver", "--k7sim", "--ftp-server"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

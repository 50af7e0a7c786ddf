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
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_update import (END_MARKERS, FTP_PASSWORD, FTP_USER, ClosedServer,  # noqa: E402
                         Device, FtpServer, database_lines, press_start, start_program,
                         start_update)
from wine_window import (HELP_TITLE, MAIN_TITLE, START_TITLE, WineDesk,  # noqa: E402
                         make_read_only, make_writable, program_folder)

ARGS = None
SUCCESS = ("K7 mis à jour.\r\nVous pouvez maintenant fermer ce programme et déconnecter le K7 "
           "de votre ordinateur.")
FAILED_TITLE = "La mise à jour du K7 a échoué"
# Where a French user unpacks the program, with a name beyond the ANSI code page as well.
ACCENTED_FOLDER = "Hélène\\Téléchargements\\Łódź 日本\\vigie-k7"
LOGIN_REFUSED_TITLE = "Halvorn Devices - Error Message"
SENDING_BOX = "Une erreur s'est produite pendant l'envoi du fichier vers le K7 ("
# The system libraries the program uses that are not "known DLLs" (RichEdit's by name).
PLANTED = ["wininet.dll", "winmm.dll", "uxtheme.dll", "msftedit.dll"]


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

    def watch_for_file(self, path):
        """Notes, from now until the test ends, whether the file ever exists."""
        seen = threading.Event()
        done = threading.Event()

        def watch():
            while not done.is_set() and not seen.is_set():
                if os.path.exists(path):
                    seen.set()
                time.sleep(0.02)

        watcher = threading.Thread(target=watch, daemon=True)
        watcher.start()
        self.addCleanup(watcher.join)
        self.addCleanup(done.set)
        return seen

    def test_whole_update_reaches_the_device(self):
        # Unpacked where a French user would, in a folder named beyond the ANSI code page too.
        lines = database_lines(60)
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, lines))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--end-delay", "1"]))
        program_dir = os.path.join(self.desk.work, "drive-p", *ACCENTED_FOLDER.split("\\"))
        downloaded = self.watch_for_file(os.path.join(program_dir, "temp.hd"))

        def the_start_window_shows_its_document():
            text = "\n".join(self.desk.drive("doctext", START_TITLE)[1])
            self.assertIn("Mise à jour de votre VIGIE K7", text)
            self.assertEqual(self.desk.drive("docformat", START_TITLE)[1], ["bold Tahoma 9"])

        # A DLL under the name of each system library the program uses that is not a "known
        # DLL", dropped beside it. Told to prefer a DLL of the program's folder as Windows does
        # (Wine would otherwise load its own first, whatever lies there), Wine loads them only if
        # the program searches its own folder.
        planted = [os.path.join(ARGS.planted, name) for name in PLANTED]
        prefer_native = self.desk.env["WINEDLLOVERRIDES"] + ";" + ",".join(
            name[:-4] for name in PLANTED) + "=n,b"
        process, folder = start_update(self.desk, ARGS.program, server, device,
                                       subfolder=ACCENTED_FOLDER,
                                       before_next=the_start_window_shows_its_document,
                                       beside=planted, env={"WINEDLLOVERRIDES": prefer_native})
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
        self.assertTrue(downloaded.is_set(), "no working file beside the program")
        self.assertFalse(os.path.exists(os.path.join(program_dir, "temp.hd")), "working file left")

        # The user guide, with its formatting: the title in bold, the numbered steps with their
        # hanging indent (the text after "1." starts where its second line does).
        self.assertEqual(self.desk.drive("menu", MAIN_TITLE, "MnuMainHelp")[0], 0)
        self.assertTrue(self.desk.wait(HELP_TITLE), "no help window")
        self.assertIn("Guide d'utilisation", "\n".join(self.desk.drive("doctext", HELP_TITLE)[1]))
        self.assertEqual(self.desk.drive("docformat", HELP_TITLE)[1], ["bold tahoma 9"])
        status, positions = self.desk.drive("docindent", HELP_TITLE, "1.")
        self.assertEqual(status, 0)
        after_tab, second_line = (int(v) for v in positions[0].split())
        self.assertGreater(after_tab, 0)
        self.assertLessEqual(abs(after_tab - second_line), 1, positions)
        self.desk.drive("click", HELP_TITLE, "OK")

        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        # The start window, both documents and a whole update ran: no planted DLL was loaded.
        self.assertEqual(sorted(n for n in os.listdir(program_dir) if n.endswith(".loaded")), [])
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            self.assertEqual(f.read(), b"*1*1*\r\n")
        self.assert_logged_in_local_app_data(
            "dossier du programme : P:\\" + ACCENTED_FOLDER,
            ["Mise à jour : port « 1 », base « Radars »", "Port COM1 ouvert (38400,N,8,1)",
             "Le K7 demande T#FTPUN, identifiant AB****3", "Connexion au serveur 127.0.0.1:",
             "Connecté au serveur : 230", "Téléchargement réussi", "Envoi vers le K7 : 60 lignes",
             "Envoi terminé : 60 lignes", "Le K7 signale T#END",
             "Résultat : K7 mis à jour. / Vous pouvez maintenant fermer", "Fin du programme"])

    def log_path(self):
        """The update log in %LOCALAPPDATA%\\VIGIE K7, as a Linux path."""
        if not hasattr(self.desk, "log_path"):
            local = self.desk.unix_path(self.desk.windows_env("LOCALAPPDATA"))
            self.desk.log_path = os.path.join(local, "VIGIE K7", "updates.log")
        return self.desk.log_path

    def log_bytes(self):
        with open(self.log_path(), "rb") as f:
            return f.read()

    def assert_logged_in_local_app_data(self, start, events):
        """The log in %LOCALAPPDATA%\\VIGIE K7 has Windows line ends, never the device's name
        nor its password, and after the start-up line that holds start, the events in order."""
        local = self.desk.unix_path(self.desk.windows_env("LOCALAPPDATA"))
        with open(os.path.join(local, "VIGIE K7", "updates.log"), "rb") as f:
            log = f.read()
        self.assertTrue(log.endswith(b"\r\n"))
        self.assertNotIn(b"\n", log.replace(b"\r\n", b""), "a line end that is not CR LF")
        self.assertNotIn(FTP_USER.encode(), log)
        self.assertNotIn(FTP_PASSWORD.encode(), log)
        lines = log.decode("utf-8").split("\r\n")
        starts = [i for i, line in enumerate(lines) if start in line]
        self.assertTrue(starts, "no start-up line with %r in:\n%s" % (start, "\n".join(lines)))
        at = starts[-1]
        for event in events:
            found = next((i for i in range(at + 1, len(lines)) if event in lines[i]), None)
            self.assertIsNotNone(found, "no %r after line %d of:\n%s"
                                 % (event, at, "\n".join(lines)))
            at = found

    def test_an_update_through_com15_which_stays_chosen(self):
        # A USB adapter numbered above 12, as Windows numbers them on a laptop that has seen a
        # few. The device waits for the next session, so that its port is there at the next start.
        lines = database_lines(30)
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, lines))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--end-delay", "1", "--loop"]))
        self.desk.map_com(15, device.terminal)
        self.desk.list_com(15)
        self.addCleanup(self.desk.list_com, 15, False)
        folder = program_folder(self.desk, ARGS.program)
        settings = os.path.join(folder, "Temp", "HD.ini")
        if os.path.exists(settings):
            os.remove(settings)  # a first run: the filter on, COM15 found by the probe

        process, _ = start_program(self.desk, ARGS.program, server)
        self.addCleanup(self.desk.stop, process)
        status, ports = self.desk.drive("items", MAIN_TITLE, "cboPort")
        self.assertIn(" 15", ports)
        self.desk.drive("select", MAIN_TITLE, "cboPort", ports.index(" 15"))
        # Wine knows no adapter's name: the tooltip names the port.
        self.assertEqual(self.desk.drive("tip", MAIN_TITLE, "cboPort")[1], ["COM15"])
        self.desk.drive("click", MAIN_TITLE, "Start Update")
        status = self.desk.wait_text(MAIN_TITLE, "lblStatus", "K7 mis à jour.", 120)
        self.assertEqual(status, SUCCESS)
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        with open(settings, "rb") as f:
            self.assertEqual(f.read(), b"*15*1*\r\n")
        self.assert_logged_in_local_app_data("dossier du programme : P:\\",
                                             ["Port COM15 ouvert (38400,N,8,1)",
                                              "Résultat : K7 mis à jour."])

        process, _ = start_program(self.desk, ARGS.program, server)
        self.addCleanup(self.desk.stop, process)
        self.assertEqual(self.desk.text(MAIN_TITLE, "cboPort"), " 15")
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        device.close()
        self.assertEqual(device.received(), b"".join(l + b"\r\n" for l in lines) + END_MARKERS)

    def test_a_folder_that_cannot_be_written_sends_the_working_file_to_local_app_data(self):
        lines = database_lines(200)
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, lines))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--end-delay", "1"]))
        subfolder = "Program Files\\VIGIE K7"
        program_dir = program_folder(self.desk, ARGS.program, subfolder=subfolder)
        program_dir = os.path.join(program_dir, *subfolder.split("\\"))
        self.addCleanup(make_writable, program_dir)
        if not make_read_only(program_dir):
            self.skipTest("this machine lets this user write into any folder")
        local = self.desk.unix_path(self.desk.windows_env("LOCALAPPDATA"))
        work_file = os.path.join(local, "VIGIE K7", "temp.hd")
        downloaded = self.watch_for_file(work_file)

        process, folder = start_update(self.desk, ARGS.program, server, device,
                                       subfolder=subfolder)
        self.addCleanup(self.desk.stop, process)
        status = self.desk.wait_text(MAIN_TITLE, "lblStatus", "K7 mis à jour.", 120)
        self.assertEqual(status, SUCCESS)
        self.assertEqual(device.received(), b"".join(l + b"\r\n" for l in lines) + END_MARKERS)
        self.assertTrue(downloaded.is_set(), "no working file in " + os.path.dirname(work_file))
        self.assertFalse(os.path.exists(work_file), "working file left")
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        # The settings stay on the program's drive.
        with open(os.path.join(folder, "Temp", "HD.ini"), "rb") as f:
            self.assertEqual(f.read(), b"*1*1*\r\n")

    def test_french_system_texts_reach_the_log_as_utf8(self):
        # A French Windows: the system's and WinINet's texts have accents.
        french = {"LC_ALL": "fr_FR.UTF-8", "LANG": "fr_FR.UTF-8"}
        device = self.peer(Device(self.desk.work, ARGS.k7sim))
        server = self.peer(ClosedServer())
        # COM2 refuses to open: what it leads to is a folder, which no program may open as a file.
        refused = os.path.join(self.desk.work, "com2-folder")
        os.makedirs(refused, exist_ok=True)
        self.desk.map_com(2, refused)
        self.desk.map_com(1, device.terminal)
        before = len(self.log_bytes()) if os.path.exists(self.log_path()) else 0
        process, folder = start_program(self.desk, ARGS.program, server, env=french)
        self.addCleanup(self.desk.stop, process)
        # The port filter turned off here must not reach the next test's program.
        self.addCleanup(lambda: os.path.exists(os.path.join(folder, "Temp", "HD.ini")) and
                        os.remove(os.path.join(folder, "Temp", "HD.ini")))
        # Every port, unprobed: COM2 is offered as a free port.
        self.assertTrue(self.desk.type(MAIN_TITLE, "ctrl+f"))
        ports = [" %d" % n for n in range(1, 13)]
        self.assertTrue(self.desk.wait_items(MAIN_TITLE, "cboPort", ports, 10))
        self.desk.drive("select", MAIN_TITLE, "cboPort", ports.index(" 2"))
        self.desk.drive("click", MAIN_TITLE, "Start Update")
        self.assertTrue(self.desk.wait_until(lambda: b"COM2" in self.log_bytes()[before:], 20),
                        "no refused port in the log")
        # COM1 and its device, up to the connection to a server where nothing listens.
        press_start(self.desk, device)
        self.assertIsNotNone(self.desk.box("Erreur", "OK", 90000), "no connection box")
        self.assertEqual(self.desk.wait_text(MAIN_TITLE, "lblStatus", "échoué", 30),
                         "La mise à jour du K7 a échoué.")
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)

        log = self.log_bytes()[before:].decode("utf-8")  # strict: valid UTF-8 throughout
        self.assertNotIn("\ufffd", log)
        refusal = next(line for line in log.split("\r\n") if "COM2" in line)
        self.assertIn("Accès refusé", refusal)
        failure = next(line for line in log.split("\r\n") if "Connexion échouée" in line)
        self.assertIn("12029", failure)
        self.assertIn("La tentative de connexion au serveur a échoué", failure)

    def held_working_file_update(self, lines, after_filler_ms=None):
        """An update whose working file another program holds (sharing all but its deletion)
        from the moment it is downloaded (hold_file). Returns (process, device, holder) once the
        device has taken the last line of the database."""
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, database_lines(lines)))
        device = self.peer(Device(self.desk.work, ARGS.k7sim, ["--end-delay", "1"]))
        program_folder(self.desk, ARGS.program)
        holder = self.peer(self.desk.hold_file("P:\\temp.hd", after_filler_ms))
        process, _ = start_update(self.desk, ARGS.program, server, device)
        self.addCleanup(self.desk.stop, process)
        self.assertTrue(holder.held.wait(120), "the working file was never held")
        self.assertTrue(self.desk.wait_until(lambda: device.saw("<- line %d " % lines), 120),
                        "the device did not get the last line")
        return process, device, holder

    def test_a_working_file_held_for_a_moment_is_deleted_all_the_same(self):
        # An antivirus scanning the new file: its deletion fails while it is held, and is tried
        # again until it goes.
        lines = 100
        process, device, holder = self.held_working_file_update(lines, after_filler_ms=500)
        status = self.desk.wait_text(MAIN_TITLE, "lblStatus", "K7 mis à jour.", 120)
        self.assertEqual(status, SUCCESS, self.desk.describe(process))
        self.assertEqual(device.received(),
                         b"".join(l + b"\r\n" for l in database_lines(lines)) + END_MARKERS)
        self.assertIsNone(self.desk.any_box(100))
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        self.assertTrue(holder.released.is_set())
        self.assertFalse(os.path.exists(os.path.join(self.desk.work, "drive-p", "temp.hd")))
        self.assertIn("Fichier de travail tenu par un autre programme : effacement après",
                      self.desk.program_log_tail())

    def test_a_working_file_held_for_good_shows_the_after_sending_box(self):
        process, device, holder = self.held_working_file_update(40)
        self.assertTrue(self.desk.wait(FAILED_TITLE, 60000), "no after-sending box")
        text = self.desk.box(FAILED_TITLE, "No")
        self.assertTrue(text and text[0].startswith(SENDING_BOX) and text[0].endswith(").")
                        and text[-1] == "Relancer la mise à jour de Vigie ?", text)
        self.assertEqual(self.desk.wait_text(MAIN_TITLE, "lblStatus", "échoué", 30),
                         "La mise à jour du K7 a échoué.")
        # The device got every line, never the end markers.
        self.assertFalse(device.saw("<- EndOfData"))
        holder.release()
        self.desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
        self.assertIn("Fichier de travail tenu par un autre programme : effacement impossible "
                      "après 2000 ms", self.desk.program_log_tail())

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

    def test_the_hourglass_stays_over_the_login_refused_box(self):
        # The server knows another device.
        # The system's two pointers as this display shows them, before the program runs.
        wait, arrow = self.desk.system_pointer("wait"), self.desk.system_pointer("arrow")
        self.assertNotEqual(wait, arrow)
        server = self.peer(FtpServer(self.desk.work, ARGS.ftp_server, database_lines(10),
                                     login="ZZ99ZZ9:9ZZ99ZZ"))
        device = self.peer(Device(self.desk.work, ARGS.k7sim))
        process, _ = start_update(self.desk, ARGS.program, server, device)
        self.addCleanup(self.desk.stop, process)
        self.assertTrue(self.desk.wait(LOGIN_REFUSED_TITLE, 60000), "no login-refused box")
        # The pointer changes when the window under it has answered the mouse's move.
        self.assertTrue(self.desk.wait_until(
            lambda: self.desk.pointer_over(LOGIN_REFUSED_TITLE) == wait, 10),
            "no hourglass over the box")
        self.assertIsNotNone(self.desk.box(LOGIN_REFUSED_TITLE, "OK"))
        self.assertEqual(self.desk.wait_text(MAIN_TITLE, "lblStatus", "échoué", 30),
                         "La mise à jour du K7 a échoué.")
        # The box answered, the arrow is back.
        self.assertTrue(self.desk.wait_until(
            lambda: self.desk.pointer_over(MAIN_TITLE) == arrow, 10), "no arrow after the box")
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
    for option in ("--program", "--driver", "--k7sim", "--ftp-server", "--planted"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""The peers of a whole update of the Windows program under Wine: the K7 simulator (k7sim, a
Linux program) on a pseudo-terminal linked as the prefix's COM1, and pyftpdlib on 127.0.0.1
(tests/ftp/ftp_server.py with /usr/bin/python3) serving the database. Shared by the update test
and the Windows transfer benchmark.
"""

import os
import subprocess
import threading
import time

from wine_window import MAIN_TITLE, START_TITLE, program_folder

DEVICE_NAME = "ab12cd3"  # the server sees it upper-cased, and its reverse as the password
FTP_USER = "AB12CD3"
FTP_PASSWORD = "3DC21BA"
END_MARKERS = b"\x03\r\n\r\n368\r\n"


def database_lines(count):
    """count lines of a database, with a byte of the 8-bit code page in each (passed unchanged)."""
    return [b"%d,45.%06d,5.%06d,FIXE,50,Pont-L\xe9ger" % (i, i * 37 % 999999, i * 53 % 999999)
            for i in range(1, count + 1)]


class FtpServer:
    def __init__(self, work, server_script, lines, name="LocationsMid.txt"):
        self.root = os.path.join(work, "ftp")
        os.makedirs(self.root, exist_ok=True)
        with open(os.path.join(self.root, name), "wb") as f:
            f.write(b"".join(line + b"\r\n" for line in lines))
        self.log = os.path.join(work, "ftp.log")
        self.process = subprocess.Popen(
            ["/usr/bin/python3", server_script, "--root", self.root, "--user",
             "%s:%s" % (FTP_USER, FTP_PASSWORD), "--log", self.log],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("PORT "):
            self.close()
            raise RuntimeError("the FTP server did not start")
        self.port = int(line.split()[1])

    def commands(self):
        with open(self.log, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.process.stdout.close()


class Device:
    """k7sim on a pseudo-terminal; its reports are read as they come, each with its arrival time."""

    def __init__(self, work, k7sim, extra=()):
        self.out = os.path.join(work, "received")
        link = os.path.join(work, "com", "COM1")
        os.makedirs(os.path.dirname(link), exist_ok=True)
        self.process = subprocess.Popen(
            [k7sim, "--link", link, "--name", DEVICE_NAME, "--out", self.out] + list(extra),
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.reports = []  # (monotonic seconds, text)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        for _ in range(100):
            if os.path.lexists(link):
                break
            time.sleep(0.05)
        else:
            self.close()
            raise RuntimeError("the simulator did not start")
        self.terminal = os.path.realpath(link)

    def _read(self):
        for raw in self.process.stderr:
            self.reports.append((time.monotonic(), raw.decode("utf-8", "replace").rstrip("\n")))

    def received(self):
        with open(self.out, "rb") as f:
            return f.read()

    def line_times(self):
        return [t for t, text in self.reports if text.startswith("<- line ")]

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.reader.join(timeout=5)
        self.process.stderr.close()


def start_update(desk, program, server, device, database_index=0):
    """Starts the program on drive P: with COM1 linked to the device, leaves the start window with
    Next, chooses COM1 and the database, and presses Start Update. Returns (process, folder)."""
    desk.map_com(1, device.terminal)
    folder = program_folder(desk, program)
    process = desk.start("P:\\vigie-k7.exe",
                         {"VIGIE_UPDATE_SERVER": "127.0.0.1:%d" % server.port})
    if not desk.wait(START_TITLE):
        raise AssertionError("no start window")
    desk.drive("click", START_TITLE, "Next")
    if not desk.wait(MAIN_TITLE):
        raise AssertionError("no main window")
    status, ports = desk.drive("items", MAIN_TITLE, "cboPort")
    if " 1" not in ports:
        raise AssertionError("COM1 is not offered: %r" % ports)
    desk.drive("select", MAIN_TITLE, "cboPort", ports.index(" 1"))
    desk.drive("select", MAIN_TITLE, "cboFile", database_index)
    desk.drive("click", MAIN_TITLE, "Start Update")
    return process, folder

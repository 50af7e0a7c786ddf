#!/usr/bin/python3
"""The peers of a whole update of the Windows program under Wine: the K7 simulator (k7sim, a
Linux program) on a pseudo-terminal linked as the prefix's COM1, and pyftpdlib on 127.0.0.1
(tests/ftp/ftp_server.py with /usr/bin/python3) serving the database. Shared by the update test
and the Windows transfer benchmark.
"""

import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time

from wine_window import MAIN_TITLE, START_TITLE, program_folder, program_path

DEVICE_NAME = "ab12cd3"  # the server sees it upper-cased, and its reverse as the password
FTP_USER = "AB12CD3"
FTP_PASSWORD = "3DC21BA"
END_MARKERS = b"\x03\r\n\r\n368\r\n"


def database_lines(count):
    """count lines of a database, with a byte of the 8-bit code page in each (passed unchanged)."""
    return [b"%d,45.%06d,5.%06d,FIXE,50,Pont-L\xe9ger" % (i, i * 37 % 999999, i * 53 % 999999)
            for i in range(1, count + 1)]


class FtpServer:
    """tests/ftp/ftp_server.py serving the database; extra: its options (a --fault)."""

    def __init__(self, work, server_script, lines, name="LocationsMid.txt", extra=(),
                 login="%s:%s" % (FTP_USER, FTP_PASSWORD)):
        self.root = os.path.join(work, "ftp")
        os.makedirs(self.root, exist_ok=True)
        with open(os.path.join(self.root, name), "wb") as f:
            f.write(b"".join(line + b"\r\n" for line in lines))
        # A log of its own: a test may start several servers in one work folder.
        handle, self.log = tempfile.mkstemp(prefix="ftp-", suffix=".log", dir=work)
        os.close(handle)
        self.process = subprocess.Popen(
            ["/usr/bin/python3", server_script, "--root", self.root, "--user", login,
             "--log", self.log] + list(extra),
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


class ClosedServer:
    """An update server address where nothing listens: every connection is refused."""

    def __init__(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]

    def close(self):
        pass


class SilentServer:
    """An update server that takes connections and never says a word."""

    def __init__(self):
        self.socket = socket.socket()
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(4)
        self.port = self.socket.getsockname()[1]
        self.connections = []
        self.accepter = threading.Thread(target=self._accept, daemon=True)
        self.accepter.start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                return
            self.connections.append(connection)

    def hung_up(self):
        """True once the program has closed every connection it made."""
        for connection in self.connections:
            connection.setblocking(False)
            try:
                if connection.recv(1) != b"":
                    return False
            except BlockingIOError:
                return False
            except OSError:
                pass
        return bool(self.connections)

    def close(self):
        self.socket.close()
        for connection in self.connections:
            connection.close()


class Device:
    """k7sim on a pseudo-terminal; its reports are read as they come, each with its arrival time."""

    def __init__(self, work, k7sim, extra=()):
        # A folder of its own: a test may start several devices in one work folder.
        folder = tempfile.mkdtemp(prefix="device-", dir=work)
        self.out = os.path.join(folder, "received")
        link = os.path.join(folder, "COM1")
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
        """What the device has received so far (nothing before its first byte)."""
        if not os.path.exists(self.out):
            return b""
        with open(self.out, "rb") as f:
            return f.read()

    def line_times(self):
        return [t for t, text in self.reports if text.startswith("<- line ")]

    def saw(self, prefix):
        """True once the device has reported a line starting with prefix."""
        return any(text.startswith(prefix) for _, text in self.reports)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.reader.join(timeout=5)
        self.process.stderr.close()


def start_program(desk, program, server, subfolder="", before_next=None, beside=(), env=None):
    """Starts the program on drive P: (in subfolder of it) with its update server, and leaves the
    start window with Next, after before_next() when given. beside: files copied beside the
    program first; env: more of the program's environment. Returns (process, the drive's
    folder)."""
    folder = program_folder(desk, program, subfolder=subfolder)
    where = os.path.join(folder, *subfolder.split("\\")) if subfolder else folder
    for path in beside:
        shutil.copy(path, where)
    process = desk.start(program_path(subfolder),
                         dict({"VIGIE_UPDATE_SERVER": "127.0.0.1:%d" % server.port}, **(env or {})))
    if not desk.wait(START_TITLE):
        raise AssertionError("no start window; " + desk.describe(process))
    if before_next:
        before_next()
    desk.drive("click", START_TITLE, "Next")
    if not desk.wait(MAIN_TITLE):
        raise AssertionError("no main window; " + desk.describe(process))
    return process, folder


def press_start(desk, device, database_index=0, process=None):
    """Links COM1 to the device, chooses COM1 and the database, and presses Start Update."""
    desk.map_com(1, device.terminal)
    status, ports = desk.drive("items", MAIN_TITLE, "cboPort")
    if " 1" not in ports:
        raise AssertionError("COM1 is not offered: status %d, %r; %s" % (
            status, ports, desk.describe(process) if process else desk.program_log_tail()))
    desk.drive("select", MAIN_TITLE, "cboPort", ports.index(" 1"))
    desk.drive("select", MAIN_TITLE, "cboFile", database_index)
    desk.drive("click", MAIN_TITLE, "Start Update")


def start_update(desk, program, server, device, database_index=0, **options):
    """Starts the program (start_program's options) with COM1 linked to the device and presses
    Start Update with the database chosen. Returns (process, the drive's folder)."""
    desk.map_com(1, device.terminal)
    process, folder = start_program(desk, program, server, **options)
    press_start(desk, device, database_index, process)
    return process, folder

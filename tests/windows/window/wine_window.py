#!/usr/bin/python3
"""What the Windows window tests share: a throwaway Wine prefix with a virtual desktop on a
private X display (Xvfb), a drive letter of its own for the program, and the window driver
(window_driver.exe), run in the same prefix, to find windows by title and work their controls.
"""

import os
import select
import shutil
import subprocess
import tempfile
import threading
import time

from x_pointer import pointer_picture

MAIN_TITLE = "VIGIE K7 Téléchargement (v*"
START_TITLE = "VIGIE K7 Téléchargement - Instructions"
HELP_TITLE = "Help - User Guide"

# How long one start of the window driver may take on a loaded machine (another Wine test running
# beside it), on top of the time its command itself waits.
DRIVER_START_LIMIT = 60
# How long a fresh prefix may take to boot, each of the two times it does.
BOOT_LIMIT = 240

_DESKTOP_REG = (
    "REGEDIT4\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"
    '"Desktop"="Default"\r\n\r\n'
    "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"
    '"Default"="1024x768"\r\n'
)


class WineDesk:
    """A Wine prefix and an X display of its own, torn down on close()."""

    def __init__(self, driver):
        self.driver = driver
        self.work = tempfile.mkdtemp(prefix="vigie-wine-window-")
        self.xvfb = None
        self.holder = None
        self.processes = []
        try:
            self._start_display()
            self.env = dict(os.environ, WINEPREFIX=os.path.join(self.work, "prefix"),
                            WINEDEBUG="-all", DISPLAY=self.display, LC_ALL="C.UTF-8")
            # No dialog asking to install Mono or Gecko: the program needs neither. No menu
            # entries of the host's desktop for the shortcuts an installer makes.
            self.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
            subprocess.run(["wine", "wineboot", "--init"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=BOOT_LIMIT)
            # Every window in one virtual desktop that Wine draws itself, frames included, so
            # that no window manager is needed.
            reg = os.path.join(self.work, "desktop.reg")
            with open(reg, "w", encoding="ascii", newline="") as f:
                f.write(_DESKTOP_REG)
            self.wine(["regedit", "/S", self.windows_path(reg)])
            # The desktop is made with the first window of a session: start a new session. It
            # stays up until close(): a new session would map COM1 to a serial device again,
            # over the test's link.
            subprocess.run(["wineserver", "-k"], env=self.env, check=False)
            subprocess.run(["wineserver", "-w"], env=self.env, check=False, timeout=60)
            subprocess.run(["wineserver", "-p"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # Its services (which outlive the call) must not hold this script's pipes.
            subprocess.run(["wine", "wineboot"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=BOOT_LIMIT)
            # Wine's desktop process ends a few seconds after the last program with a window on
            # it, and a program started after that never gets a desktop: a window of the
            # driver's keeps it up until close().
            # The tests start once it is there, so that no program of theirs meets a desktop
            # coming or going.
            self.holder = subprocess.Popen(["wine", self.driver, "hold", "-"], env=self.env,
                                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            ready, _, _ = select.select([self.holder.stdout], [], [], BOOT_LIMIT)
            if not ready or self.holder.stdout.readline().strip() != b"holding":
                raise RuntimeError("the desktop's holding window did not come")
        except BaseException:
            self.close()
            raise

    def _start_display(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    @staticmethod
    def windows_path(unix_path):
        return "Z:" + os.path.abspath(unix_path).replace("/", "\\")

    def wine(self, args, timeout=DRIVER_START_LIMIT, check=True):
        return subprocess.run(["wine"] + args, env=self.env, check=check, capture_output=True,
                              timeout=timeout)

    def map_drive(self, letter, folder):
        """Makes folder the drive letter: (letter + ':') in the prefix."""
        link = os.path.join(self.env["WINEPREFIX"], "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.abspath(folder), link)

    def register_browser(self, command):
        """Makes command (a list: program and arguments, as Windows paths) what the shell runs
        to open a web address, with the address as its last argument."""
        line = " ".join('"%s"' % part for part in command) + ' "%1"'
        value = line.replace("\\", "\\\\").replace('"', '\\"')
        reg = os.path.join(self.work, "browser.reg")
        with open(reg, "w", encoding="ascii", newline="") as f:
            f.write("REGEDIT4\r\n\r\n")
            for scheme in ("http", "https"):
                f.write("[HKEY_CLASSES_ROOT\\%s\\shell\\open\\command]\r\n@=\"%s\"\r\n\r\n"
                        % (scheme, value))
        self.wine(["regedit", "/S", self.windows_path(reg)])

    def windows_env(self, name):
        """The value of a variable of the Windows environment in the prefix."""
        result = self.wine(["cmd", "/c", "echo %" + name + "%"])
        return result.stdout.decode("utf-8", "replace").strip()

    def unix_path(self, windows_path):
        result = self.wine(["winepath", "-u", windows_path])
        return result.stdout.decode("utf-8", "replace").strip()

    def program_log_tail(self, lines=30):
        """The last lines of the program's update log, for a failure's message."""
        local = self.unix_path(self.windows_env("LOCALAPPDATA"))
        try:
            with open(os.path.join(local, "VIGIE K7", "updates.log"), "rb") as f:
                return "\n".join(f.read().decode("utf-8", "replace").splitlines()[-lines:])
        except OSError as e:
            return "(no log: %s)" % e

    def hold_file(self, windows_path, after_filler_ms=None):
        """Another program (window_driver holdfile) that opens the file as soon as it exists and
        holds it, sharing reading and writing but not deletion, as an antivirus scanning a new
        file does: until release(), or until after_filler_ms past the moment the program has
        overwritten it with its filler."""
        return FileHolder(self, windows_path, after_filler_ms)

    def map_com(self, number, device):
        link = os.path.join(self.env["WINEPREFIX"], "dosdevices", "com%d" % number)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(device, link)

    SERIALCOMM = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"

    def list_com(self, number, listed=True):
        """Adds COMn to the system's list of serial ports, or takes it off, as a driver does when
        its device comes or goes: Wine lists only the ports it maps itself."""
        value = "\\Device\\VigieTest%d" % number
        if listed:
            self.wine(["reg", "add", self.SERIALCOMM, "/v", value, "/t", "REG_SZ",
                       "/d", "COM%d" % number, "/f"])
        else:
            self.wine(["reg", "delete", self.SERIALCOMM, "/v", value, "/f"], check=False)

    def start(self, windows_exe, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        # What Wine says of the program (a crash's report) is kept for a failure's message.
        handle, output = tempfile.mkstemp(prefix="program-", suffix=".txt", dir=self.work)
        process = subprocess.Popen(["wine", windows_exe], env=env, stdout=subprocess.DEVNULL,
                                   stderr=handle)
        os.close(handle)
        process.output_file = output
        self.processes.append(process)
        return process

    def describe(self, process):
        """How the program is doing, for a failure's message: running or its exit status, what
        Wine said of it and the end of its update log."""
        state = "running" if process.poll() is None else "ended with %#x" % (
            process.returncode & 0xFFFFFFFF)
        with open(process.output_file, "rb") as f:
            said = f.read().decode("utf-8", "replace")[-3000:]
        return "program %s; Wine said:\n%s\nits log ends:\n%s" % (
            state, said, self.program_log_tail())

    @staticmethod
    def stop(process):
        """Ends a program a failed test left running, so that the next test meets only its own."""
        if process.poll() is None:
            process.kill()
            process.wait()

    def drive(self, *args, wait_ms=10000):
        """Runs the window driver; returns (exit status, stdout lines). wait_ms is the longest the
        command itself waits (for its window, a box, a window to go); the driver's own start comes
        on top."""
        result = self.wine([self.driver] + [str(a) for a in args],
                           timeout=wait_ms / 1000 + DRIVER_START_LIMIT, check=False)
        text = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        return result.returncode, text.split("\n")[:-1] if text else []

    def wait(self, title, ms=20000):
        return self.drive("wait", title, ms, wait_ms=ms)[0] == 0

    def gone(self, title, ms=10000):
        """True once no window has this title; False if one still has it after ms."""
        return self.drive("gone", title, ms, wait_ms=ms)[0] == 0

    def box(self, title, button, ms=10000):
        """Waits for a message box, presses its button; returns its text lines, or None."""
        status, lines = self.drive("box", title, button, ms, wait_ms=ms)
        return lines if status == 0 else None

    def any_box(self, ms):
        """The title of a message box that shows within ms, or None."""
        status, lines = self.drive("anybox", "-", ms, wait_ms=ms)
        return lines[0] if status == 0 and lines else None

    def system_pointer(self, name):
        """The picture of the system's pointer of that name ("wait", "arrow") on this display.
        Read it while no program of the test's shows a pointer of its own."""
        shower = subprocess.Popen(["wine", self.driver, "showcursor", name, "2000"], env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            if shower.stdout.readline().strip() != "shown":
                raise RuntimeError("the pointer window did not show")
            # Well inside the two seconds the window stays, once it has set its pointer.
            time.sleep(1)
            return pointer_picture(self.display)
        finally:
            shower.stdout.close()
            shower.wait(timeout=DRIVER_START_LIMIT)

    def pointer_over(self, title):
        """The picture of the pointer with the mouse in the middle of that window."""
        if self.drive("point", title)[0] != 0:
            return None
        time.sleep(0.5)
        return pointer_picture(self.display)

    def type(self, title, key):
        """Types a key on the keyboard with the window in front ("return", "ctrl+h", "f")."""
        return self.drive("type", title, key)[0] == 0

    def work_area(self):
        """The primary screen's work area: (left, top, width, height)."""
        return tuple(int(v) for v in self.drive("workarea", "-")[1][0].split())

    def rect(self, title):
        """A window's outer rectangle on the screen: (left, top, width, height)."""
        status, lines = self.drive("rect", title)
        if status != 0:
            return None
        return tuple(int(v) for v in lines[0].split()[1:])

    def text(self, title, name):
        status, lines = self.drive("text", title, name)
        return "\r\n".join(lines) if status == 0 else None

    def wait_text(self, title, name, wanted, seconds):
        """Polls a control until its text contains wanted; returns the last text seen."""
        end = time.monotonic() + seconds
        text = None
        while time.monotonic() < end:
            text = self.text(title, name)
            if text is not None and wanted in text:
                return text
            time.sleep(0.5)
        return text

    def wait_items(self, title, name, wanted, seconds):
        """Polls a list until its entries are wanted; True when they came in time."""
        return self.wait_until(lambda: self.drive("items", title, name)[1] == wanted, seconds)

    @staticmethod
    def wait_until(done, seconds):
        end = time.monotonic() + seconds
        while not done():
            if time.monotonic() >= end:
                return False
            time.sleep(0.2)
        return True

    def close(self):
        for process in self.processes + ([self.holder] if self.holder else []):
            if process.poll() is None:
                process.kill()
                process.wait()
        if self.holder:
            self.holder.stdout.close()
        if self.xvfb and hasattr(self, "env"):
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False)
            subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False, timeout=30)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def make_read_only(folder):
    """Makes the folder one no file can be created in, even by root (whose rights the permission
    bits do not limit): the immutable attribute. False when this machine allows neither."""
    os.chmod(folder, 0o555)
    subprocess.run(["chattr", "+i", folder], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    probe = os.path.join(folder, "probe")
    try:
        with open(probe, "w"):
            pass
    except OSError:
        return True
    os.remove(probe)
    return False


def make_writable(folder):
    subprocess.run(["chattr", "-i", folder], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    os.chmod(folder, 0o755)


class FileHolder:
    def __init__(self, desk, windows_path, after_filler_ms=None):
        extra = [] if after_filler_ms is None else [str(after_filler_ms)]
        self.process = subprocess.Popen(["wine", desk.driver, "holdfile", windows_path] + extra,
                                        env=desk.env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.held = threading.Event()
        self.released = threading.Event()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            if line.strip() == b"held":
                self.held.set()
            elif line.strip() == b"released":
                self.released.set()

    def release(self):
        if self.process.poll() is None:
            self.process.stdin.write(b"release\n")
            self.process.stdin.flush()

    def close(self):
        self.release()
        try:
            self.process.wait(timeout=DRIVER_START_LIMIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdin.close()
        self.reader.join(timeout=5)
        self.process.stdout.close()


def program_folder(desk, program, documents=True, subfolder=""):
    """A folder mapped as drive P:, holding the program (and its documents) at its root or in
    subfolder (a path below it, "\\"-separated); returns the drive's folder."""
    folder = os.path.join(desk.work, "drive-p")
    where = os.path.join(folder, *subfolder.split("\\")) if subfolder else folder
    os.makedirs(where, exist_ok=True)
    shutil.copy(program, where)
    if documents:
        for name in ("UserGuide.rtf", "M4Start.rtf"):
            shutil.copy(os.path.join(os.path.dirname(program), name), where)
    desk.map_drive("p", folder)
    return folder


def program_path(subfolder=""):
    """The program's Windows path in the folder program_folder made."""
    return "P:\\" + (subfolder + "\\" if subfolder else "") + "vigie-k7.exe"

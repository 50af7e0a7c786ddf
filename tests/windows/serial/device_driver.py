#!/usr/bin/python3
"""Runs the Windows serial port's device tests under Wine with their device on the Linux side.

Wine maps the prefix's dosdevices/comN link to the device the link leads to. This script makes a
fresh device for one test, links it as comN, runs the test program under Wine with that test
alone, plays or watches the device's side, and cleans up. Scenarios (one test each):

  probe     a pseudo-terminal nobody answers on as COMn and a plain file as COMm: the probe, and
            a file that opens but is no port (and is let go)
  bytes     a pseudo-terminal left at the wrong line settings on purpose: the line settings seen
            on the terminal, every byte value both ways
  settings  a change of settings while the port is open
  stall     a device that stops taking data
  gone      the device going away under a write
  dialogue  the K7 simulator as COMn: a whole update dialogue, the data checked byte for byte
  vanish    the K7 simulator as COMn, vanishing in the middle of the data

The terminal side of a pseudo-terminal is held open here until the program has opened the port:
with nobody on it, the other side reads EIO at once.
"""

import argparse
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time

# Long enough for Wine to start on a loaded machine; the tests themselves wait at most 10 s a step.
PROGRAM_LIMIT = 60.0


class Failure(Exception):
    pass


def dosdevices():
    prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
    path = os.path.join(prefix, "dosdevices")
    if not os.path.isdir(path):
        raise Failure(f"no Wine prefix at {prefix} (set WINEPREFIX; run wineboot --init)")
    return path


def windows_path(unix_path):
    """The path under Wine's Z: drive, which maps the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class Links:
    """dosdevices links made for the run, removed at the end."""

    def __init__(self):
        self.made = []

    def link(self, com, target):
        path = os.path.join(dosdevices(), f"com{com}")
        if os.path.lexists(path):
            os.unlink(path)
        os.symlink(target, path)
        self.made.append(path)

    def claim(self, com):
        """No stale link for comN now, and none left at the end."""
        path = os.path.join(dosdevices(), f"com{com}")
        if os.path.lexists(path):
            os.unlink(path)
        self.made.append(path)

    def remove(self):
        for path in self.made:
            if os.path.lexists(path):
                os.unlink(path)


# Wine's server takes the first terminal it opens as its controlling terminal; when that terminal
# hangs up it gets SIGHUP, and Debian's build answers with a dump of all its objects on the
# inherited stderr. Those lines are left out of the test's output.
SERVER_DUMP = re.compile(r"^(0x[0-9a-f]+:\d+: |\s+[0-9a-f]{4}: (0x[0-9a-f]+ |ref=\d+ pinned=))")


class Program:
    """The Windows test program under Wine.

    Its output goes to files, shown once it has ended: a Wine server that this run starts inherits
    the program's output, and would otherwise hold the test runner's pipes open after the test.
    """

    def __init__(self, args, workdir, test_filter, env):
        command = [args.emulator, args.exe, f"--gtest_filter={test_filter}"]
        print("+", " ".join(command), flush=True)
        self.stdout_path = os.path.join(workdir, "wine-stdout")
        self.stderr_path = os.path.join(workdir, "wine-stderr")
        with open(self.stdout_path, "w") as stdout, open(self.stderr_path, "w") as stderr:
            self.process = subprocess.Popen(
                command, env=dict(os.environ, **env), stdin=subprocess.DEVNULL, stdout=stdout,
                stderr=stderr)
        self.shown = False

    def poll(self):
        return self.process.poll()

    def wait(self, limit=PROGRAM_LIMIT):
        try:
            return self.process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            raise Failure(f"the test program did not end within {limit:.0f} s")
        finally:
            self.kill()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.show_output()

    def show_output(self):
        if self.shown:
            return
        self.shown = True
        with open(self.stdout_path, errors="replace") as f:
            sys.stdout.write(f.read())
        sys.stdout.flush()
        with open(self.stderr_path, errors="replace") as f:
            lines = f.readlines()
        kept = [line for line in lines if not SERVER_DUMP.match(line)]
        sys.stderr.write("".join(kept))
        if len(kept) < len(lines):
            sys.stderr.write(f"({len(lines) - len(kept)} lines of the Wine server's object dump left out)\n")
        sys.stderr.flush()


def read_exactly(fd, count, program, what):
    """Reads count bytes from the device's side while the program runs."""
    data = b""
    deadline = time.monotonic() + PROGRAM_LIMIT
    while len(data) < count:
        if time.monotonic() > deadline:
            raise Failure(f"{what}: got {data!r} before the time ran out")
        if program.poll() is not None:
            raise Failure(f"{what}: the program ended after sending {data!r}")
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            data += os.read(fd, count - len(data))
    return data


def wait_for_file(path, program):
    deadline = time.monotonic() + PROGRAM_LIMIT
    while not os.path.exists(path):
        if time.monotonic() > deadline or program.poll() is not None:
            raise Failure(f"no {os.path.basename(path)} from the program")
        time.sleep(0.05)


def set_wrong_line(fd):
    """Settings the program must undo: slow, two stop bits, flow control, line editing, echo."""
    attrs = termios.tcgetattr(fd)
    attrs[0] |= termios.ICRNL | termios.IXON | termios.IXOFF | termios.ISTRIP
    attrs[1] |= termios.OPOST | termios.ONLCR
    attrs[2] |= termios.CSTOPB | termios.CRTSCTS
    attrs[3] |= termios.ICANON | termios.ECHO | termios.ISIG
    attrs[4] = attrs[5] = termios.B1200
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


def check_line(fd, speed, two_stop_bits):
    """The line as the terminal sees it: speed, 8N1 or 8N2, and nothing that alters the bytes."""
    iflag, oflag, cflag, lflag, ispeed, ospeed = termios.tcgetattr(fd)[:6]
    problems = []
    if ispeed != speed or ospeed != speed:
        problems.append(f"speed {ispeed}/{ospeed}, wanted {speed}")
    if cflag & termios.CSIZE != termios.CS8 or cflag & termios.PARENB:
        problems.append("not 8 data bits without parity")
    if bool(cflag & termios.CSTOPB) != two_stop_bits:
        problems.append(f"stop bits: CSTOPB is {bool(cflag & termios.CSTOPB)}")
    if cflag & termios.CRTSCTS:
        problems.append("hardware flow control on")
    if iflag & (termios.IXON | termios.IXOFF):
        problems.append("software flow control on")
    if iflag & (termios.ICRNL | termios.INLCR | termios.IGNCR | termios.ISTRIP):
        problems.append("input bytes translated")
    if oflag & termios.OPOST:
        problems.append("output bytes translated")
    if lflag & (termios.ICANON | termios.ECHO | termios.ISIG):
        problems.append("line editing or echo on")
    if problems:
        raise Failure("line settings: " + "; ".join(problems))
    print(f"line checked: speed {speed}, {'2' if two_stop_bits else '1'} stop bit(s)", flush=True)


def with_pty(args, links, workdir, test_filter, play, file_com=0):
    """Runs one test with a fresh pseudo-terminal as COMn (and, with file_com, a plain file as that
    port); play(master, slave, program) plays the device's side, then the program's end is
    awaited."""
    master, slave = pty.openpty()
    try:
        set_wrong_line(slave)
        links.link(args.com, os.ttyname(slave))
        env = {"VIGIE_TEST_COM": str(args.com), "VIGIE_TEST_DIR": windows_path(workdir)}
        if file_com:
            plain = os.path.join(workdir, "not-a-port")
            with open(plain, "w") as f:
                f.write("not a serial port\n")
            links.link(file_com, plain)
            env["VIGIE_TEST_FILE_COM"] = str(file_com)
        program = Program(args, workdir, test_filter, env)
        try:
            play(master, slave, program)
            return program.wait()
        finally:
            program.kill()
    finally:
        for fd in (master, slave):
            try:
                os.close(fd)
            except OSError:
                pass


def scenario_probe(args, links, workdir):
    if args.file_com <= 0:
        raise Failure("--scenario probe needs --file-com")
    return with_pty(args, links, workdir, "PtyPort.FindsThePort*",
                    lambda master, slave, program: None, file_com=args.file_com)


def play_bytes(master, slave, program):
    every_byte = bytes(range(256))
    got = read_exactly(master, 256, program, "every byte value")
    if got != every_byte:
        raise Failure(f"the bytes changed on the way: {got!r}")
    check_line(slave, termios.B38400, two_stop_bits=False)
    os.write(master, every_byte[::-1])


def play_settings(master, slave, program):
    # With echo left on, the reply would come back here ahead of the signal.
    signal_byte = read_exactly(master, 1, program, "signal of the settings change")
    if signal_byte != b"!":
        raise Failure(f"expected the settings-change signal, got {signal_byte!r}")
    check_line(slave, termios.B9600, two_stop_bits=True)
    os.write(master, b"k")


def stall_player(workdir):
    def play(master, slave, program):
        signal_byte = read_exactly(master, 1, program, "signal of the stall")
        if signal_byte != b"#":
            raise Failure(f"expected the stall signal, got {signal_byte!r}")
        # Take nothing until the program's write has given up.
        wait_for_file(os.path.join(workdir, "write-gave-up"), program)
    return play


def play_gone(master, slave, program):
    signal_byte = read_exactly(master, 1, program, "signal of the loss")
    if signal_byte != b"?":
        raise Failure(f"expected the loss signal, got {signal_byte!r}")
    os.close(master)
    os.close(slave)


def scenario_bytes(args, links, workdir):
    return with_pty(args, links, workdir, "PtyPort.OpensAtTheLineSettings*", play_bytes)


def scenario_settings(args, links, workdir):
    return with_pty(args, links, workdir, "PtyPort.SettingsChanged*", play_settings)


def scenario_stall(args, links, workdir):
    return with_pty(args, links, workdir, "PtyPort.ADeviceThatTakesNoData*",
                    stall_player(workdir))


def scenario_gone(args, links, workdir):
    return with_pty(args, links, workdir, "PtyPort.ADeviceThatGoesAway*", play_gone)


class Simulator:
    def __init__(self, args, workdir, extra):
        self.log_path = os.path.join(workdir, "k7sim.log")
        self.log_file = open(self.log_path, "w")
        self.link = os.path.join(dosdevices(), f"com{args.com}")
        command = [args.k7sim, "--link", self.link, "--out", os.path.join(workdir, "received")] + extra
        print("+", " ".join(command), flush=True)
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self.log_file)
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        out = self.process.stdout.read1(4096) if ready else b""
        while ready and b"ready\n" not in out:
            ready, _, _ = select.select([self.process.stdout], [], [], 10)
            out += self.process.stdout.read1(4096) if ready else b""
        if b"ready\n" not in out:
            self.stop()
            raise Failure("the K7 simulator did not get ready:\n" + self.log())

    def log(self):
        with open(self.log_path) as f:
            return f.read()

    def finish(self, limit=10):
        try:
            return self.process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self.stop()
            raise Failure(f"the K7 simulator did not end within {limit} s:\n" + self.log())

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log_file.close()


def run_with_simulator(args, links, workdir, test_filter, sim_args, log_lines):
    links.claim(args.com)  # the simulator makes the link; it goes at the end whatever happens
    sim = Simulator(args, workdir, sim_args)
    try:
        env = {"VIGIE_TEST_COM": str(args.com), "VIGIE_TEST_DIR": windows_path(workdir)}
        status = Program(args, workdir, test_filter, env).wait()
        code = sim.finish()
        log = sim.log()
        print(log, end="", flush=True)
        if code != 0:
            raise Failure(f"the K7 simulator ended with {code}")
        missing = [line for line in log_lines if line not in log]
        if missing:
            raise Failure(f"not in the simulator's log: {missing}")
        if os.path.lexists(sim.link):
            raise Failure("the simulator left its link behind")
        return status
    finally:
        sim.stop()


def scenario_dialogue(args, links, workdir):
    return run_with_simulator(
        args, links, workdir, "K7Dialogue.PlaysAWholeUpdate",
        ["--name", "AB12CD3", "--end-delay", "0", "--once"],
        ["<- WakeUp", "-> T#FTPUN AB12CD3", "-> T#FTPPW 3DC21BA", "<- TransferStart", "<- line 3",
         "<- EndOfData", "<- TransferDone", "-> T#END", "(port closed: session over)"],
    )


def scenario_vanish(args, links, workdir):
    return run_with_simulator(
        args, links, workdir, "K7Dialogue.ADeviceThatVanishesFailsTheNextRead",
        ["--name", "AB12CD3", "--vanish-after", "2"],
        ["<- TransferStart", "<- line 2", "(vanishes after 2 lines)"],
    )


SCENARIOS = {"probe": scenario_probe, "bytes": scenario_bytes, "settings": scenario_settings,
             "stall": scenario_stall, "gone": scenario_gone, "dialogue": scenario_dialogue,
             "vanish": scenario_vanish}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scenario", choices=sorted(SCENARIOS), required=True)
    parser.add_argument("--emulator", default="wine")
    parser.add_argument("--exe", required=True, help="the Windows test program")
    parser.add_argument("--com", type=int, required=True, help="the port number of the device")
    parser.add_argument("--file-com", type=int, default=0,
                        help="probe: a port linked to a plain file")
    parser.add_argument("--k7sim", help="dialogue, vanish: the Linux K7 simulator")
    args = parser.parse_args()
    if args.scenario == "probe" and args.file_com <= 0:
        parser.error("--scenario probe needs --file-com")
    if args.scenario in ("dialogue", "vanish") and not (args.k7sim and os.access(args.k7sim, os.X_OK)):
        parser.error(f"--k7sim: no simulator at {args.k7sim} (build k7sim in the Linux build)")

    links = Links()
    workdir = tempfile.mkdtemp(prefix=f"vigie-win-serial-{args.scenario}-")
    try:
        status = SCENARIOS[args.scenario](args, links, workdir)
        if status != 0:
            raise Failure(f"the test program ended with {status}")
    except Failure as failure:
        print(f"FAILED ({args.scenario}): {failure}", file=sys.stderr, flush=True)
        return 1
    finally:
        links.remove()
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

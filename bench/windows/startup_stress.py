#!/usr/bin/python3
"""Starts the Windows program again and again under Wine while other work loads every core, and
counts the starts that did not reach the main window: the port list is built on threads of its
own, one per port, and a fault there shows only now and then, on a busy machine.

Three ports are there, as on a user's laptop: pseudo-terminals linked as COM1, COM3 and COM15,
COM15 in the system's list of serial ports. Each start passes the start window with Next and waits
for the main window; then the program is ended and the next start comes.

    startup_stress.py --program vigie-k7.exe --driver window_driver.exe [--starts 200] [--load N]
"""

import argparse
import os
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "windows", "window"))
from wine_window import MAIN_TITLE, START_TITLE, WineDesk, program_folder, program_path  # noqa: E402

# Busy work for one core, until killed.
LOAD = "while True:\n    pass\n"


def start_once(desk, env):
    """One start: 'main' when the main window came, 'crash' when the program ended before it
    (with what Wine said), 'stuck' when it neither came nor ended (with where it stood, and
    whether it got there after all in another minute: slow, or hung)."""
    process = desk.start(program_path(), env)
    try:
        if not desk.wait(START_TITLE, 60000):
            stage = "no start window"
        else:
            desk.drive("click", START_TITLE, "Next")
            if desk.wait(MAIN_TITLE, 60000):
                return "main", ""
            stage = "no main window after Next"
        if process.poll() is not None:
            return "crash", stage + "; " + desk.describe(process)
        later = desk.wait(MAIN_TITLE, 60000)
        start_window = desk.wait(START_TITLE, 0)
        return "stuck", "%s; a minute later: %s, start window %s; %s" % (
            stage, "main window" if later else "still no main window",
            "shown" if start_window else "gone", desk.describe(process))
    finally:
        desk.stop(process)
        desk.processes.remove(process)
        os.remove(process.output_file)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--starts", type=int, default=200)
    parser.add_argument("--load", type=int, default=os.cpu_count() or 2,
                        help="busy processes beside the program (default: one per core)")
    args = parser.parse_args()

    desk = WineDesk(args.driver)
    terminals = []
    load = []
    try:
        program_folder(desk, args.program)
        for number in (1, 3, 15):
            master, slave = os.openpty()
            terminals += [master, slave]
            desk.map_com(number, os.ttyname(slave))
        desk.list_com(15)
        env = {"LC_ALL": "C.UTF-8"}
        load = [subprocess.Popen([sys.executable, "-c", LOAD]) for _ in range(args.load)]
        outcomes = {"main": 0, "crash": 0, "stuck": 0}
        began = time.monotonic()
        for n in range(1, args.starts + 1):
            outcome, detail = start_once(desk, env)
            outcomes[outcome] += 1
            if outcome != "main":
                print("start %d: %s\n%s" % (n, outcome, detail), file=sys.stderr)
            if n % 20 == 0:
                print("%d starts: %r" % (n, outcomes), file=sys.stderr)
        seconds = time.monotonic() - began
    finally:
        for process in load:
            process.kill()
            process.wait()
        for fd in terminals:
            os.close(fd)
        desk.close()
    failed = outcomes["crash"] + outcomes["stuck"]
    print("Starts under load (%d busy processes, %d cores): %d" % (
        args.load, os.cpu_count() or 0, args.starts))
    print("Main window reached: %d; crashed before it: %d; stuck: %d (%.0f s)" % (
        outcomes["main"], outcomes["crash"], outcomes["stuck"], seconds))
    print("ROW\tstart-up under load: starts without the main window\t%d of %d\t0\t-\t0\t%s" % (
        failed, args.starts, "met" if failed == 0 else "MISSED"))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""The Windows program's benchmarks under Wine, run by bench/run in a throwaway prefix with a
virtual desktop on Xvfb:

  delay   runs win_delay_bench.exe (the session's waits on the Win32 platform) and passes its
          table and ROW lines through;
  update  one whole update of a 5,000-line database by vigie-k7.exe (the K7 simulator as COM1,
          pyftpdlib on 127.0.0.1), timed as the simulator receives the lines: the gaps between
          consecutive data lines, median and p99, against the Linux build's figures from the same
          run (passed in).

    wine_bench.py delay --bench win_delay_bench.exe --driver window_driver.exe
    wine_bench.py update --program vigie-k7.exe --driver window_driver.exe --k7sim k7sim
        --ftp-server tests/ftp/ftp_server.py [--lines 5000] [--linux-median MS --linux-p99 MS]
"""

import argparse
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "windows", "window"))
from wine_update import Device, FtpServer, database_lines, start_update  # noqa: E402
from wine_window import MAIN_TITLE, WineDesk  # noqa: E402


def delay(args):
    desk = WineDesk(args.driver)
    try:
        result = desk.wine([args.bench, str(args.runs)], timeout=600)
    finally:
        desk.close()
    sys.stdout.write(result.stdout.decode("utf-8", "replace").replace("\r\n", "\n"))


def update(args):
    desk = WineDesk(args.driver)
    peers = []
    try:
        server = FtpServer(desk.work, args.ftp_server, database_lines(args.lines))
        peers.append(server)
        device = Device(desk.work, args.k7sim, ["--end-delay", "0"])
        peers.append(device)
        process, _ = start_update(desk, args.program, server, device)
        # 5,000 lines at 23-24 ms, plus the dialogue and the download: some two and a half minutes.
        status = desk.wait_text(MAIN_TITLE, "lblStatus", "K7 mis à jour.", 60 + args.lines * 0.04)
        if status is None or "K7 mis à jour." not in status:
            raise SystemExit("the update did not succeed: %r" % status)
        times = device.line_times()
        desk.drive("close", MAIN_TITLE)
        process.wait(timeout=30)
    finally:
        for peer in peers:
            peer.close()
        desk.close()

    if len(times) != args.lines:
        raise SystemExit("the simulator reported %d lines, not %d" % (len(times), args.lines))
    gaps = sorted((b - a) * 1000 for a, b in zip(times, times[1:]))
    median = gaps[len(gaps) // 2]
    p99 = gaps[(len(gaps) * 99 + 99) // 100 - 1]
    print("Windows (Wine) transfer, %d lines: gaps min %.3f, median %.3f, p99 %.3f, max %.3f ms"
          % (len(times), gaps[0], median, p99, gaps[-1]))
    if args.linux_median:
        peer = "%.3f / %.3f ms Linux" % (args.linux_median, args.linux_p99 or 0)
        ratio = "%.3f" % (median / args.linux_median)
    else:
        peer, ratio = "-", "-"
    met = 23.0 <= median <= 24.0 and p99 <= 25.0
    print("ROW\tWindows (Wine): transfer, ms per line as received, median / p99 (%d lines)\t"
          "%.3f / %.3f ms\t%s\t%s\tmedian 23-24, p99 <= 25 ms\t%s"
          % (args.lines, median, p99, peer, ratio, "met" if met else "MISSED"))


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    d = commands.add_parser("delay")
    d.add_argument("--bench", required=True)
    d.add_argument("--driver", required=True)
    d.add_argument("--runs", type=int, default=3)
    u = commands.add_parser("update")
    for option in ("--program", "--driver", "--k7sim", "--ftp-server"):
        u.add_argument(option, required=True)
    u.add_argument("--lines", type=int, default=5000)
    u.add_argument("--linux-median", type=float)
    u.add_argument("--linux-p99", type=float)
    args = parser.parse_args()
    delay(args) if args.command == "delay" else update(args)


if __name__ == "__main__":
    main()

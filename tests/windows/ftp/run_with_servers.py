#!/usr/bin/python3
"""Runs a Windows test program (under Wine) against FTP servers started on the Linux side.

A program under Wine cannot start the Linux FTP server itself, so this script does: it starts
tests/ftp/ftp_server.py once plainly and once per fault, all serving one fresh folder, plus a
socket that never answers, and finds a port where nothing listens. The test learns where they are
from environment variables:

  VIGIE_FTP_PORT            the plain server
  VIGIE_FTP_PORT_<FAULT>    the server with that fault (see FAULTS)
  VIGIE_FTP_PORT_SILENT     accepts connections and never says a word
  VIGIE_FTP_PORT_CLOSED     nothing listens there
  VIGIE_FTP_ROOT            the served folder, as a Windows path (Wine's Z: drive)
  VIGIE_FTP_LOG             the plain server's command log, as a Windows path
  VIGIE_FTP_LOG_<FAULT>     the command log of the server with that fault

Usage: run_with_servers.py --server-script ftp_server.py [--timeout S] -- wine test.exe [args]
"""

import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

USERS = ["K7ABCDE:pw1", "K7NOREAD:pw3:el"]
FAULTS = {
    "DROP": "drop:2500",   # aborts the data connection after 2500 bytes
    "SHORT": "short:100",  # leaves out the last 100 bytes and reports success
    "STALL": "stall:1500", # sends 1500 bytes, then nothing more
    "LATELOGIN": "latelogin:2000",  # answers the password after 2 s
    "BUSY": "busy:1000000",  # turns every connection away with 421 at the greeting
    "HOLDABORT": "holdabort:12000",  # holds the data connection 12 s after the last byte
    "LATIN1": "latin1:0",  # answers the login in French, in Latin-1
}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def start_server(script, root, log, fault):
    command = [sys.executable, script, "--root", root, "--log", log]
    for user in USERS:
        command += ["--user", user]
    if fault:
        command += ["--fault", fault]
    process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline().split()
    if len(line) != 2 or line[0] != "PORT":
        process.kill()
        raise RuntimeError("the FTP server did not start: %r" % line)
    return process, int(line[1])


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server-script", required=True)
    parser.add_argument("--timeout", type=float, default=240)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()

    # A stop from CTest still ends the servers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    work = tempfile.mkdtemp(prefix="vigie-wininet-ftp-")
    servers = []
    silent = socket.socket()
    try:
        root = os.path.join(work, "root")
        os.mkdir(root)
        env = dict(os.environ)
        env.setdefault("WINEDEBUG", "-all")
        log = os.path.join(work, "plain.log")
        process, port = start_server(args.server_script, root, log, "")
        servers.append(process)
        env["VIGIE_FTP_PORT"] = str(port)
        env["VIGIE_FTP_LOG"] = windows_path(log)
        env["VIGIE_FTP_ROOT"] = windows_path(root)
        for name, fault in FAULTS.items():
            fault_log = os.path.join(work, name.lower() + ".log")
            process, port = start_server(args.server_script, root, fault_log, fault)
            servers.append(process)
            env["VIGIE_FTP_PORT_" + name] = str(port)
            env["VIGIE_FTP_LOG_" + name] = windows_path(fault_log)
        silent.bind(("127.0.0.1", 0))
        silent.listen(16)
        env["VIGIE_FTP_PORT_SILENT"] = str(silent.getsockname()[1])
        env["VIGIE_FTP_PORT_CLOSED"] = str(closed_port())
        try:
            return subprocess.run(args.command, env=env, timeout=args.timeout).returncode
        except subprocess.TimeoutExpired:
            print("the test ran longer than %g s" % args.timeout, file=sys.stderr)
            return 1
    finally:
        silent.close()
        for process in servers:
            process.kill()
            process.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

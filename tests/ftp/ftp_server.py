#!/usr/bin/python3
"""A small FTP server for the FTP tests and the download benchmark.

Serves one folder to the users given on the command line, on 127.0.0.1 and a free port, and
prints "PORT <n>" once it listens. Every command it receives goes to the log file, one a line,
so that a test can see what reached the server. A fault can be injected into RETR:

  reply:<text>    answer RETR with this reply instead of sending the file
  drop:<n>        send n bytes, then abort the data connection (426)
  stall:<n>       send n bytes, then stop sending (the connection stays open)
  short:<n>       send the file without its last n bytes, then report success
  extra:<n>       send the file followed by n more bytes, then report success
  slowclose:<ms>  send the whole file, then hold the data connection open ms milliseconds
                  before closing it and reporting success (a server with a bandwidth limit)
  holdabort:<ms>  the same, but abort the data connection (426) at the end of the hold
and one into the login and one into the end of a session:
  latelogin:<ms>  answer PASS only after ms milliseconds
  mutequit:0      never answer QUIT
  busy:<n>        turn the first n connections away at the greeting with 421, as a server does
                  that has all the users it takes; the next ones are served
  latin1:0        answer the login in French, in Latin-1 (an older server set up in French)
"""

import argparse
import logging
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, FileProducer, _FileReadWriteError
from pyftpdlib.ioloop import AsyncChat
from pyftpdlib.servers import FTPServer, ThreadedFTPServer

_log_lock = threading.Lock()
_stop = threading.Event()


def log_line(path, text):
    if not path:
        return
    with _log_lock, open(path, "a", encoding="utf-8", errors="backslashreplace") as f:
        f.write(text + "\n")


class FaultyProducer(FileProducer):
    """Hands out the file in small chunks so that a fault can strike in the middle."""

    buffer_size = 4096

    def __init__(self, file, type, fault, count):
        super().__init__(file, type)
        self.fault = fault
        self.count = count
        self.sent = 0
        self.size = os.fstat(file.fileno()).st_size
        self.extra_left = count if fault == "extra" else 0

    def _limit(self):
        if self.fault in ("slowclose", "holdabort"):
            return self.size
        if self.fault in ("drop", "stall"):
            return self.count
        if self.fault == "short":
            return max(0, self.size - self.count)
        return None

    def more(self):
        limit = self._limit()
        want = self.buffer_size
        if limit is not None:
            want = min(want, limit - self.sent)
        if want <= 0:
            if self.fault == "drop":
                raise _FileReadWriteError(5)  # EIO: the data connection is aborted
            if self.fault == "stall":
                _stop.wait(120)
            if self.fault in ("slowclose", "holdabort"):
                _stop.wait(self.count / 1000)
            if self.fault == "holdabort":
                raise _FileReadWriteError(5)
            return b""
        data = self.file.read(want)
        if not data and self.extra_left:
            data = b"#" * min(self.extra_left, self.buffer_size)
            self.extra_left -= len(data)
        self.sent += len(data)
        return data


def make_handler(args):
    fault, _, fault_arg = (args.fault or "").partition(":")
    turned_away = [0]

    class Handler(FTPHandler):
        banner = "Test server ready."
        auth_failed_timeout = 0.05  # answer a refused login at once
        # The faults need the producer; sendfile() would bypass it.
        use_sendfile = not fault

        def on_connect(self):
            log_line(args.log, "CONNECT")

        def handle(self):
            if fault == "busy" and turned_away[0] < int(fault_arg):
                turned_away[0] += 1
                self.on_connect()
                log_line(args.log, "BUSY")
                self.respond("421 1 users (the maximum) are already logged in, sorry")
                self.close_when_done()
                return
            super().handle()

        def push(self, s):
            # The handler writes its replies in UTF-8; an older server, in its own code page.
            if fault == "latin1":
                return AsyncChat.push(self, s.encode("latin-1"))
            return super().push(s)

        def ftp_PWD(self, line):
            if fault == "latin1":
                return self.respond('257 "%s" est le répertoire courant.' % self.fs.cwd)
            return super().ftp_PWD(line)

        def handle_auth_success(self, home, password, msg_login):
            if fault == "latin1":
                msg_login = "Bienvenue, vous êtes dans votre répertoire."
            return super().handle_auth_success(home, password, msg_login)

        def handle_auth_failed(self, msg, password):
            if fault == "latin1":
                msg = "Accès refusé."
            return super().handle_auth_failed(msg, password)

        def on_disconnect(self):
            log_line(args.log, "DISCONNECT")

        def pre_process_command(self, line, cmd, arg):
            log_line(args.log, line)
            return super().pre_process_command(line, cmd, arg)

        def ftp_PASS(self, line):
            if fault == "latelogin":
                time.sleep(int(fault_arg) / 1000)
            return super().ftp_PASS(line)

        def ftp_QUIT(self, line):
            if fault == "mutequit":
                return None
            return super().ftp_QUIT(line)

        def ftp_RETR(self, file):
            if fault == "reply":
                self.respond(fault_arg)
                return None
            if not fault:
                return super().ftp_RETR(file)
            try:
                fd = self.run_as_current_user(self.fs.open, file, "rb")
            except (EnvironmentError, Exception) as err:
                self.respond("550 %s." % getattr(err, "strerror", str(err)))
                return None
            producer = FaultyProducer(fd, self._current_type, fault, int(fault_arg))
            self.push_dtp_data(producer, isproducer=True, file=fd, cmd="RETR")
            return file

    return Handler, fault


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", action="append", default=[],
                        help="name:password[:perm], perm as pyftpdlib knows it (default elr)")
    parser.add_argument("--log", default="")
    parser.add_argument("--fault", default="")
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    for spec in args.user:
        name, password, *rest = spec.split(":")
        authorizer.add_user(name, password, args.root, perm=rest[0] if rest else "elr")
    handler, fault = make_handler(args)
    handler.authorizer = authorizer
    # A stalled transfer or a late login blocks its own thread only.
    server_class = (ThreadedFTPServer if fault in ("stall", "latelogin", "slowclose",
                                                 "holdabort")
                    else FTPServer)
    server = server_class(("127.0.0.1", 0), handler)
    print("PORT %d" % server.address[1], flush=True)
    try:
        server.serve_forever(handle_exit=False)
    finally:
        _stop.set()


if __name__ == "__main__":
    sys.exit(main())

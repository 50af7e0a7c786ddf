#!/usr/bin/python3
"""Runs the tests' FTP server (the script given first) with commands taken as raw bytes.

The server normally reads commands as UTF-8 and replaces what is not; a device's name may hold any
byte of its code page, so here every byte reaches the authorizer and the log unchanged (as a
surrogate escape, which the log shows as \\udcXX). --user-hex NAME:PASSWORD gives a login as the
hexadecimal of its bytes; the other options are the server's own.
"""

import runpy
import sys

from pyftpdlib.handlers import FTPHandler

FTPHandler.unicode_errors = "surrogateescape"


def from_hex(text):
    return bytes.fromhex(text).decode("utf-8", "surrogateescape")


def main():
    script, *rest = sys.argv[1:]
    args = []
    it = iter(rest)
    for arg in it:
        if arg == "--user-hex":
            name, password = next(it).split(":")
            args += ["--user", from_hex(name) + ":" + from_hex(password)]
        else:
            args.append(arg)
    sys.argv = [script] + args
    runpy.run_path(script, run_name="__main__")


if __name__ == "__main__":
    main()

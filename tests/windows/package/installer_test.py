#!/usr/bin/python3
"""The Windows installer under Wine, as a user meets it: installed without an administrator's
rights into the user's own programs folder with its Start menu shortcut and its entry in the
installed programs list; the installed program starts; the same installer again changes nothing;
a newer version replaces it in place; uninstalled, it leaves nothing of its own and keeps the
user's settings.

    installer_test.py --msi build-win/dist/vigie-k7-1.0.2-win64.msi --version 1.0.2
                      --wxs app/win32/package/vigie-k7.wxs --stage build-win/.../package/stage
                      --driver window_driver.exe
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
from wine_window import MAIN_TITLE, START_TITLE, WineDesk  # noqa: E402

ARGS = None
NAME = "VIGIE K7 Téléchargement"
PUBLISHER = "Distributeur VIGIE K7 (exemple)"
FILES = ["M4Start.rtf", "README.txt", "UserGuide.rtf", "vigie-k7.exe"]
UNINSTALL_KEYS = [r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                  r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"]


def summary_information(msi):
    """The installer's summary information as Explorer reads it: the code page, and each text
    property's bytes decoded in that code page ({property id: text})."""
    raw = subprocess.run(["msiinfo", "extract", msi, "\x05SummaryInformation"], check=True,
                         capture_output=True).stdout
    section = struct.unpack_from("<I", raw, 44)[0]
    count = struct.unpack_from("<I", raw, section + 4)[0]
    values = {}
    for i in range(count):
        pid, offset = struct.unpack_from("<II", raw, section + 8 + 8 * i)
        kind = struct.unpack_from("<I", raw, section + offset)[0]
        if kind == 2:  # VT_I2
            values[pid] = struct.unpack_from("<h", raw, section + offset + 4)[0]
        elif kind == 30:  # VT_LPSTR: a length, then the bytes and their zero
            length = struct.unpack_from("<I", raw, section + offset + 4)[0]
            values[pid] = raw[section + offset + 8:section + offset + 8 + length].rstrip(b"\0")
    codepage = values[1]
    return codepage, {pid: value.decode("cp%d" % codepage) for pid, value in values.items()
                      if isinstance(value, bytes)}


def newer_version(version):
    major, minor, revision = (int(v) for v in version.split("."))
    return "%d.%d.%d" % (major, minor, revision + 1)


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desk = WineDesk(ARGS.driver)
        cls.drive = os.path.join(cls.desk.work, "drive-m")
        os.makedirs(cls.drive)
        cls.desk.map_drive("m", cls.drive)
        shutil.copy(ARGS.msi, os.path.join(cls.drive, "old.msi"))
        cls.newer = newer_version(ARGS.version)
        cls.build_newer_installer()

    @classmethod
    def tearDownClass(cls):
        cls.desk.close()

    @classmethod
    def build_newer_installer(cls):
        """The same program as a newer version, whose README says so."""
        stage = os.path.join(cls.desk.work, "newer-stage")
        shutil.copytree(ARGS.stage, stage)
        with open(os.path.join(stage, "README.txt"), "ab") as f:
            f.write(b"\r\nVersion " + cls.newer.encode() + b"\r\n")
        subprocess.run(["wixl", "-a", "x64", "-D", "Version=" + cls.newer,
                        "-D", "Publisher=" + PUBLISHER, "-D", "SummaryPublisher=" + PUBLISHER,
                        "-I", stage,
                        "-o", os.path.join(cls.drive, "newer.msi"), ARGS.wxs], cwd=stage,
                       check=True)

    def test_explorer_reads_the_installers_summary_right(self):
        # Title, subject, author and comments in the summary's own code page, as Explorer shows
        # them in the file's properties (msitools' msiinfo reads the same stream).
        codepage, texts = summary_information(ARGS.msi)
        self.assertEqual(codepage, 1252)
        self.assertEqual(texts[2], "Installation Database")
        self.assertEqual(texts[3], "VIGIE K7 Telechargement " + ARGS.version)
        self.assertEqual(texts[4], PUBLISHER)
        self.assertEqual(texts[6], "Installe VIGIE K7 Telechargement pour cet utilisateur.")
        for pid, text in texts.items():
            self.assertNotIn("Ã", text, "property %d reads garbled" % pid)
        shown = subprocess.run(["msiinfo", "suminfo", ARGS.msi], check=True, capture_output=True,
                               text=True).stdout
        self.assertIn("Subject: VIGIE K7 Telechargement " + ARGS.version, shown.splitlines())

    def msiexec(self, *args):
        return self.desk.wine(["msiexec"] + list(args), timeout=300, check=False).returncode

    def windows_folder(self, variable, *parts):
        return os.path.join(self.desk.unix_path(self.desk.windows_env(variable)), *parts)

    def install_folder(self):
        return self.windows_folder("LOCALAPPDATA", "Programs", "VIGIE K7")

    def shortcut(self):
        return self.windows_folder("APPDATA", "Microsoft", "Windows", "Start Menu", "Programs",
                                   NAME + ".lnk")

    def registry(self, key):
        """The key's subkeys as {value name: value}, from the registry of the prefix."""
        exported = os.path.join(self.desk.work, "exported.reg")
        if os.path.exists(exported):
            os.remove(exported)
        self.desk.wine(["reg", "export", key, self.desk.windows_path(exported), "/y"],
                       check=False)
        if not os.path.exists(exported):
            return []
        with open(exported, encoding="utf-16") as f:
            text = f.read()
        sections = []
        for section in text.split("\n[")[1:]:
            values = {}
            for line in section.splitlines()[1:]:
                name, equals, value = line.partition("=")
                if equals and name.startswith('"') and value.startswith('"'):
                    values[name.strip('"')] = value.strip().strip('"').replace("\\\\", "\\")
            sections.append(values)
        return sections

    def entries(self):
        """The installed programs list's entries of ours (Wine keeps a per-user product's with
        the machine's)."""
        return [entry for key in UNINSTALL_KEYS for entry in self.registry(key)
                if entry.get("DisplayName") == NAME]

    def product_icon(self):
        """The icon the list shows for the product: the file the installer published."""
        for product in self.registry(r"HKCU\Software\Microsoft\Installer\Products"):
            if product.get("ProductName") == NAME and product.get("ProductIcon"):
                path = self.desk.unix_path(product["ProductIcon"])
                if os.path.isfile(path):
                    with open(path, "rb") as f:
                        return f.read()
        return None

    def readme(self):
        with open(os.path.join(self.install_folder(), "README.txt"), "rb") as f:
            return f.read()

    def test_install_start_reinstall_upgrade_uninstall(self):
        # Installed for this user alone, quietly: no administrator is asked for.
        self.assertEqual(self.msiexec("/i", r"M:\old.msi", "/qn"), 0)
        self.assertEqual(sorted(os.listdir(self.install_folder())), FILES)
        self.assertTrue(os.path.isfile(self.shortcut()), "no Start menu shortcut")
        entries = self.entries()
        self.assertEqual(len(entries), 1, entries)
        self.assertEqual(entries[0].get("DisplayVersion"), ARGS.version)
        self.assertEqual(entries[0].get("Publisher"), PUBLISHER)
        icon = self.product_icon()
        self.assertIsNotNone(icon, "no icon in the list")
        self.assertTrue(icon.startswith(b"\x00\x00\x01\x00"), "the icon is no icon file")

        # The installed program starts, finds its documents, and writes its settings on its
        # drive when it ends.
        # Started where the shortcut starts it, on drive C: (the settings follow the drive).
        program = self.desk.start(self.desk.windows_env("LOCALAPPDATA") +
                                  "\\Programs\\VIGIE K7\\vigie-k7.exe")
        self.addCleanup(self.desk.stop, program)
        self.assertTrue(self.desk.wait(START_TITLE), "no start window")
        self.assertNotIn("Could Not Be Found",
                         "\n".join(self.desk.drive("doctext", START_TITLE)[1]))
        self.desk.drive("click", START_TITLE, "Next")
        self.assertTrue(self.desk.wait(MAIN_TITLE))
        self.desk.drive("close", MAIN_TITLE)
        program.wait(timeout=30)
        settings = os.path.join(self.desk.unix_path("C:\\"), "Temp", "HD.ini")
        self.assertTrue(os.path.isfile(settings))

        # The same installer again changes nothing.
        before = {name: os.stat(os.path.join(self.install_folder(), name)).st_mtime_ns
                  for name in FILES}
        self.msiexec("/i", r"M:\old.msi", "/qn")
        self.assertEqual({name: os.stat(os.path.join(self.install_folder(), name)).st_mtime_ns
                          for name in FILES}, before)
        self.assertEqual(len(self.entries()), 1)

        # A newer version replaces it where it is: one entry, the new files.
        self.assertEqual(self.msiexec("/i", r"M:\newer.msi", "/qn"), 0)
        entries = self.entries()
        self.assertEqual([e.get("DisplayVersion") for e in entries], [self.newer])
        self.assertIn(b"Version " + self.newer.encode(), self.readme())
        self.assertEqual(sorted(os.listdir(self.install_folder())), FILES)
        self.assertTrue(os.path.isfile(self.shortcut()))

        # Uninstalled: the program's files, folder, shortcut and entry go; the settings stay.
        self.assertEqual(self.msiexec("/x", r"M:\newer.msi", "/qn"), 0)
        self.assertFalse(os.path.exists(self.install_folder()), "the program's folder stayed")
        self.assertFalse(os.path.exists(self.shortcut()), "the shortcut stayed")
        self.assertEqual(self.entries(), [])
        self.assertTrue(os.path.isfile(settings), "the user's settings went")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--msi", "--version", "--wxs", "--stage", "--driver"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

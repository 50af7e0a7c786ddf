#!/usr/bin/python3
"""Signing for a distributor: with a certificate named in the environment, the packaging signs the
program before packing it and signs the installer; without one it signs nothing. A throwaway
self-signed certificate, made here, stands in for the distributor's.

    signing_test.py --program vigie-k7.exe --packaging make_packages.cmake -- -DREADME=... (the
                    packaging's other settings)
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

ARGS = None
PASSWORD = "not a secret"


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


class SigningTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vigie-signing-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.key = os.path.join(self.work, "key.pem")
        self.certificate = os.path.join(self.work, "certificate.pem")
        self.pkcs12 = os.path.join(self.work, "distributor.p12")
        for command in (
                ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                 "-subj", "/CN=Distributeur VIGIE K7 (test)", "-keyout", self.key,
                 "-out", self.certificate],
                ["openssl", "pkcs12", "-export", "-inkey", self.key, "-in", self.certificate,
                 "-out", self.pkcs12, "-passout", "pass:" + PASSWORD]):
            result = run(command)
            self.assertEqual(result.returncode, 0, result.stderr)

    def package(self, environment):
        """Runs the packaging into a folder of its own; returns (exe from the zip, msi)."""
        out = tempfile.mkdtemp(dir=self.work)
        zip_path = os.path.join(out, "vigie.zip")
        msi_path = os.path.join(out, "vigie.msi")
        env = {k: v for k, v in os.environ.items() if not k.startswith("VIGIE_SIGN_")}
        env.update(environment)
        result = run(["cmake", "-DPROGRAM=" + ARGS.program, "-DSTAGE=" + os.path.join(out, "stage"),
                      "-DZIP=" + zip_path, "-DMSI=" + msi_path] + ARGS.settings +
                     ["-P", ARGS.packaging], env=env)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        with zipfile.ZipFile(zip_path) as archive:
            archive.extract("vigie-k7.exe", out)
        return os.path.join(out, "vigie-k7.exe"), msi_path

    def verify(self, path):
        """osslsigncode's verdict on the file's signature, against the throwaway certificate."""
        return run(["osslsigncode", "verify", "-CAfile", self.certificate, "-in", path])

    def test_signs_the_program_and_the_installer_with_the_certificate_given(self):
        exe, msi = self.package({"VIGIE_SIGN_PKCS12": self.pkcs12,
                                 "VIGIE_SIGN_PASSWORD": PASSWORD})
        for path in (exe, msi):
            result = self.verify(path)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("Signature verification: ok", result.stdout)
            self.assertIn("Distributeur VIGIE K7 (test)", result.stdout)

    def test_signs_nothing_without_a_certificate(self):
        exe, msi = self.package({})
        for path in (exe, msi):
            result = self.verify(path)
            self.assertNotEqual(result.returncode, 0)
            self.assertNotIn("Signature verification: ok", result.stdout)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--packaging", required=True)
    parser.add_argument("settings", nargs="*")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

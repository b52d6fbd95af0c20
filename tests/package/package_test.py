#!/usr/bin/env python3
"""Checks of the release packages, as a user gets them.

The Debian package (preset release-linux) is read with dpkg-deb, unpacked
into a throw-away folder and its program run from there; it is also
installed into and removed from a throw-away dpkg root. With
TARNBECK_APT_ROUNDTRIP=1 it is installed on this machine with
`apt-get install ./tarnbeck_*.deb` and removed again (for throw-away
machines only). The Windows zip (preset release-windows) is checked for
its files and a stripped tarnbeck.exe.

Run from the source folder after both release workflows, inside private
namespaces (the program binds nothing here, but takes its lock and looks
for simulator processes). Exit code 1 on any failure.
"""

import glob
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

SOURCE = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
TEMPLATE = os.path.join(SOURCE, "src", "config", "settings_template.ini")
UNITS = {"tarnbeck.service": "/usr/bin/tarnbeck --folder /var/lib/tarnbeck",
         "tarnbeck@.service": "/usr/bin/tarnbeck --folder /var/lib/tarnbeck/%i"}
PACKAGED_FILES = {"./usr/bin/tarnbeck": 0o755,
                  "./lib/systemd/system/tarnbeck.service": 0o644,
                  "./lib/systemd/system/tarnbeck@.service": 0o644,
                  "./usr/share/doc/tarnbeck/README.md": 0o644}


def only_file(pattern):
    found = glob.glob(os.path.join(SOURCE, pattern))
    if len(found) != 1:
        raise AssertionError("expected one %s, found %s" % (pattern, found))
    return found[0]


def run(*command, **options):
    return subprocess.run(list(command), capture_output=True, text=True, **options)


def files_below(root):
    """Every file and link below root, as paths relative to it."""
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = only_file("build/release-linux/tarnbeck_*.deb")

    def temporary_folder(self):
        folder = tempfile.mkdtemp(prefix="tarnbeck-package-")
        self.addCleanup(shutil.rmtree, folder, True)
        return folder

    def test_holds_the_program_the_units_and_the_readme(self):
        listing = run("dpkg-deb", "--contents", self.deb)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        files = {}
        for line in listing.stdout.splitlines():
            mode, owner, _, _, _, path = line.split(None, 5)
            if not mode.startswith("d"):
                files[path] = (mode, owner)
        self.assertEqual(sorted(files), sorted(PACKAGED_FILES))
        for path, permissions in PACKAGED_FILES.items():
            expected = "-" + "".join(
                flag if permissions & (1 << (8 - i)) else "-" for i, flag in enumerate("rwxrwxrwx"))
            self.assertEqual(files[path], (expected, "root/root"), path)

    def test_control_names_the_package_and_its_libraries(self):
        fields = {}
        for name in ("Package", "Version", "Architecture", "Depends", "Section"):
            result = run("dpkg-deb", "--field", self.deb, name)
            self.assertEqual(result.returncode, 0, result.stderr)
            fields[name] = result.stdout.strip()
        self.assertEqual(fields["Package"], "tarnbeck")
        self.assertRegex(fields["Version"], r"^\d+\.\d+")
        self.assertEqual(fields["Architecture"], run("dpkg", "--print-architecture").stdout.strip())
        depends = [entry.split()[0] for entry in fields["Depends"].split(", ")]
        self.assertIn("libcurl4", depends)
        self.assertIn("libstdc++6", depends)

    def test_unpacked_program_runs_with_a_folder_of_its_own(self):
        root = self.temporary_folder()
        result = run("dpkg-deb", "--extract", self.deb, root)
        self.assertEqual(result.returncode, 0, result.stderr)
        program = os.path.join(root, "usr", "bin", "tarnbeck")
        self.assertNotIn(".symtab", run("readelf", "-S", program).stdout, "not stripped")

        usage = run(program, "--help")
        self.assertEqual(usage.returncode, 0, usage.stderr)
        self.assertIn("usage: tarnbeck [--folder DIR] [-startlfs]", usage.stdout)

        folder = self.temporary_folder()
        working = self.temporary_folder()
        process = subprocess.Popen([program, "--folder", folder], cwd=working,
                                   env=dict(os.environ, XDG_CONFIG_HOME=working),
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            first = process.stdout.readline().decode()
            self.assertIn("Tarnbeck is running (settings %s/trbk.ini" % os.path.realpath(folder), first)
            with open(TEMPLATE, "rb") as file:
                template = file.read()
            with open(os.path.join(folder, "trbk.ini"), "rb") as file:
                self.assertEqual(file.read(), template)
            self.assertEqual(sorted(os.listdir(folder)), ["tarnbeck.lock", "trbk.ini"])
            # A second one for the same folder is refused.
            second = run(program, "--folder", folder, cwd=working, timeout=10)
            self.assertEqual((second.returncode, second.stderr), (0, "Tarnbeck is already running\n"))
            process.send_signal(signal.SIGTERM)
            self.assertEqual(process.wait(15), 0)
            self.assertEqual(process.stderr.read(), b"")
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdout.close()
            process.stderr.close()
        self.assertEqual(os.listdir(working), [])

    def test_units_start_the_packaged_program_in_its_state_folder(self):
        root = self.temporary_folder()
        run("dpkg-deb", "--extract", self.deb, root)
        units = os.path.join(root, "lib", "systemd", "system")
        for unit, command in UNITS.items():
            with open(os.path.join(units, unit)) as file:
                lines = [line.strip() for line in file if not line.startswith("#")]
            folder = command.split()[-1]
            self.assertIn("ExecStart=" + command, lines, unit)
            self.assertIn("WorkingDirectory=" + folder, lines, unit)
            self.assertIn("StateDirectory=" + folder[len("/var/lib/"):], lines, unit)
        if shutil.which("systemd-analyze") is None:
            return
        # systemd reads the units inside the unpacked root, beside this
        # machine's targets they depend on; the template as one instance.
        for target in glob.glob("/lib/systemd/system/*.target"):
            shutil.copy(target, units)
        os.symlink("tarnbeck@.service", os.path.join(units, "tarnbeck@league1.service"))
        for unit in ("tarnbeck.service", "tarnbeck@league1.service"):
            verified = run("systemd-analyze", "verify", "--root=" + root, os.path.join(units, unit))
            self.assertEqual((verified.returncode, verified.stdout + verified.stderr), (0, ""), unit)

    def test_installed_and_removed_in_a_throwaway_root_leaves_nothing(self):
        root = self.temporary_folder()
        for folder in ("var/lib/dpkg/info", "var/lib/dpkg/updates", "var/lib/dpkg/triggers"):
            os.makedirs(os.path.join(root, folder))
        open(os.path.join(root, "var/lib/dpkg/status"), "w").close()
        dpkg = ["dpkg", "--root=" + root, "--log=/dev/null", "--force-depends",
                "--force-script-chrootless", "--force-not-root"]
        installed = run(*dpkg, "--install", self.deb)
        self.assertEqual(installed.returncode, 0, installed.stderr)
        owned = run(*(dpkg + ["--listfiles", "tarnbeck"]))
        self.assertEqual(owned.returncode, 0, owned.stderr)
        for path in PACKAGED_FILES:
            self.assertTrue(os.path.isfile(os.path.join(root, path)), path)
            self.assertIn(path[1:], owned.stdout.splitlines())
        removed = run(*dpkg, "--purge", "tarnbeck")
        self.assertEqual(removed.returncode, 0, removed.stderr)
        left = {path for path in files_below(root) if not path.startswith("var/lib/dpkg/")}
        self.assertEqual(left, set())

    @unittest.skipUnless(os.environ.get("TARNBECK_APT_ROUNDTRIP") == "1",
                         "TARNBECK_APT_ROUNDTRIP=1 installs on this machine")
    def test_apt_installs_and_removes_the_package(self):
        self.assertNotEqual(run("dpkg-query", "-W", "tarnbeck").returncode, 0,
                            "tarnbeck is installed already")
        environment = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        installed = run("apt-get", "-o", "DPkg::Lock::Timeout=120", "install", "-y", "--no-install-recommends",
                        self.deb, env=environment)
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
        try:
            owned = run("dpkg", "--listfiles", "tarnbeck").stdout.splitlines()
            self.assertEqual(run("/usr/bin/tarnbeck", "--help").returncode, 0)
        finally:
            removed = run("apt-get", "-o", "DPkg::Lock::Timeout=120", "purge", "-y", "tarnbeck",
                          env=environment)
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        for path in PACKAGED_FILES:
            self.assertIn(path[1:], owned)
            self.assertFalse(os.path.exists(path[1:]), path)


class WindowsZip(unittest.TestCase):
    def test_holds_a_stripped_64_bit_tarnbeck_exe_and_the_readme(self):
        path = only_file("build/release-windows/tarnbeck-*-windows-x64.zip")
        top = os.path.basename(path)[:-len(".zip")]
        with zipfile.ZipFile(path) as archive:
            names = sorted(name for name in archive.namelist() if not name.endswith("/"))
            self.assertEqual(names, [top + "/README.md", top + "/tarnbeck.exe"])
            program = archive.read(top + "/tarnbeck.exe")
        self.assertEqual(program[:2], b"MZ")
        header = struct.unpack_from("<I", program, 0x3C)[0]
        self.assertEqual(program[header:header + 4], b"PE\0\0")
        machine, sections, _, symbol_table, symbols = struct.unpack_from("<HHIII", program, header + 4)
        self.assertEqual(machine, 0x8664)
        # A stripped image has no COFF symbol table (and so no debug sections
        # that name themselves through it).
        self.assertEqual((symbol_table, symbols), (0, 0))
        self.assertGreater(sections, 0)


def main():
    started = time.monotonic()
    result = unittest.main(exit=False, verbosity=2).result
    print("package checks: %.1f s" % (time.monotonic() - started))
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Installs a build into a fresh prefix and checks it as a desktop and a user meet it.

  install_test.py --build BUILD_DIR --work SCRATCH_DIR [--cmake CMAKE] [unittest arguments]

The files: programs, node libraries (no RUNPATH entry naming the current folder,
in the build tree either), menu entry (desktop-file-validate), icon
in the hicolor theme (PNG of the right size, drawn), file types (xmllint,
update-mime-database), manual pages (groff without warnings, naming every
option --help lists), no test driver (no file of it, no Qt Test or Qt Network
linked). The programs: the installed vorelan polls the registers
of the installed vorelan-boardsim with the node libraries installed beside it
(not those a per-user registry names), and `vorelan --simulate` opens its own
simulated board; both close on SIGTERM with status 0. With VORELAN_TEST_DRIVER
set, the installed vorelan says its test driver is missing and runs without it.

Every wait is bounded; none checks how long anything took.
"""

import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET
import zlib

BUILD = WORK = PREFIX = None

MIME_NS = "{http://www.freedesktop.org/standards/shared-mime-info}"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256, 512)
FILE_TYPES = {"application/x-vorelan-registers": "*.rgr", "application/x-vorelan-trace": "*.trc"}
CAN_REGISTERS = range(0x5A, 0x70)


def read_text(path):
    with open(path) as f:
        return f.read()


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


def wait_until(condition, what, bound=90.0, process=None):
    """Polls condition() until it is true; fails after `bound` seconds or when process ended."""
    deadline = time.monotonic() + bound
    while True:
        value = condition()
        if value:
            return value
        if process is not None and process.poll() is not None:
            raise AssertionError(f"the program ended (status {process.returncode}) before {what}")
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} within {bound:.0f} s")
        time.sleep(0.1)


def ended(process, bound=60.0):
    try:
        return process.wait(timeout=bound)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise AssertionError(f"{process.args[0]} did not end within {bound:.0f} s of being asked to")


def png_pixels(path):
    """Width, height and the RGBA rows of an 8-bit RGBA PNG (what Qt writes)."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        raise AssertionError(f"{path} is not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind, body = data[pos + 4 : pos + 8], data[pos + 8 : pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise AssertionError(f"{path}: depth {depth}, colour type {colour}, interlace {interlace}: not 8-bit RGBA")
    raw, stride, rows, previous, at = zlib.decompress(idat), width * 4, [], bytearray(width * 4), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1 : at + 1 + stride])
        at += 1 + stride
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = previous[x]
            c = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                nearest = min((abs(p - a), 0, a), (abs(p - b), 1, b), (abs(p - c), 2, c))[2]
                line[x] = (line[x] + nearest) & 255
        rows.append(line)
        previous = line
    return width, height, rows


def man_text(page):
    """The page rendered as plain text on one long line per paragraph; fails on any groff warning."""
    checked = run(["groff", "-man", "-ww", "-z", "-Tascii", page])
    if checked.returncode != 0 or checked.stderr:
        raise AssertionError(f"groff on {page}: {checked.stderr}")
    rendered = run(["groff", "-man", "-Tascii", "-P-c", "-rLL=400n", "-rHY=0", page])
    return re.sub(r".\x08", "", rendered.stdout)


def program_environment(home):
    """A first start: fresh folders, no registry named, no port overrides, no display."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("VORELAN_") and k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    for name in ("config", "data", "runtime"):
        os.makedirs(os.path.join(home, name), mode=0o700, exist_ok=True)
    env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_DATA_HOME=os.path.join(home, "data"),
               XDG_RUNTIME_DIR=os.path.join(home, "runtime"), QT_QPA_PLATFORM="offscreen")
    return env


def closes_on_sigterm(process):
    """Whether the program catches SIGTERM yet: before that, the signal would simply kill it."""
    with open(f"/proc/{process.pid}/status") as status:
        caught = next(int(line.split()[1], 16) for line in status if line.startswith("SigCgt:"))
    return bool(caught & (1 << (signal.SIGTERM - 1)))


def settings_text(home):
    path = os.path.join(home, "config", "Orvex", "vorelan.conf")
    return read_text(path) if os.path.exists(path) else ""


def node_libraries_mapped(process):
    """The node libraries the running process has loaded, by path."""
    with open(f"/proc/{process.pid}/maps") as maps:
        return {line.split()[-1] for line in maps if re.search(r"/lib(rs232|tavarnel)\.so$", line.strip())}


def elf_files(folder):
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path) and not os.path.islink(path):
            with open(path, "rb") as f:
                if f.read(4) == b"\x7fELF":
                    yield path


class InstalledFiles(unittest.TestCase):
    def test_no_program_or_library_looks_for_libraries_in_the_current_folder(self):
        """An empty or relative RUNPATH entry is the folder a program starts in: a library left there would run."""
        checked = 0
        for folder in (os.path.join(BUILD, "bin"), os.path.join(BUILD, "lib"),
                       os.path.join(PREFIX, "bin"), os.path.join(PREFIX, "lib")):
            for path in elf_files(folder):
                dynamic = run(["readelf", "-d", path]).stdout
                for found in re.findall(r"\((?:RUNPATH|RPATH)\)\s+Library r(?:un)?path: \[(.*)\]", dynamic):
                    for entry in found.split(":"):
                        self.assertTrue(entry.startswith(("/", "$ORIGIN")), f"{path}: RUNPATH [{found}]")
                checked += 1
        self.assertGreater(checked, 10)

    def test_programs_and_node_libraries_are_in_place(self):
        for program in ("vorelan", "vorelan-boardsim", "vorelan-regsvr"):
            path = os.path.join(PREFIX, "bin", program)
            self.assertTrue(os.path.isfile(path) and os.access(path, os.X_OK), path)
        for library in ("libcomrt.so", "librs232.so", "libtavarnel.so"):
            self.assertTrue(os.path.isfile(os.path.join(PREFIX, "lib", library)), library)
        version = run([os.path.join(PREFIX, "bin", "vorelan"), "--version"], env=program_environment(WORK + "/v"))
        self.assertEqual((version.returncode, version.stdout), (0, "Vorelan 1.1\n"), version.stderr)

    def test_the_menu_entry_is_valid_and_names_what_is_installed(self):
        entry = os.path.join(PREFIX, "share", "applications", "vorelan.desktop")
        validated = run(["desktop-file-validate", entry])
        self.assertEqual((validated.returncode, validated.stdout + validated.stderr), (0, ""))
        keys = dict(line.split("=", 1) for line in read_text(entry).splitlines() if "=" in line)
        program, *arguments = keys["Exec"].split()
        self.assertTrue(os.access(os.path.join(PREFIX, "bin", program), os.X_OK), keys["Exec"])
        self.assertEqual(arguments, ["%F"])
        self.assertEqual(keys["Icon"], "vorelan")
        self.assertEqual(set(filter(None, keys["MimeType"].split(";"))), set(FILE_TYPES))

    def test_the_icon_is_drawn_at_every_size_of_the_theme(self):
        for size in ICON_SIZES:
            path = os.path.join(PREFIX, "share", "icons", "hicolor", f"{size}x{size}", "apps", "vorelan.png")
            width, height, rows = png_pixels(path)
            self.assertEqual((width, height), (size, size), path)
            alpha = lambda x, y: rows[y][x * 4 + 3]
            centre = rows[size // 2][size // 2 * 4 : size // 2 * 4 + 4]
            # Transparent corners around an opaque, coloured drawing.
            self.assertEqual((alpha(0, 0), alpha(size - 1, size - 1)), (0, 0), path)
            self.assertEqual(centre[3], 255, path)
            colours = {bytes(row[x * 4 : x * 4 + 3]) for row in rows for x in range(size) if row[x * 4 + 3] == 255}
            self.assertGreater(len(colours), 4, path)

    def test_the_file_types_are_registered_for_their_extensions(self):
        package = os.path.join(PREFIX, "share", "mime", "packages", "vorelan.xml")
        if shutil.which("xmllint"):
            linted = run(["xmllint", "--noout", package])
            self.assertEqual((linted.returncode, linted.stderr), (0, ""))
        root = ET.parse(package).getroot()
        self.assertEqual(root.tag, MIME_NS + "mime-info")
        types = {t.get("type"): [g.get("pattern") for g in t.findall(MIME_NS + "glob")]
                 for t in root.findall(MIME_NS + "mime-type")}
        self.assertEqual(types, {name: [glob] for name, glob in FILE_TYPES.items()})
        for t in root.findall(MIME_NS + "mime-type"):
            self.assertTrue(t.findtext(MIME_NS + "comment"), t.get("type"))
        # The database a desktop builds from the package maps the extensions to the types.
        share = os.path.join(PREFIX, "share")
        built = run(["update-mime-database", os.path.join(share, "mime")], env=dict(os.environ, XDG_DATA_DIRS=share))
        self.assertEqual((built.returncode, built.stderr), (0, ""))
        globs = read_text(os.path.join(share, "mime", "globs2")).splitlines()
        for name, glob in FILE_TYPES.items():
            self.assertIn(f"50:{name}:{glob}", globs)

    def test_the_manual_pages_render_cleanly_and_name_every_option(self):
        for program in ("vorelan", "vorelan-boardsim"):
            page = os.path.join(PREFIX, "share", "man", "man1", program + ".1")
            text = man_text(page)
            self.assertRegex(text, r"NAME\s+" + re.escape(program) + " - ")
            helped = run([os.path.join(PREFIX, "bin", program), "--help"], env=program_environment(WORK + "/h"))
            self.assertEqual(helped.returncode, 0)
            options = set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", helped.stdout))
            self.assertGreaterEqual(len(options), 3, helped.stdout)
            for option in sorted(options):
                self.assertRegex(text, r"(?<![\w-])" + re.escape(option) + r"(?![\w-])", f"{option} in {page}")


class InstalledPrograms(unittest.TestCase):
    def start(self, args, env, name):
        log = open(os.path.join(WORK, name + ".out"), "w")
        process = subprocess.Popen(args, env=env, stdin=subprocess.PIPE, stdout=log, stderr=subprocess.STDOUT)
        self.addCleanup(log.close)
        self.addCleanup(process.stdin.close)
        self.addCleanup(lambda: process.poll() is None and (process.kill(), process.wait()))
        return process

    def output(self, name):
        return read_text(os.path.join(WORK, name + ".out"))

    def test_vorelan_polls_the_registers_of_the_installed_board_simulator(self):
        home = os.path.join(WORK, "board-run")
        env = program_environment(home)
        link, transcript = os.path.join(home, "board"), os.path.join(home, "board.log")
        board = self.start([os.path.join(PREFIX, "bin", "vorelan-boardsim"), "--link", link, "--trace", transcript,
                            "--traffic", "--quiet"], env, "boardsim")
        wait_until(lambda: os.path.exists(link), "board simulator link", process=board)
        # The user's registry names the build tree's libraries (as an older program wrote it after a
        # run from the build tree): the installed program uses its own libraries all the same.
        registry = os.path.join(home, "data", "vorelan", "components.reg")
        os.makedirs(os.path.dirname(registry))
        shutil.copy(os.path.join(BUILD, "registry", "components.reg"), registry)
        planted = read_text(registry)
        self.assertIn(os.path.join(BUILD, "lib", "librs232.so"), planted)
        # COM1 at 19200 bit/s, as a user who chose them last time; COM1 is the simulator.
        os.makedirs(os.path.join(home, "config", "Orvex"))
        with open(os.path.join(home, "config", "Orvex", "vorelan.conf"), "w") as f:
            f.write('[Communication]\nPort=1\nSettings="19200,n,8,1"\n')
        env["VORELAN_COM1"] = link
        vorelan = self.start([os.path.join(PREFIX, "bin", "vorelan")], env, "vorelan")

        def answered_register_reads():
            lines = read_text(transcript).splitlines() if os.path.exists(transcript) else []
            reads = [int(m.group(1), 16) for m in (re.search(r"PC>\s+13 00 ([0-9A-F]{2}) [0-9A-F]{2}$", l)
                                                   for l in lines) if m]
            answers = sum(1 for l in lines if "<MCU" in l)
            return answers >= 20 and any(address in CAN_REGISTERS for address in reads)

        try:
            wait_until(answered_register_reads, "register polling in the simulator's transcript", process=vorelan)
        except AssertionError as e:
            raise AssertionError(f"{e}\nvorelan said:\n{self.output('vorelan')}") from None
        self.assertEqual(node_libraries_mapped(vorelan),
                         {os.path.join(PREFIX, "lib", "librs232.so"), os.path.join(PREFIX, "lib", "libtavarnel.so")})
        wait_until(lambda: closes_on_sigterm(vorelan), "SIGTERM handler", process=vorelan)
        vorelan.send_signal(signal.SIGTERM)  # closes as File > Exit does
        self.assertEqual(ended(vorelan), 0, self.output("vorelan"))
        settings = settings_text(home)
        self.assertIn("[FormPositions]", settings)  # saved by the orderly close
        self.assertRegex(settings, r'Settings="?19200,n,8,1')
        self.assertEqual(read_text(registry), planted)  # the program writes no registry
        board.stdin.write(b"quit\n")
        board.stdin.flush()
        self.assertEqual(ended(board), 0, self.output("boardsim"))

    def test_the_installed_program_carries_no_test_driver(self):
        """The end-to-end tests' driver is a plugin of the build tree: nothing installed links Qt Test or Qt Network,
        and with its variable set the installed program says the driver is missing and runs without it."""
        linked = run(["ldd", os.path.join(PREFIX, "bin", "vorelan")])
        self.assertIn("libQt6Widgets", linked.stdout, linked.stderr)
        self.assertNotRegex(linked.stdout, r"libQt6(Test|Network)")
        self.assertEqual([name for _, _, names in os.walk(PREFIX) for name in names if "testdriver" in name], [])
        home = os.path.join(WORK, "driver-run")
        env = program_environment(home)
        env["VORELAN_TEST_DRIVER"] = socket = os.path.join(env["XDG_RUNTIME_DIR"], "driver.sock")
        vorelan = self.start([os.path.join(PREFIX, "bin", "vorelan")], env, "driver")
        wait_until(lambda: "the test driver does not listen on " + socket in self.output("driver"),
                   "the missing driver's message", process=vorelan)
        wait_until(lambda: closes_on_sigterm(vorelan), "SIGTERM handler", process=vorelan)
        vorelan.send_signal(signal.SIGTERM)
        self.assertEqual(ended(vorelan), 0, self.output("driver"))
        self.assertFalse(os.path.exists(socket))

    def test_vorelan_simulate_opens_its_own_board_and_closes_cleanly(self):
        home = os.path.join(WORK, "simulate-run")
        env = program_environment(home)
        runtime = env["XDG_RUNTIME_DIR"]
        vorelan = self.start([os.path.join(PREFIX, "bin", "vorelan"), "--simulate"], env, "simulate")

        def board_link():
            for folder in os.listdir(runtime):
                link = os.path.join(runtime, folder, "board")
                if folder.startswith("vorelan-sim-") and os.path.islink(link):
                    return os.path.realpath(link)
            return None

        def descriptors_on(device):
            count = 0
            for fd in os.listdir(f"/proc/{vorelan.pid}/fd"):
                try:
                    count += os.readlink(f"/proc/{vorelan.pid}/fd/{fd}") == device
                except OSError:
                    pass
            return count

        try:
            device = wait_until(board_link, "simulated board link", process=vorelan)
            self.assertTrue(device.startswith("/dev/pts/"), device)
            # The simulator holds the terminal open itself; a second descriptor is the serial node's port.
            wait_until(lambda: descriptors_on(device) >= 2, "serial port open on the simulated board",
                       process=vorelan)
        except AssertionError as e:
            raise AssertionError(f"{e}\nvorelan said:\n{self.output('simulate')}") from None
        wait_until(lambda: closes_on_sigterm(vorelan), "SIGTERM handler", process=vorelan)
        vorelan.send_signal(signal.SIGTERM)
        self.assertEqual(ended(vorelan), 0, self.output("simulate"))
        self.assertEqual(os.listdir(runtime), [])  # the board was taken down: main() ran to its end


def main():
    global BUILD, WORK, PREFIX
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cmake", default="cmake")
    options, rest = parser.parse_known_args()
    BUILD, WORK = os.path.abspath(options.build), os.path.abspath(options.work)
    PREFIX = os.path.join(WORK, "prefix")
    missing = [tool for tool in ("desktop-file-validate", "update-mime-database", "groff") if not shutil.which(tool)]
    if missing:
        sys.exit(f"missing {', '.join(missing)}: ./dev setup installs them")
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    installed = run([options.cmake, "--install", BUILD, "--prefix", PREFIX])
    if installed.returncode != 0:
        sys.exit("cmake --install failed:\n" + installed.stdout + installed.stderr)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()

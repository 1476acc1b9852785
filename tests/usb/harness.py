#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real USB path under test.

Boots the installed Debian kernel in a QEMU guest (TCG) with the host's root over 9p, plugs
QEMU's emulated FTDI chip with selkoran-boardsim behind it, and runs the scenarios of the
README in the guest, on the libftdi path (usb:0) and on the kernel's serial driver
(tty:/dev/ttyUSB0). Prints one line per scenario and path and a closing "N passed, N failed"
line; exits 1 when anything failed.

Usage: harness.py BUILD_DIR [--path usb|tty]... [--only SCENARIO]...
"""

import argparse
import concurrent.futures
import json
import os
import queue
import re
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
TOOLS = HERE / "guest-tools"

STEP_LIMIT = 120  # seconds for any one step
VM_LIMIT = 600  # seconds for the whole virtual machine
UNPLUG_EXIT_LIMIT = 2.0  # seconds from an unplug mid-run to the program's end
MODULES = ["xhci_pci", "virtio_pci", "9pnet_virtio", "9p"]
GUEST_SHARE = "/tmp/selkoran-share"  # where guest-init mounts the shared folder

SERIAL_A = "SELKA001"
SERIAL_B = "SELKB002"
IDENTITY = "SELKORAN / 1.10"
NOT_FOUND = "SELKORAN が見つかりませんでした"
NO_RESPONSE = "SELKORAN が応答しませんでした"
MEASURE_ERROR = "計測エラーで終了"
STOPPED = "計測中止しました"
FINISHED = "計測終了しました"

PATHS = {"usb": "usb:0", "tty": "tty:/dev/ttyUSB0"}

# The runs whose data are compared with the in-process simulator: rate in samples per second,
# channel, count. Each gets a fresh board with a seed of its own on each path.
RUNS = {
    "fast-both": (31250, 2, 10000),
    "fast-ch1": (10417, 1, 10000),
    "slow": (5, 0, 100),
    "driver-back": (31250, 0, 1000),
    "replug": (31250, 2, 1000),
    "ctrl-c": (100.2, 0, 1000),
    "window": (31250, 2, 10000),
    "two-a": (31250, 2, 10000),
    "two-b": (31250, 2, 10000),
}
# The long recording (rate, channel, seconds): 1,100,000 samples at 31250/s, past the
# 1,048,575 of one start command, compared with the same recording on the in-process simulator,
# made at the same time on the host.
RECORDING = (31250, 2, 35.2)
RECORDING_SAMPLES = 1100000
# The recording window's recording: rate and channel; stopped by its button after at
# least 20000 samples (guest-tools), then compared with the in-process simulator.
WINDOW_RECORDING = (5208, 2)


class Failure(Exception):
    """A scenario's check did not hold."""


def check(condition, text):
    if not condition:
        raise Failure(text)


def seed_of(path, run):
    return 100 * (list(PATHS).index(path) + 1) + [*RUNS, "recording", "recording-window"].index(run)


# ---- The guest's kernel and initramfs -----------------------------------------------------


def version_key(version):
    return [int(part) if part.isdigit() else part for part in re.split(r"(\d+)", version)]


def find_kernel():
    """The installed kernel the guest boots: SELKORAN_GUEST_KERNEL, or the newest one that has
    both an image in /boot and its modules."""
    wanted = os.environ.get("SELKORAN_GUEST_KERNEL")
    found = [
        image.name[len("vmlinuz-"):]
        for image in Path("/boot").glob("vmlinuz-*")
        if (Path("/lib/modules") / image.name[len("vmlinuz-"):] / "modules.dep").exists()
    ]
    if wanted:
        check(wanted in found, f"kernel {wanted} is not installed with its modules")
        return wanted
    check(found, "no kernel with modules in /boot (scripts/setup usb installs one)")
    return max(found, key=version_key)


def module_files(version):
    files = []
    for module in MODULES:
        listing = subprocess.run(
            ["modprobe", "-S", version, "--show-depends", module],
            capture_output=True, text=True, check=True,
        ).stdout
        for line in listing.splitlines():
            words = line.split()
            if words and words[0] == "insmod" and words[1] not in files:
                files.append(words[1])
    return [Path(f) for f in files]


def build_initramfs(version, folder):
    """Static busybox, the modules that reach the host (in load order) and guest-init; built
    again only when one of them is newer than the archive."""
    target = folder / f"initramfs-{version}.cpio.gz"
    modules = module_files(version)
    inputs = [Path("/bin/busybox"), HERE / "guest-init", *modules]
    if target.exists() and all(p.stat().st_mtime <= target.stat().st_mtime for p in inputs):
        return target
    with tempfile.TemporaryDirectory() as root:
        root = Path(root)
        for sub in ("bin", "dev", "proc", "sys", "host", "lib/modules"):
            (root / sub).mkdir(parents=True)
        shutil.copy2("/bin/busybox", root / "bin/busybox")
        shutil.copy2(HERE / "guest-init", root / "init")
        (root / "init").chmod(0o755)
        for module in modules:
            shutil.copy2(module, root / "lib/modules" / module.name)
        (root / "modules").write_text("".join(m.name + "\n" for m in modules))
        names = subprocess.run(["find", "."], cwd=root, capture_output=True, check=True).stdout
        archive = subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root,
                                 input=names, capture_output=True, check=True).stdout
        partial = target.with_suffix(".partial")
        with open(partial, "wb") as out:
            subprocess.run(["gzip", "-1"], input=archive, stdout=out, check=True)
        partial.rename(target)
    return target


# ---- The simulated boards ---------------------------------------------------------------


class Board:
    """One selkoran-boardsim on a pseudo-terminal, with every command it receives."""

    def __init__(self, build, serial, seed, log, *options):
        self.serial = serial
        self.seed = seed
        self.log = log
        self.commands = []
        self.changed = threading.Condition()
        self.proc = subprocess.Popen(
            [str(build / "selkoran-boardsim"), f"--seed={seed}", "--trace", *options],
            stdout=subprocess.PIPE, stderr=log, text=True,
        )
        lines = queue.Queue()
        threading.Thread(target=self._read, args=(lines,), daemon=True).start()
        try:
            self.path = lines.get(timeout=10)
        except queue.Empty:
            self.stop()
            raise Failure("selkoran-boardsim printed no path")

    def _read(self, lines):
        first = True
        for line in self.proc.stdout:
            if first:
                lines.put(line.strip())
                first = False
            elif line.startswith("< "):
                with self.changed:
                    self.commands.append(line[2:].rstrip("\n"))
                    self.changed.notify_all()

    def wait_command(self, command, since, limit):
        """True once `command` has arrived after the first `since` commands."""
        with self.changed:
            return self.changed.wait_for(lambda: command in self.commands[since:], limit)

    def stop(self):
        """Ends the simulator and notes what it received in the boards' log."""
        if self.proc.poll() is not None:
            return
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        with self.changed:
            self.log.write(f"board {self.serial} seed {self.seed}: {' '.join(self.commands)}\n")
            self.log.flush()


# ---- The virtual machine ----------------------------------------------------------------


def connect(path, deadline):
    """A connection to one of QEMU's unix sockets, once QEMU has opened it."""
    sock = socket.socket(socket.AF_UNIX)
    while True:
        try:
            sock.connect(str(path))
            return sock
        except (FileNotFoundError, ConnectionRefusedError):
            check(time.monotonic() < deadline, f"QEMU did not open {path.name}")
            time.sleep(0.05)


class Monitor:
    """QEMU's machine protocol on a unix socket: commands, their answers, and events."""

    def __init__(self, sock):
        self.sock = sock
        self.sock.settimeout(10)
        self.stream = self.sock.makefile("rw")
        self.events = []
        self._message()
        self.execute("qmp_capabilities")

    def _message(self):
        line = self.stream.readline()
        check(line, "QEMU's monitor closed")
        return json.loads(line)

    def execute(self, command, **arguments):
        self.stream.write(json.dumps({"execute": command, "arguments": arguments}) + "\n")
        self.stream.flush()
        while True:
            message = self._message()
            if "event" in message:
                self.events.append(message)
            elif "error" in message:
                raise Failure(f"{command}: {message['error'].get('desc')}")
            elif "return" in message:
                return message["return"]

    def wait_event(self, name, device, limit):
        end = time.monotonic() + limit
        while True:
            for event in self.events:
                if event["event"] == name and event.get("data", {}).get("device") == device:
                    self.events.remove(event)
                    return
            check(time.monotonic() < end, f"no {name} event for {device}")
            self.sock.settimeout(max(0.01, end - time.monotonic()))
            try:
                self.events.append(self._message())
            except socket.timeout:
                pass
            finally:
                self.sock.settimeout(10)


class Step:
    """One shell script run in the guest; its files share the step's number."""

    def __init__(self, guest, number):
        self.guest = guest
        self.number = number
        self.base = guest.share / "steps" / f"{number:04d}"

    def guest_path(self, suffix):
        return f"{GUEST_SHARE}/steps/{self.number:04d}{suffix}"

    def file(self, suffix):
        return Path(f"{self.base}{suffix}")

    def text(self, suffix):
        try:
            return self.file(suffix).read_text(errors="replace").replace("\r\n", "\n")
        except FileNotFoundError:
            return ""

    def rc(self):
        text = self.text(".rc").strip()
        return int(text) if text else None

    def wait(self, limit=STEP_LIMIT):
        """The exit code; a Failure when the step outlives its limit."""
        try:
            self.guest.wait_until(lambda: self.rc() is not None, limit, f"step {self.number}")
        except Failure as failure:
            said = (self.text(".out") + self.text(".err")).strip().splitlines()
            raise Failure(f"{failure}; its last words: {said[-3:]}") from None
        return self.rc()


class Guest:
    """The virtual machine, its shared folder and its plugged chips."""

    def __init__(self, build, work, version, initramfs):
        self.build = build
        self.share = work / "share"
        shutil.rmtree(self.share, ignore_errors=True)
        (self.share / "steps").mkdir(parents=True)
        self.sockets = Path(tempfile.mkdtemp(prefix="selkoran-usb-"))
        self.board_log = open(work / "boards.log", "w")
        self.steps = 0
        self.plugs = 0
        self.slots = {}
        self.wake = None
        self.deadline = time.monotonic() + VM_LIMIT
        command = [
            "qemu-system-x86_64", "-accel", "tcg", "-cpu", "max", "-m", "1024", "-smp", "1",
            "-nodefaults", "-nographic", "-net", "none", "-no-reboot",
            "-kernel", f"/boot/vmlinuz-{version}", "-initrd", str(initramfs),
            "-append", f"console=ttyS0 quiet panic=-1 SELKORAN_TOOLS={TOOLS} "
                       f"SELKORAN_BUILD={build}",
            "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,"
                       "multidevs=remap",
            "-virtfs", f"local,path={self.share},mount_tag=share,security_model=none",
            "-device", "qemu-xhci,id=hc",
            "-serial", f"file:{work / 'console.log'}",
            "-chardev", f"socket,id=wake,path={self.sockets / 'wake'},server=on,wait=off",
            "-serial", "chardev:wake",
            "-qmp", f"unix:{self.sockets / 'qmp'},server=on,wait=off",
        ]
        with open(work / "qemu.log", "w") as log:
            self.proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log,
                                         stderr=subprocess.STDOUT)
        try:
            opened = time.monotonic() + 10
            self.monitor = Monitor(connect(self.sockets / "qmp", opened))
            self.wake = connect(self.sockets / "wake", opened)
            ready = self.share / "ready"
            self.wait_until(ready.exists, STEP_LIMIT, "the guest's start")
            check(ready.read_text().strip() == version, "the guest runs another kernel")
        except Exception:
            self.close()
            raise

    def wait_until(self, condition, limit, what):
        end = min(time.monotonic() + limit, self.deadline)
        while not condition():
            check(self.proc.poll() is None, f"the virtual machine ended during {what}")
            check(time.monotonic() < self.deadline, f"the virtual machine's {VM_LIMIT} s are up")
            check(time.monotonic() < end, f"{what} took longer than {limit} s")
            time.sleep(0.02)

    def start(self, script):
        self.steps += 1
        step = Step(self, self.steps)
        partial = step.file(".partial")
        partial.write_text(script.replace("@STEP@", step.guest_path("")))
        partial.rename(step.file(".sh"))
        self.wake.sendall(b"\n")
        return step

    def run(self, script, limit=STEP_LIMIT):
        step = self.start(script)
        step.wait(limit)
        return step

    def tools(self, *args):
        return self.run(f"exec bash {TOOLS} " + " ".join(shlex.quote(a) for a in args))

    def plug(self, slot, board):
        self.plugs += 1
        chardev = f"board{self.plugs}"
        self.monitor.execute("chardev-add", id=chardev,
                             backend={"type": "serial", "data": {"device": board.path}})
        self.monitor.execute("device_add", driver="usb-serial", id=f"chip{slot}", bus="hc.0",
                             port=str(slot + 1), chardev=chardev, serial=board.serial)
        self.slots[slot] = (board, chardev)
        check(self.tools("wait-chip", board.serial, "present").rc() == 0,
              f"the guest did not see chip {board.serial}")
        return board

    def fresh_board(self, slot, serial, seed, *options):
        self.unplug(slot)
        return self.plug(slot, Board(self.build, serial, seed, self.board_log, *options))

    def pull(self, slot):
        """Unplugs the chip in `slot` through the monitor; returns when QEMU has let go of it."""
        board, chardev = self.slots.pop(slot)
        self.monitor.execute("device_del", id=f"chip{slot}")
        unplugged = time.monotonic()
        self.monitor.wait_event("DEVICE_DELETED", f"chip{slot}", 10)
        self.monitor.execute("chardev-remove", id=chardev)
        board.stop()
        return board, unplugged

    def unplug(self, slot):
        if slot in self.slots:
            board, _ = self.pull(slot)
            check(self.tools("wait-chip", board.serial, "gone").rc() == 0,
                  f"chip {board.serial} stayed on the guest's bus")

    def close(self):
        for board, _ in self.slots.values():
            board.stop()
        (self.share / "steps" / "stop").touch()
        try:
            if self.wake:
                self.wake.sendall(b"\n")
        except OSError:
            pass  # the machine has ended already
        try:
            self.proc.wait(min(30, max(1, self.deadline - time.monotonic())))
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.board_log.close()
        shutil.rmtree(self.sockets, ignore_errors=True)


# ---- What the in-process simulator gives ----------------------------------------------


class Expected:
    """CSV tables and statistics lines of selkoran-cli on the in-process simulator, computed
    in the background while the guest boots."""

    def __init__(self, build, folder):
        self.build = build
        self.folder = folder
        folder.mkdir(parents=True, exist_ok=True)
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=len(RUNS) * len(PATHS))
        self.runs = {}

    def request(self, seed, rate, channel, count):
        key = (seed, rate, channel, count)
        if key not in self.runs:
            self.runs[key] = self.pool.submit(self._measure, *key)
        return self.runs[key]

    def _measure(self, seed, rate, channel, count):
        csv = self.folder / f"seed{seed}-rate{rate}-ch{channel}-{count}.csv"
        done = subprocess.run(
            [str(self.build / "selkoran-cli"), "measure", "--device", f"sim:seed={seed}",
             "--rate", str(rate), "--channel", str(channel), "--count", str(count),
             "--csv", str(csv)],
            capture_output=True, text=True, timeout=STEP_LIMIT,
        )
        if done.returncode != 0:
            raise Failure(f"the in-process simulator failed: {done.stderr.strip()}")
        return table_of(csv.read_text()), done.stdout.splitlines()

    def get(self, seed, rate, channel, count):
        return self.request(seed, rate, channel, count).result(timeout=STEP_LIMIT)

    def close(self):
        self.pool.shutdown(cancel_futures=True)


# ---- The scenarios ------------------------------------------------------------------------


def progress_of(step):
    """The sample count of the last progress bar the program drew."""
    found = re.findall(r"\] (\d+) / \d+", step.text(".tty"))
    return int(found[-1]) if found else 0


def table_of(text):
    """The column line and the rows of a CSV table, without its "#" lines."""
    return [line for line in text.splitlines() if not line.startswith("#")]


def compare_csv(got, expected, what):
    check(got, f"{what}: no CSV was written")
    check(got[0] == expected[0], f"{what}: CSV header {got[0]!r}")
    for i, (g, e) in enumerate(zip(got[1:], expected[1:]), start=1):
        check(g == e, f"{what}: sample {i} is {g!r}, the simulator gave {e!r}")
    check(len(got) <= len(expected), f"{what}: {len(got) - 1} samples, more than asked for")


class Scenarios:
    def __init__(self, guest, expected, path):
        self.guest = guest
        self.expected = expected
        self.path = path
        self.device = PATHS[path]
        self.cli = guest.build / "selkoran-cli"

    # Number, title and method of every scenario, in the order they run on each path.
    TABLE = [
        ("1", "identify", "identify"),
        ("2", "fast runs", "fast_runs"),
        ("3", "slow run", "slow_run"),
        ("7", "kernel driver back", "driver_back"),
        ("4", "unplug mid-run", "unplug_mid_run"),
        ("4", "unplug with nothing plugged", "nothing_plugged"),
        ("4", "unplug during identification", "unplug_identifying"),
        ("5", "re-plug", "replug"),
        ("6", "Ctrl-C", "ctrl_c"),
        ("8", "the window", "window"),
        ("9", "two boards", "two_boards"),
        ("10", "long recording", "recording"),
        ("11", "the recording window", "recording_window"),
    ]

    # -- helpers

    def fresh(self, run=None, options=()):
        """A new board in the first slot; a run's own seed when its data are compared."""
        seed = seed_of(self.path, run) if run else 1
        return self.guest.fresh_board(0, SERIAL_A, seed, *options)

    def start_cli(self, *args, terminal=False, device=None):
        """selkoran-cli in the guest; with `terminal`, standard error is a terminal (so the
        progress bar is drawn) logged to the step's .tty file."""
        words = [str(self.cli), *args, "--device", device or self.device]
        command = " ".join(shlex.quote(w) for w in words)
        if terminal:
            inner = f"echo $$ >@STEP@.pid; exec {command} >@STEP@.stdout"
            return self.guest.start(f"cd /tmp\nexec script -qefc {shlex.quote(inner)} @STEP@.tty\n")
        return self.guest.start(f"cd /tmp\necho $$ >@STEP@.pid\nexec {command}\n")

    def run_cli(self, *args, **kwargs):
        step = self.start_cli(*args, **kwargs)
        step.wait()
        return step

    def measure_args(self, run):
        rate, channel, count = RUNS[run]
        return ["measure", "--rate", str(rate), "--channel", str(channel), "--count",
                str(count), "--csv", "@STEP@.csv"]

    def expect_data(self, step, run, board, what=None):
        what = what or run
        check(step.rc() == 0, f"{what}: exit {step.rc()}: {step.text('.err').strip()}")
        got = table_of(step.text(".csv"))
        expected, _ = self.expected.get(board.seed, *RUNS[run])
        check(len(got) == len(expected), f"{what}: {len(got) - 1} samples instead of "
                                         f"{len(expected) - 1}")
        compare_csv(got, expected, what)

    def measured_run(self, run):
        board = self.fresh(run)
        step = self.start_cli(*self.measure_args(run))
        step.wait()
        self.expect_data(step, run, board)

    def expect_identified(self, step, what):
        check(step.rc() == 0 and step.text(".out").strip() == IDENTITY,
              f"{what}: exit {step.rc()}, {step.text('.out').strip()!r} "
              f"{step.text('.err').strip()!r}")

    # -- scenarios

    def identify(self):
        self.fresh()
        self.expect_identified(self.run_cli("info"), "info")

    def fast_runs(self):
        self.measured_run("fast-both")
        self.measured_run("fast-ch1")

    def slow_run(self):
        self.measured_run("slow")

    def driver_back(self):
        self.measured_run("driver-back")
        step = self.guest.run(f"bash {TOOLS} tty-of {SERIAL_A}")
        check(step.rc() == 0 and step.text(".out").strip() == "/dev/ttyUSB0",
              f"after the run the chip has no /dev/ttyUSB0 ({step.text('.out').strip()!r})")

    def unplug_mid_run(self):
        self.fresh()
        step = self.start_cli("measure", "--rate", "10", "--count", "100", "--output",
                              "@STEP@.DTA", "--csv", "@STEP@.csv", terminal=True)
        self.guest.wait_until(lambda: progress_of(step) > 0 or step.rc() is not None,
                              STEP_LIMIT, "the run's first samples")
        check(step.rc() is None, f"the run ended before the unplug: {step.text('.tty')!r}")
        _, unplugged = self.guest.pull(0)
        step.wait()
        took = time.monotonic() - unplugged
        text = step.text(".tty")
        check(step.rc() == 1, f"exit {step.rc()} after the unplug: {text!r}")
        check(MEASURE_ERROR in text, f"no {MEASURE_ERROR!r}: {text!r}")
        check(took <= UNPLUG_EXIT_LIMIT, f"ended {took:.1f} s after the unplug")
        for written in (".DTA", ".csv"):
            check(not step.file(written).exists(), f"the {written} file was written")
        check(self.guest.tools("wait-chip", SERIAL_A, "gone").rc() == 0, "the chip stayed")
        return f"unplugged after {progress_of(step)} samples, ended {took:.2f} s later"

    def nothing_plugged(self):
        self.guest.unplug(0)
        step = self.run_cli("info")
        check(step.rc() == 1 and NOT_FOUND in step.text(".err"),
              f"exit {step.rc()}: {step.text('.err').strip()!r}")

    def unplug_identifying(self):
        # Late answers keep the program identifying while the unplug lands.
        board = self.fresh(options=["--delay=50"])
        step = self.start_cli("info")
        check(board.wait_command("?", 0, STEP_LIMIT), "the presence check never came")
        self.guest.pull(0)
        step.wait()
        check("V?" not in board.commands, "identification ended before the unplug")
        check(step.rc() == 1 and NO_RESPONSE in step.text(".err"),
              f"exit {step.rc()}: {step.text('.err').strip()!r}")
        return "unplugged after " + " ".join(board.commands)

    def replug(self):
        self.guest.unplug(0)
        self.measured_run("replug")

    def ctrl_c(self):
        board = self.fresh("ctrl-c")
        step = self.start_cli(*self.measure_args("ctrl-c"), terminal=True)
        self.guest.wait_until(lambda: progress_of(step) >= 20 or step.rc() is not None,
                              STEP_LIMIT, "20 samples")
        check(step.rc() is None, f"the run ended before Ctrl-C: {step.text('.tty')!r}")
        self.guest.run(f"kill -INT $(cat {step.guest_path('.pid')})")
        step.wait()
        text = step.text(".tty")
        check(step.rc() == 0 and STOPPED in text, f"exit {step.rc()} after Ctrl-C: {text!r}")
        got = table_of(step.text(".csv"))
        kept = len(got) - 1
        check(kept >= 20, f"{kept} samples kept")
        compare_csv(got, self.expected.get(board.seed, *RUNS["ctrl-c"])[0], "kept samples")
        self.expect_identified(self.run_cli("info"), "info after Ctrl-C")
        after = self.run_cli("measure", "--rate", "31250", "--count", "1000", "--csv", "@STEP@.csv")
        lines = len(table_of(after.text(".csv")))
        check(after.rc() == 0 and lines == 1001,
              f"run after Ctrl-C: exit {after.rc()}, {lines - 1} samples")
        return f"{kept} samples kept"

    def window(self):
        board = self.fresh("window")
        step = self.guest.start(f"mkdir -p @STEP@.window\n"
                                f"exec bash {TOOLS} window {self.device} @STEP@.window\n")
        step.wait()
        log = step.text(".window/status.log").splitlines()
        _, stats = self.expected.get(board.seed, *RUNS["window"])
        ch0 = [s for s in stats if s.startswith("CH0 :")]
        ch1 = [s for s in stats if s.startswith("CH1 :")]
        said = " / ".join(step.text(".out").strip().splitlines()[-2:])
        check(f"1\t{FINISHED}" in log, f"the run did not finish ({said})")
        check(f"0\t{IDENTITY}" in log, f"panel 0 never showed {IDENTITY!r}")
        finish = log.index(f"1\t{FINISHED}")
        readouts = [line[2:] for line in log[finish:] if line.startswith("2\t")]
        check(readouts[:1] == ch0, f"CH0 statistics {readouts[:1]}, expected {ch0}")
        check(readouts[1:2] == ch1, f"after the click {readouts[1:2]}, expected {ch1}")
        check(step.rc() == 0, f"the window did not close cleanly ({said})")

    def two_boards(self):
        seeds = seed_of(self.path, "two-a"), seed_of(self.path, "two-b")
        a = self.guest.fresh_board(0, SERIAL_A, seeds[0])
        b = self.guest.fresh_board(1, SERIAL_B, seeds[1])
        choices = self.choices()
        tried = []
        # Both boards at once, each through its own choice.
        runs = [self.start_cli(*self.measure_args(run), device=choices[board.serial])
                for run, board in (("two-a", a), ("two-b", b))]
        for run, board, step in zip(("two-a", "two-b"), (a, b), runs):
            step.wait()
            self.expect_data(step, run, board, f"{choices[board.serial]} beside the other")
        # Every choice reaches its own board and leaves the other alone.
        for board, other in ((a, b), (b, a)):
            for choice in self.choices_of(board):
                tried.append(choice)
                since = len(board.commands), len(other.commands)
                self.expect_identified(self.run_cli("info", device=choice), choice)
                check("U?" in board.commands[since[0]:], f"{choice} did not reach {board.serial}")
                check("U?" not in other.commands[since[1]:], f"{choice} reached {other.serial}")
        self.guest.unplug(1)
        return ", ".join(tried)

    def recording(self):
        rate, channel, seconds = RECORDING
        count = RECORDING_SAMPLES
        board = self.fresh("recording")
        settings = ["--rate", str(rate), "--channel", str(channel), "--duration", f"{seconds}s"]
        # The same recording on the in-process simulator, paced as well, at the same time.
        with tempfile.TemporaryDirectory() as folder:
            reference = Path(folder) / "reference.csv"
            host = subprocess.Popen(
                [str(self.guest.build / "selkoran-cli"), "record", "--device",
                 f"sim:seed={board.seed}", *settings, "--output", str(reference)],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            step = self.start_cli("record", *settings, "--output", "@STEP@.rec.csv",
                                  "--timeout", "10", "--json", terminal=True)
            step.wait()
            _, host_err = host.communicate(timeout=STEP_LIMIT)
            check(host.returncode == 0, f"the in-process recording failed: {host_err.strip()}")
            expected = [line for line in reference.read_text().splitlines()
                        if not line.startswith("#")]
        text = step.text(".tty")
        check(step.rc() == 0, f"exit {step.rc()}: {text!r}")
        check(progress_of(step) == count, f"the progress bar ended at {progress_of(step)}")
        lines = step.text(".rec.csv").splitlines()
        comments = [line for line in lines if line.startswith("#")]
        check(f"# board:{IDENTITY}" in comments and "# sampleRate:31250" in comments,
              f"header {comments}")
        check(any(line.startswith("# start:") for line in comments), f"no start time: {comments}")
        restarts = [line for line in comments if line.startswith("# restart:")]
        check(len(restarts) == 1 and restarts[0].endswith(" sample:1048576"),
              f"chain boundaries {restarts}")
        after = lines[lines.index(restarts[0]) + 1]
        check(after.startswith("1048576,"), f"the boundary line is followed by {after!r}")
        rows = [line for line in lines if not line.startswith("#")]
        check(len(rows) == len(expected), f"{len(rows) - 1} samples instead of {count}")
        compare_csv(rows, expected, "recording")
        summary = json.loads(step.text(".stdout"))
        counts = [c["count"] for c in summary["channels"]]
        check(summary["count"] == count and counts == [count, count],
              f"the analysis counted {summary['count']} and {counts}")
        return f"{count} samples of CH0 + CH1 over two start commands equal the simulator's"

    def recording_window(self):
        rate, channel = WINDOW_RECORDING
        board = self.fresh("recording-window")
        step = self.guest.start(f"mkdir -p @STEP@.recwin\n"
                                f"exec bash {TOOLS} recording {self.device} @STEP@.recwin\n")
        step.wait()
        said = " / ".join(step.text(".out").strip().splitlines()[-3:])
        check(step.rc() == 0, f"exit {step.rc()}: {said}")
        text = step.text(".recwin/rec.csv")
        check(text.endswith("\n"), "the file's last line is not complete")
        rows = [line for line in text.splitlines() if not line.startswith("#")]
        count = len(rows) - 1
        check(20000 <= count < 1000000, f"{count} samples: neither grown nor stopped")
        # The same samples from the in-process simulator with the board's seed.
        with tempfile.TemporaryDirectory() as folder:
            reference = Path(folder) / "reference.csv"
            host = subprocess.run(
                [str(self.guest.build / "selkoran-cli"), "record", "--device",
                 f"sim:seed={board.seed}", "--rate", str(rate), "--channel", str(channel),
                 "--count", str(count), "--output", str(reference)],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                timeout=STEP_LIMIT)
            check(host.returncode == 0, f"the in-process recording failed: {host.stderr.strip()}")
            expected = [line for line in reference.read_text().splitlines()
                        if not line.startswith("#")]
        check(len(rows) == len(expected), f"{count} samples against {len(expected) - 1}")
        compare_csv(rows, expected, "recording window")
        return f"{count} samples of CH0 + CH1 at 5208/s, zoomed, stopped, analysed: {said}"

    def choices(self):
        """Device text of each board, by serial number."""
        if self.path == "usb":
            return {serial: f"usb:serial={serial}" for serial in (SERIAL_A, SERIAL_B)}
        return {serial: "tty:" + self.tty_of(serial) for serial in (SERIAL_A, SERIAL_B)}

    def tty_of(self, serial):
        step = self.guest.run(f"bash {TOOLS} tty-of {serial}")
        check(step.rc() == 0, f"chip {serial} has no serial port")
        return step.text(".out").strip()

    def choices_of(self, board):
        if self.path == "tty":
            return ["tty:" + self.tty_of(board.serial)]
        return [f"usb:serial={board.serial}", f"usb:{self.listed_index(board.serial)}"]

    def listed_index(self, serial):
        step = self.run_cli("info", device="usb:list")
        rows = [line.split("\t") for line in step.text(".out").splitlines()]
        check(step.rc() == 0 and len(rows) == 2 and all(len(r) == 3 for r in rows),
              f"usb:list: exit {step.rc()}, {step.text('.out')!r}")
        check([r[0] for r in rows] == ["0", "1"], f"usb:list indexes {[r[0] for r in rows]}")
        check(sorted(r[1] for r in rows) == [SERIAL_A, SERIAL_B], f"usb:list serials {rows}")
        check(all(r[2] for r in rows), f"usb:list without descriptions: {rows}")
        return next(r[0] for r in rows if r[1] == serial)


# ---- Running it all -------------------------------------------------------------------


def run_all(build, work, paths, only):
    planned = [(path, *scenario) for path in paths for scenario in Scenarios.TABLE
               if not only or scenario[2] in only]
    results = []

    def report(ok, path, number, title, seconds, reason=""):
        results.append(ok)
        line = f"{'ok  ' if ok else 'FAIL'} {number} {title:<30} {PATHS[path]:<18} {seconds:6.1f} s"
        print(line + (f"  {reason}" if reason else ""), flush=True)

    expected = Expected(build, work / "expected")
    guest = None
    try:
        for path in paths:
            for run, settings in RUNS.items():
                expected.request(seed_of(path, run), *settings)
        version = find_kernel()
        print(f"guest kernel {version}", flush=True)
        guest = Guest(build, work, version, build_initramfs(version, work))
    except (Failure, OSError, subprocess.SubprocessError) as error:
        print(f"setup failed: {error}", flush=True)
        for path, number, title, _ in planned:
            report(False, path, number, title, 0, "not run")
    else:
        for path, number, title, method in planned:
            begun = time.monotonic()
            try:
                note = getattr(Scenarios(guest, expected, path), method)()
                report(True, path, number, title, time.monotonic() - begun, note or "")
            except Failure as error:
                report(False, path, number, title, time.monotonic() - begun, str(error))
            except Exception as error:  # a fault of the harness fails only its scenario
                report(False, path, number, title, time.monotonic() - begun,
                       f"{type(error).__name__}: {error}")
    finally:
        if guest:
            guest.close()
        expected.close()
    print(f"{results.count(True)} passed, {results.count(False)} failed", flush=True)
    return all(results)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=Path, help="the build directory")
    parser.add_argument("--path", choices=list(PATHS), action="append",
                        help="only this path (may be given twice); both by default")
    parser.add_argument("--only", action="append", metavar="SCENARIO",
                        choices=[method for _, _, method in Scenarios.TABLE],
                        help="only this scenario (may be given more than once)")
    args = parser.parse_args()
    build = args.build.resolve()
    work = build / "usb-test"
    work.mkdir(parents=True, exist_ok=True)
    begun = time.monotonic()
    ok = run_all(build, work, args.path or list(PATHS), args.only)
    print(f"results in {work}, {time.monotonic() - begun:.0f} s", flush=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

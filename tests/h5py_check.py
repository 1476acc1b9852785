#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A recording's HDF5 file as h5py (a reader we did not write) sees it; exit code 0 when all is
as expected, else 1 with what differs. The file is always opened with swmr=True, as a reader
of a file that may still grow, or whose writer was killed, must open it.

  h5py_check.py compare FILE.h5 FILE.csv [--prefix]
      the codes, settings and restarts against a CSV recording of the same board and seed
      (--prefix: the HDF5 file may hold fewer samples, the first ones of the CSV's)
  h5py_check.py watch FILE.h5 ROWS SECONDS
      opens the file while it grows and follows it until it holds ROWS samples; prints the
      sample counts seen, one per line, and checks that what was seen never changes
  h5py_check.py describe FILE.h5
      prints the file's outcome, the filters of /codes and its number of samples"""

import sys
import time

import h5py
import numpy as np


def fail(message):
    print(message)
    sys.exit(1)


def text(value):
    return value.decode() if isinstance(value, bytes) else str(value)


def read_csv(path):
    notes, restarts, end = {}, [], None
    with open(path) as f:
        for line in f:
            if not line.startswith("#"):
                continue
            key, _, value = line[2:].strip().partition(":")
            if key == "restart":
                restarts.append(int(value.split("sample:")[1]) - 1)
            elif key == "end":
                end = value.split("outcome:")[1]
            else:
                notes[key] = value
    channels = 2 if notes["CHSel"] == "2" else 1
    codes = np.loadtxt(path, delimiter=",", comments="#", skiprows=8, dtype=np.int64,
                       usecols=[1 + 2 * c for c in range(channels)], ndmin=2)
    return notes, restarts, end, codes


def compare(h5_path, csv_path, prefix):
    notes, csv_restarts, end, csv_codes = read_csv(csv_path)
    with h5py.File(h5_path, "r", swmr=True) as f:
        codes = f["codes"]
        if codes.dtype != np.int32 or codes.ndim != 2:
            fail(f"/codes is {codes.dtype} of {codes.ndim} dimensions")
        got = codes[:]
        a = codes.attrs
        settings = {"spsSel": int(a["spsSel"]), "CHSel": int(a["CHSel"]),
                    "fSinc5": int(a["fSinc5"]), "count": int(a["count"]),
                    "board": f'{f.attrs["board"]} / {f.attrs["board_version"]}'}
        expected = {k: (v if k == "board" else int(v)) for k, v in notes.items()
                    if k in settings}
        if prefix:
            del settings["count"], expected["count"]  # a cut recording asked for more
        if settings != expected:
            fail(f"settings {settings} against {expected}")
        if float(a["sample_rate"]) != float(notes["sampleRate"]):
            fail(f'sample_rate {a["sample_rate"]} against {notes["sampleRate"]}')
        if list(a["channels"]) != ([0, 1] if notes["CHSel"] == "2" else [int(notes["CHSel"])]):
            fail(f'channels {list(a["channels"])}')
        restarts = [int(r) for r in f["restarts"]["sample"]]
        outcome = text(f.attrs["outcome"])
    rows = len(got)
    if not (0 < rows <= len(csv_codes) if prefix else rows == len(csv_codes)):
        fail(f"{rows} samples against the CSV's {len(csv_codes)}")
    if not np.array_equal(got, csv_codes[:rows]):
        first = int(np.argmax(np.any(got != csv_codes[:rows], axis=1)))
        fail(f"sample {first}: {got[first]} against {csv_codes[first]}")
    # A CSV without its end line says nothing of how it ended.
    if not prefix and (restarts != csv_restarts or (end is not None and end != outcome)):
        fail(f"restarts {restarts} / {outcome} against {csv_restarts} / {end}")
    print(f"{rows} samples, restarts {restarts}")


def watch(path, rows, seconds):
    deadline = time.monotonic() + seconds
    seen, counts = np.zeros((0, 0)), []
    f = None
    while time.monotonic() < deadline and (not counts or counts[-1] < rows):
        try:
            f = f or h5py.File(path, "r", swmr=True)
            codes = f["codes"]
            codes.refresh()
        except (OSError, KeyError):
            f = None  # not there yet, or not yet open for readers
            time.sleep(0.05)
            continue
        if not counts or codes.shape[0] != counts[-1]:
            now = codes[:]
            if len(seen) and not np.array_equal(now[:len(seen)], seen):
                fail(f"samples seen before changed at {len(now)}")
            seen = now
            counts.append(len(now))
            print(len(now), flush=True)
        time.sleep(0.05)
    if not counts or counts[-1] != rows:
        fail(f"stopped at {counts[-1] if counts else None} of {rows}")


def describe(path):
    with h5py.File(path, "r", swmr=True) as f:
        codes = f["codes"]
        print(f'outcome:{text(f.attrs["outcome"])}')
        print(f"compression:{codes.compression}:{codes.compression_opts}:{codes.shuffle}")
        print(f"samples:{codes.shape[0]}")


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "compare":
        compare(args[0], args[1], "--prefix" in args)
    elif command == "watch":
        watch(args[0], int(args[1]), float(args[2]))
    else:
        describe(args[0])

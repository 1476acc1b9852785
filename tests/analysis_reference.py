#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""selkoran-cli analyze --json against the noise figures computed here independently with
numpy and scipy, on data files of known signals. Usage: analysis_reference.py SELKORAN_CLI"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy import signal, stats

RATES = {4: (16.63, 16.67), 13: (5208.0, 5208.0), 16: (31250.0, 31250.0)}
RTOL = 1e-9


def write_dta(path, sps_sel, sinc5, channels):
    lines = ["AD7172_DataFile:", "M:", f"spsSel:{sps_sel}", "DataCountSel:0",
             f"CHSel:{2 if len(channels) == 2 else 0}", "GainSel:0",
             f"fSinc5:{1 if sinc5 else 0}", "fBUF_ON:0", "MEND:", "D:"]
    lines += [",".join(str(c[i]) for c in channels) for i in range(len(channels[0]))]
    lines.append("DEND:")
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def allan(u, fs):
    n = len(u)
    taus, devs = [], []
    m = 1
    while m <= (n - 1) / 2:
        d = u[m:] - u[:-m]                            # u[i+m] - u[i]
        s = np.convolve(d, np.ones(m), "valid")[: n - 2 * m + 1]
        taus.append(m / fs)
        devs.append(np.sqrt(np.sum(s * s) / (2 * m * m * (n - 2 * m + 1))))
        m *= 2
    return taus, devs


def missing_codes(x):
    """Codes between the extremes without a hit where the normal distribution of the same mean
    and standard deviation expects at least 5."""
    n, mu, sd = len(x), x.mean(), x.std()
    # No code gets more than n / (sd sqrt(2 pi)); beyond the reach of 5 hits none needs a look.
    if sd == 0 or n / (sd * np.sqrt(2 * np.pi)) < 5:
        return 0
    reach = sd * np.sqrt(2 * np.log(n / (5 * sd * np.sqrt(2 * np.pi)))) + 1
    k = np.arange(max(x.min(), int(mu - reach)), min(x.max(), int(mu + reach)) + 1)
    expected = n * (stats.norm.cdf((k + 0.5 - mu) / sd) - stats.norm.cdf((k - 0.5 - mu) / sd))
    return int(np.sum((expected >= 5) & ~np.isin(k, x)))


def reference(codes, fs):
    x = np.asarray(codes, dtype=np.int64)
    u = (x - 8388608) * 2500000 / 8388607
    n = len(u)
    rms = u.std()
    pp = (x.max() - x.min()) * 2500000 / 8388607
    t = np.arange(n) / fs
    span = int(x.max() - x.min() + 1)
    width = -(-span // 4096)
    counts = np.bincount((x - x.min()) // width)
    L = 1 << int(np.floor(np.log2(min(n, 4096))))
    f, pxx = signal.welch(u, fs, window="hann", nperseg=L, noverlap=L // 2,
                          detrend="constant", scaling="density")
    inner = pxx[1:-1]
    white = np.sqrt(inner.mean()) * 1000 if len(inner) else None
    peak = None
    if len(inner) and np.sqrt(inner.max()) * 1000 > 3 * white:
        k = 1 + int(np.argmax(inner))
        peak = {"frequencyHz": f[k], "nanovoltsPerRootHz": np.sqrt(pxx[k]) * 1000}
    taus, devs = allan(u, fs)
    return {
        "count": n,
        "meanMicrovolts": u.mean(),
        "rmsMicrovolts": rms,
        "peakToPeakMicrovolts": pp,
        "effectiveResolutionBits": np.log2(5e6 / rms) if rms > 0 else None,
        "noiseFreeResolutionBits": np.log2(5e6 / pp) if pp > 0 else None,
        "driftMicrovoltsPerSecond": np.polyfit(t, u, 1)[0],
        "missingCodes": missing_codes(x),
        "whiteNoiseNanovoltsPerRootHz": white,
        "spectralPeak": peak,
        "histogram": {"firstCode": int(x.min()), "binWidthCodes": width, "counts": counts},
        "spectrum": {"frequencyHz": f, "nanovoltsPerRootHz": np.sqrt(pxx) * 1000},
        "allan": {"tauSeconds": taus, "deviationMicrovolts": devs},
    }


def compare(name, got, want, failures, atol=0.0):
    if isinstance(want, dict):
        if not isinstance(got, dict) or set(got) != set(want):
            failures.append(f"{name}: keys {sorted(got) if isinstance(got, dict) else got}")
            return
        for key in want:
            # A slope or a density that should be 0 is compared against the data's scale.
            compare(f"{name}.{key}", got[key], want[key], failures,
                    atol=1e-9 if key in ("driftMicrovoltsPerSecond", "meanMicrovolts") else atol)
    elif want is None or got is None:
        if want is not got:
            failures.append(f"{name}: {got} != {want}")
    elif np.ndim(want) > 0:
        if len(got) != len(want) or not np.allclose(got, want, rtol=RTOL, atol=1e-9):
            failures.append(f"{name}: arrays differ")
    elif not np.isclose(got, want, rtol=RTOL, atol=atol):
        failures.append(f"{name}: {got!r} != {want!r}")


def cases(rng):
    mid = 8388608
    n = 10000
    t = np.arange(n) / 31250.0
    noise = mid + np.round(rng.normal(0, 17, n)).astype(int)
    hum = noise + np.round(40 * np.sin(2 * np.pi * 1000.0 * t)).astype(int)
    drift = mid + 5000 + np.round(rng.normal(0, 3, 3000) + 0.01 * np.arange(3000)).astype(int)
    # A converter that never gives the code 3 above mid-scale: its hits land one code higher.
    hole = np.where(noise == mid + 3, mid + 4, noise)
    wide = rng.integers(1000, 12000000, 777)
    extreme = rng.integers(-2**31, 2**31, 500)  # a hand-edited file: any 32-bit integers
    return [
        ("noise-and-hum", 16, True, [noise, hum]),
        ("noise-with-hole", 16, True, [hole]),
        ("slow-drift-sinc3", 4, False, [drift]),
        ("wide-codes", 13, True, [wide]),
        ("beyond-24-bits", 13, True, [extreme]),
        ("three", 16, True, [np.array([mid, mid + 2, mid - 1])]),
        ("two-equal", 13, True, [np.array([mid, mid])]),
        ("constant", 16, True, [np.full(64, mid + 7)]),
    ]


def main():
    cli = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        for name, sps_sel, sinc5, channels in cases(np.random.default_rng(7)):
            path = os.path.join(tmp, name + ".DTA")
            write_dta(path, sps_sel, sinc5, channels)
            run = subprocess.run([cli, "analyze", path, "--json"], capture_output=True, text=True)
            if run.returncode != 0:
                failures.append(f"{name}: exit {run.returncode} {run.stderr}")
                continue
            got = json.loads(run.stdout)
            fs = RATES[sps_sel][0 if sinc5 else 1]
            compare(f"{name}.sampleRate", got["sampleRate"], fs, failures)
            if len(got["channels"]) != len(channels):
                failures.append(f"{name}: {len(got['channels'])} channels")
                continue
            for index, codes in enumerate(channels):
                want = {"channel": index, **reference(codes, fs)}
                compare(f"{name}.CH{index}", got["channels"][index], want, failures)
    for failure in failures:
        print(failure)
    print(f"{len(failures)} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

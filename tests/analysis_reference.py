#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""selkoran-cli analyze --json and show --json against the figures computed here independently
with numpy and scipy, on data files of known signals. Usage: analysis_reference.py SELKORAN_CLI"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy import signal, stats

RATES = {0: (1.25, 1.25), 4: (16.63, 16.67), 13: (5208.0, 5208.0), 16: (31250.0, 31250.0)}
UV_PER_CODE = 2500000 / 8388607
CONVERTER_BITS = 24
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


def resolution_bits(microvolts):
    """log2(5 V / noise), at most the converter's bits: a noise below one code (0 included)
    leaves the converter's resolution."""
    if microvolts < 5e6 / 2**CONVERTER_BITS:
        return CONVERTER_BITS
    return np.log2(5e6 / microvolts)


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
    # Each segment's mean is removed, so an offset changes nothing but the rounding: near
    # 1.25 V the microvolts themselves would lose digits of a noise below one code.
    centred = (x - int(np.median(x))) * UV_PER_CODE
    f, pxx = signal.welch(centred, fs, window="hann", nperseg=L, noverlap=L // 2,
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
        "effectiveResolutionBits": resolution_bits(rms),
        "noiseFreeResolutionBits": resolution_bits(pp),
        "resolutionLimitedByCode": bool(rms < 5e6 / 2**CONVERTER_BITS),
        "driftMicrovoltsPerSecond": np.polyfit(t, u, 1)[0],
        "missingCodes": missing_codes(x),
        "whiteNoiseNanovoltsPerRootHz": white,
        "spectralPeak": peak,
        "histogram": {"firstCode": int(x.min()), "binWidthCodes": width, "counts": counts},
        "spectrum": {"frequencyHz": f, "nanovoltsPerRootHz": np.sqrt(pxx) * 1000},
        "allan": {"tauSeconds": taus, "deviationMicrovolts": devs},
        # The deviation turns up again before the longest τ (np.argmin takes the first of
        # equals, as the minimum is named).
        "allanMinimumReached": bool(len(devs) > 0 and np.argmin(devs) < len(devs) - 1),
    }


def statistics_reference(codes):
    """The status line's figures of `show --json`: the deviation around the exact mean, the
    microvolts from the codes in double precision; the mean code truncated toward zero."""
    x = np.asarray(codes, dtype=np.int64)
    u = (x - 8388608) * UV_PER_CODE
    return {"count": len(x), "maxCode": int(x.max()), "minCode": int(x.min()),
            "meanCode": int(np.trunc(x.mean())), "codeStdDev": x.std(),
            "maxMicrovolts": u.max(), "minMicrovolts": u.min(), "meanMicrovolts": u.mean(),
            "microvoltStdDev": u.std()}


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
    # A slow run near 1.25 V whose noise is below one code: two neighbouring codes.
    quiet = mid + 4194304 + 13 + (rng.random(400) < 0.3).astype(int)
    return [
        ("noise-and-hum", 16, True, [noise, hum]),
        ("noise-with-hole", 16, True, [hole]),
        ("slow-drift-sinc3", 4, False, [drift]),
        ("wide-codes", 13, True, [wide]),
        ("beyond-24-bits", 13, True, [extreme]),
        ("three", 16, True, [np.array([mid, mid + 2, mid - 1])]),
        ("two-equal", 13, True, [np.array([mid, mid])]),
        ("constant", 16, True, [np.full(64, mid + 7)]),
        ("below-one-code", 0, True, [quiet]),
    ]


def compare_show(cli, name, path, channels, failures):
    run = subprocess.run([cli, "show", path, "--json"], capture_output=True, text=True)
    got = json.loads(run.stdout)["channels"] if run.returncode == 0 else []
    if len(got) != len(channels):
        failures.append(f"{name}: show gave {len(got)} channels {run.stderr}")
        return
    for index, codes in enumerate(channels):
        shown = {key: got[index][key] for key in statistics_reference(codes)}
        # numpy's own rounding leaves a deviation of 4e-16 where the codes have none.
        compare(f"{name}.show.CH{index}", shown, statistics_reference(codes), failures,
                atol=1e-12)


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
            compare_show(cli, name, path, channels, failures)
    for failure in failures:
        print(failure)
    print(f"{len(failures)} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

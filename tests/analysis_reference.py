#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""selkoran-cli analyze --json and show --json against the figures computed here independently
with numpy and scipy, on data files and recordings of known signals.
Usage: analysis_reference.py SELKORAN_CLI"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy import optimize, signal, stats

RATES = {0: (1.25, 1.25), 4: (16.63, 16.67), 13: (5208.0, 5208.0), 16: (31250.0, 31250.0)}
UV_PER_CODE = 2500000 / 8388607
CONVERTER_BITS = 24
RTOL = 1e-9
# The 1/f corner is a fit's optimum: found here by a general minimiser, not by the program's
# reweighted least squares, so the two agree to the minimiser's tolerance.
CORNER_RTOL = 1e-6


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


def write_csv(path, fs, codes):
    """A recording's table of one channel that states its rate."""
    lines = [f"# sampleRate:{fs!r}", f"# count:{len(codes)}", "sample,ch0_code,ch0_microvolts"]
    lines += [f"{i + 1},{c},{(c - 8388608) * UV_PER_CODE!r}" for i, c in enumerate(codes)]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


# The log-frequency spectrum: Welch per octave band on the series halved in rate stage after
# stage by a half-band FIR (35 taps, Kaiser β = 10); ten points a decade at 10^(k/10) Hz.
SEGMENT = 256
HALF = SEGMENT // 2


def half_band():
    taps, centre = 35, 17
    kaiser = np.kaiser(taps, 10.0)
    offset = np.arange(taps) - centre
    h = np.where(offset % 2 == 1, 0.5 * np.sinc(offset / 2), 0.0) * kaiser
    h[centre] = 0.5 * kaiser[centre]
    return h / h.sum()


def correlations():
    """|rho|^2 of the periodogram values of two bins d apart, in one segment and in segments
    half a segment apart (periodic Hann), for white noise."""
    w = signal.get_window("hann", SEGMENT)
    d = np.arange(HALF + 1)
    m = np.arange(HALF)
    overlap = np.exp(2j * np.pi * np.outer(d, m) / SEGMENT) @ (w[:HALF] * w[HALF:])
    same = np.abs(np.fft.fft(w * w)[: HALF + 1]) ** 2
    return same / same[0], np.abs(overlap) ** 2 / np.sum(w * w) ** 2


def log_spectrum(codes, fs):
    x = np.asarray(codes, dtype=np.int64)
    stage = (x - x[0]).astype(float)
    n = len(stage)
    densities = []  # (density in uV^2/Hz, segments) of each stage with a whole segment
    h = half_band()
    rate = fs
    while len(stage) >= SEGMENT:
        _, p = signal.welch(stage * UV_PER_CODE, rate, window="hann", nperseg=SEGMENT,
                            noverlap=HALF, detrend="constant", scaling="density")
        densities.append((p, (len(stage) - SEGMENT) // HALF + 1))
        stage = np.convolve(stage, h, "valid")[::2]
        rate /= 2
    if not densities:
        return [], [], []
    same, next_segment = correlations()
    lowest = int(np.floor(10 * np.log10(10 / (n / fs)) + 1e-9))
    highest = int(np.floor(10 * np.log10(fs / 2) + 1e-9))
    bins = np.arange(3, HALF)
    apart = np.abs(bins[:, None] - bins[None, :])

    def estimate(f, s):
        """The point at f from stage s: where the stage's flat band (0.3 of its rate, stage 0
        to half the rate) holds it and its band starts at the sixteenth bin (the last stage: the
        third); the density and the values it is worth."""
        p, segments = densities[s]
        width = fs / 2**s / SEGMENT
        low, high = f * 10**-0.05 / width, f * 10**0.05 / width
        if (s > 0 and high * width > 0.3 * fs / 2**s) or (s + 1 < len(densities) and low < 15.5):
            return None
        share = np.clip(np.minimum(high, bins + 0.5) - np.maximum(low, bins - 0.5), 0, None)
        if share.sum() == 0:
            return None
        variance = np.sum(np.outer(share, share) * (segments * same[apart] + 2 * (segments - 1)
                                                     * next_segment[apart]))
        return np.sum(share * p[bins]) / share.sum(), (segments * share.sum()) ** 2 / variance

    points = []
    for k in range(lowest, highest + 1):
        f = 10 ** (k / 10)
        found = [e for e in (estimate(f, s) for s in range(len(densities))) if e is not None]
        if found:
            # The first of the most averages: the earliest stage among equals.
            points.append((f, *found[int(np.argmax([e[1] for e in found]))]))
    return [np.array(column) for column in zip(*points)]


def flicker_corner(f, p, averages, fs):
    """Where w + a/f, fitted by the Gamma likelihood to the points up to fs / 20, has a/f cross
    w: each point a Gamma of its mean and shape `averages`; points above their fit beyond the
    4-sigma Wilson-Hilferty quantile left out as tones, the highest first; both terms three
    standard errors above 0; the corner among the points used."""
    keep = f <= fs / 20
    if keep.sum() < 3 or np.all(p[keep] == 0):
        return None
    tone = (1 - 1 / (9 * averages) + 4 * np.sqrt(1 / (9 * averages))) ** 3
    while True:
        ff, pp, nu = f[keep], p[keep], averages[keep]

        def cost(theta):
            mean = np.exp(theta[0]) + np.exp(theta[1]) / ff
            return np.sum(nu * (pp / mean + np.log(mean)))

        def gradient(theta):
            w, a = np.exp(theta)
            slope = nu * (1 / (w + a / ff) - pp / (w + a / ff) ** 2)
            return np.array([np.sum(slope) * w, np.sum(slope / ff) * a])

        # From the middle level and the rise of the lowest point above it.
        middle = np.median(pp)
        start = np.log([middle, max(pp[0] - middle, middle * 1e-3) * ff[0]])
        best = optimize.minimize(cost, start, jac=gradient, method="BFGS",
                                 options={"gtol": 1e-10})
        w, a = np.exp(best.x)
        margin = np.where(keep, p / (tone * (w + a / f)), 0)
        if margin.max() <= 1:
            break
        keep[np.argmax(margin)] = False
        if keep.sum() < 3:
            return None
    x = np.vstack([np.ones_like(ff), 1 / ff]).T
    mean = w + a / ff
    error = np.sqrt(np.diag(np.linalg.inv((x * (nu / mean**2)[:, None]).T @ x)))
    corner = a / w
    standing = w > 3 * error[0] and a > 3 * error[1]
    return corner if standing and ff.min() <= corner <= ff.max() else None


def low_frequency_noise(codes, fs):
    """0.1-10 Hz: the codes less the mean of the first second through a 2nd-order Butterworth
    high-pass at 0.1 Hz and a 4th-order low-pass at 10 Hz, the first 10 s left out; the rms and
    the peak-to-peak of each whole 10 s window."""
    def at(seconds):
        return int(np.ceil(seconds * fs - 1e-6))

    x = np.asarray(codes, dtype=np.int64)
    if fs <= 20 or len(x) < at(20):
        return None
    offset = x[: at(1)].sum() / at(1)
    sos = np.vstack([signal.butter(2, 0.1, "highpass", fs=fs, output="sos"),
                     signal.butter(4, 10, "lowpass", fs=fs, output="sos")])
    y = signal.sosfilt(sos, x - offset) * UV_PER_CODE
    windows = []
    while at(20 + 10 * len(windows)) <= len(y):
        w = len(windows)
        windows.append(np.ptp(y[at(10 + 10 * w): at(20 + 10 * w)]))
    return {"rmsMicrovolts": np.sqrt(np.mean(y[at(10):] ** 2)),
            "peakToPeakMaxMicrovolts": max(windows),
            "peakToPeakMedianMicrovolts": np.median(windows), "windows": len(windows)}


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
    log_f, log_p, log_averages = log_spectrum(codes, fs)
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
        "spectrumLogFrequency": {"frequencyHz": log_f,
                                 "nanovoltsPerRootHz": np.sqrt(log_p) * 1000},
        "flickerCornerHz": (flicker_corner(log_f, log_p, log_averages, fs)
                            if len(log_f) else None),
        "lowFrequencyNoise": low_frequency_noise(codes, fs),
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


def compare(name, got, want, failures, atol=0.0, rtol=RTOL):
    if isinstance(want, dict):
        if not isinstance(got, dict) or set(got) != set(want):
            failures.append(f"{name}: keys {sorted(got) if isinstance(got, dict) else got}")
            return
        for key in want:
            # A slope or a density that should be 0 is compared against the data's scale.
            compare(f"{name}.{key}", got[key], want[key], failures,
                    atol=1e-9 if key in ("driftMicrovoltsPerSecond", "meanMicrovolts") else atol,
                    rtol=CORNER_RTOL if key == "flickerCornerHz" else rtol)
    elif want is None or got is None:
        if want is not got:
            failures.append(f"{name}: {got} != {want}")
    elif np.ndim(want) > 0:
        if len(got) != len(want) or not np.allclose(got, want, rtol=rtol, atol=1e-9):
            failures.append(f"{name}: arrays differ")
    elif not np.isclose(got, want, rtol=rtol, atol=atol):
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


def flicker(rng, n, fs, corner_hz, white_uv):
    """1/f noise whose density crosses a white level of `white_uv` uV/sqrt(Hz) near
    `corner_hz`: first-order low-passes of white noise, two corners a decade, each weighted by
    the inverse of its corner."""
    corners = 10 ** (np.arange(-6, 5) / 2)
    corners = corners[corners < fs / 20]
    poles = np.exp(-2 * np.pi * corners / fs)
    # sum_i (c / f_i) / (1 + (f / f_i)^2) over two corners a decade ~ c pi / (2 ln sqrt(10) f)
    level = white_uv**2 * corner_hz * np.log(10) / np.pi
    u = np.zeros(n)
    for corner, pole in zip(corners, poles):
        gain = (1 - pole) * np.sqrt(level / corner * fs / 2)
        u += signal.lfilter([gain], [1, -pole], rng.normal(0, 1, n))
    return u


def recording_cases(rng):
    """Tables of one channel long enough for the 0.1-10 Hz noise and a 1/f corner."""
    mid = 8388608
    white = mid + np.round(rng.normal(0, 20, 35000)).astype(int)
    # White noise of 0.3 uV/sqrt(Hz) with a 1/f corner at 2 Hz, a tone of 30 uV at 16 Hz inside
    # the fitted band and a slow drift.
    n, fs = 100000, 500.0
    t = np.arange(n) / fs
    microvolts = (flicker(rng, n, fs, 2.0, 0.3) + rng.normal(0, 0.3 * np.sqrt(fs / 2), n)
                  + 30 * np.sin(2 * np.pi * 16 * t) + 0.002 * t)
    drifting = mid + np.round(microvolts / UV_PER_CODE).astype(int)
    return [
        ("white-70s", 500.0, white),
        ("flicker-tone-drift", fs, drifting),
        ("just-20s", 100.0, white[:2000]),
        ("a-sample-short-of-20s", 100.0, white[:1999]),
        ("odd-rate", 100.2, white[:3100]),
        ("twenty-per-second", 20.0, white[:1200]),
    ]


def check_analysis(cli, name, path, fs, channels, failures):
    run = subprocess.run([cli, "analyze", path, "--json"], capture_output=True, text=True)
    if run.returncode != 0:
        failures.append(f"{name}: exit {run.returncode} {run.stderr}")
        return
    got = json.loads(run.stdout)
    compare(f"{name}.sampleRate", got["sampleRate"], fs, failures)
    if len(got["channels"]) != len(channels):
        failures.append(f"{name}: {len(got['channels'])} channels")
        return
    for index, codes in enumerate(channels):
        want = {"channel": index, **reference(codes, fs)}
        compare(f"{name}.CH{index}", got["channels"][index], want, failures)


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
            check_analysis(cli, name, path, RATES[sps_sel][0 if sinc5 else 1], channels, failures)
            compare_show(cli, name, path, channels, failures)
        for name, fs, codes in recording_cases(np.random.default_rng(8)):
            path = os.path.join(tmp, name + ".csv")
            write_csv(path, fs, codes)
            check_analysis(cli, name, path, fs, [codes], failures)
    for failure in failures:
        print(failure)
    print(f"{len(failures)} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The steps of the dynamic figures, the log-frequency spectrum and the 0.1-10 Hz noise in numpy
and scipy, timed as bench_spectra times the program's own, on the same codes.
Usage: spectra_reference.py SINE.i32 NOISE.i32 RATE REPETITIONS
Prints "time NAME WALL CPU" (medians, seconds) and "figure NAME VALUE" lines; the log-frequency
spectrum's points as "point FREQUENCY NV_PER_ROOT_HZ AVERAGES"."""

import statistics
import sys
import time

import numpy as np
import scipy.signal

UV_PER_CODE = 2.5e6 / 8388607
FULL_SCALE_POWER = 2.5e6 ** 2 / 2
BLACKMAN_HARRIS_7 = [0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
                     0.01081174209837, 0.00077658482522, 0.00001388721735]
DC_BINS, LOBE, SEARCH = 8, 7, 2


def timed(name, repetitions, work):
    walls, cpus = [], []
    for _ in range(repetitions):
        wall, cpu = time.perf_counter(), time.process_time()
        result = work()
        walls.append(time.perf_counter() - wall)
        cpus.append(time.process_time() - cpu)
    print(f"time {name} {statistics.median(walls):.6f} {statistics.median(cpus):.6f}")
    return result


# --- Dynamic figures: Blackman-Harris power spectrum, tones, noise, and the sine fit.

def lobe(k, first, last):
    return max(k, first + LOBE) - LOBE, min(k + LOBE, last)


def overlaps(a, b):
    return a[0] <= b[1] and b[0] <= a[1]


def sine_fit(codes, rate, start_hz):
    """IEEE 1057's four-parameter fit by Newton steps on the normal equations, as the program."""
    n = len(codes)
    mean = codes.mean()
    y = (codes - mean) * UV_PER_CODE
    t = np.arange(n) - 0.5 * (n - 1)
    half = 0.5 * n
    omega = 2 * np.pi * start_hz / rate

    def solve(columns):
        m = np.column_stack(columns)
        return np.linalg.solve(m.T @ m, m.T @ y)

    a, b, _ = solve([np.cos(omega * t), np.sin(omega * t), np.ones(n)])
    for _ in range(50):
        c, s = np.cos(omega * t), np.sin(omega * t)
        a, b, _, d = solve([c, s, np.ones(n), (b * c - a * s) * t / half])
        omega += d / half
        if abs(d) < 1e-9:
            break
    abc = solve([np.cos(omega * t), np.sin(omega * t), np.ones(n)])
    residual = y - (abc[0] * np.cos(omega * t) + abc[1] * np.sin(omega * t) + abc[2])
    rms = np.sqrt(np.mean(residual ** 2))
    amplitude = np.hypot(abc[0], abc[1])
    return omega * rate / (2 * np.pi), 10 * np.log10(amplitude ** 2 / 2 / rms ** 2)


def dynamic(codes, rate):
    n = len(codes)
    theta = 2 * np.pi * np.arange(n) / n
    window = sum((-1) ** j * c * np.cos(j * theta) for j, c in enumerate(BLACKMAN_HARRIS_7))
    x = (codes - codes.mean()) * UV_PER_CODE * window
    power = np.abs(np.fft.rfft(x)) ** 2 * (2.0 / (n * np.sum(window ** 2)))
    weight = np.ones(len(power))
    weight[0] = 0.5
    if n % 2 == 0:
        weight[-1] = 0.5
    power *= weight
    last = len(power) - 1
    bin_hz = rate / n
    above = power[DC_BINS:]
    peak = DC_BINS + int(np.argmax(above))
    if power[peak] < 1e4 * np.partition(above, len(above) // 2)[len(above) // 2]:
        return None
    index = np.arange(len(power))
    fb = lobe(peak, DC_BINS, last)
    p1 = power[fb[0]:fb[1] + 1].sum()
    centre = (index[fb[0]:fb[1] + 1] * power[fb[0]:fb[1] + 1]).sum() / p1
    harmonics = []
    for order in range(2, 11):
        wrapped = np.fmod(order * centre, n)
        folded = n - wrapped if wrapped > 0.5 * n else wrapped
        nearest = int(np.floor(folded + 0.5))
        lo, hi = max(nearest - SEARCH, 0), min(nearest + SEARCH, last)
        tone = lobe(lo + int(np.argmax(power[lo:hi + 1])), 0, last)
        if tone[0] < DC_BINS or overlaps(tone, fb) or any(overlaps(tone, h[1]) for h in harmonics):
            continue
        harmonics.append((order, tone, power[tone[0]:tone[1] + 1].sum()))
    outside = np.ones(len(power), bool)
    outside[:DC_BINS] = False
    outside[fb[0]:fb[1] + 1] = False
    noise_bins = outside.copy()
    for _, tone, _ in harmonics:
        noise_bins[tone[0]:tone[1] + 1] = False
    per_bin = power[noise_bins].sum() / weight[noise_bins].sum()
    noise = per_bin * 0.5 * n
    distortion = power[outside].sum() + per_bin * (0.5 * n - weight[outside].sum())
    side = np.where(outside)[0]
    spur = side[np.argmax(power[side])]
    sb = lobe(spur, DC_BINS, last)
    sb = (sb[0], min(sb[1], fb[0] - 1)) if spur < fb[0] else (max(sb[0], fb[1] + 1), sb[1])
    sinad = 10 * np.log10(p1 / distortion)
    fit_hz, fit_sinad = sine_fit(codes, rate, centre * bin_hz)
    return {
        "fundamentalHz": centre * bin_hz,
        "fundamentalDbfs": 10 * np.log10(p1 / FULL_SCALE_POWER),
        "snrDb": 10 * np.log10(p1 / noise),
        "thdDb": 10 * np.log10(sum(p for o, _, p in harmonics if o <= 6) / p1),
        "sinadDb": sinad,
        "sfdrDb": 10 * np.log10(p1 / power[sb[0]:sb[1] + 1].sum()),
        "enobBits": (sinad - 1.76) / 6.02,
        "hd2Dbc": 10 * np.log10(harmonics[0][2] / p1),
        "fitHz": fit_hz,
        "fitSinadDb": fit_sinad,
    }


# --- The log-frequency spectrum: Welch of 256 at rates halved stage by stage.

SEGMENT, HALF = 256, 128
HALF_BAND = 10 ** 0.05
HALF_TAPS = 17  # of the 35 taps, those before the centre


def half_band_taps():
    offsets = np.arange(35) - 17
    kaiser = np.i0(10 * np.sqrt(1 - (offsets / 17) ** 2)) / np.i0(10)
    taps = 0.5 * np.sinc(offsets / 2) * kaiser
    taps[(offsets != 0) & (offsets % 2 == 0)] = 0
    return taps / taps.sum()


def correlations():
    """|rho|^2 of bins d apart, within a segment and in the next one half a segment on."""
    w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(SEGMENT) / SEGMENT)
    power = np.sum(w * w)
    m = np.arange(HALF)
    d = np.arange(HALF + 1)[:, None]
    following = np.abs((w[:HALF] * w[HALF:] * np.exp(2j * np.pi * d * m / SEGMENT)).sum(1)) ** 2
    distance = np.abs(np.arange(HALF)[:, None] - np.arange(HALF)[None, :])
    same = np.where(distance < 3, np.array([1, 4 / 9, 1 / 36, 0])[np.minimum(distance, 3)], 0.0)
    return same, (following / power ** 2)[distance]


def log_spectrum(codes, rate):
    same, following = correlations()
    taps = half_band_taps()
    x = (codes - codes[0]).astype(np.float64)
    stages = []
    stage_rate = rate
    while len(x) >= SEGMENT:
        _, density = scipy.signal.welch(x, fs=stage_rate, window="hann", nperseg=SEGMENT,
                                        noverlap=HALF, detrend="constant", scaling="density")
        stages.append((stage_rate, density * UV_PER_CODE ** 2, (len(x) - SEGMENT) // HALF + 1))
        # Every second output of the filter where it holds no made-up samples: the polyphase
        # filter computes only those (np.convolve would compute the others too).
        kept = (len(x) - len(taps)) // 2 + 1
        x = scipy.signal.upfirdn(taps, x, down=2)[HALF_TAPS:HALF_TAPS + kept]
        stage_rate /= 2
    duration = len(codes) / rate
    centres = np.arange(HALF)
    points = []
    for k in range(int(np.floor(10 * np.log10(10 / duration) + 1e-9)),
                   int(np.floor(10 * np.log10(rate / 2) + 1e-9)) + 1):
        f = 10 ** (k / 10)
        best = None
        for s, (stage_rate, density, segments) in enumerate(stages):
            bin_hz = stage_rate / SEGMENT
            low, high = f / HALF_BAND / bin_hz, f * HALF_BAND / bin_hz
            if (s > 0 and high * bin_hz > 0.3 * stage_rate) or (
                    s + 1 < len(stages) and low < 15.5):
                continue
            shares = np.clip(np.minimum(high, centres + 0.5) - np.maximum(low, centres - 0.5), 0, None)
            shares[:3] = 0
            total = shares.sum()
            if total == 0:
                continue
            variance = segments * (shares @ same @ shares) + 2 * (segments - 1) * (
                shares @ following @ shares)
            averages = segments ** 2 * total ** 2 / variance
            if best is None or averages > best[1]:
                best = ((shares * density[:HALF]).sum() / total, averages)
        if best is not None:
            points.append((f, np.sqrt(best[0]) * 1000, best[1]))
    return points


# --- The 0.1-10 Hz noise.

def band_noise(codes, rate):
    first_second = int(np.ceil(rate - 1e-6))
    x = codes - codes[:first_second].mean()
    high = scipy.signal.butter(2, 0.1, "highpass", fs=rate, output="sos")
    low = scipy.signal.butter(4, 10, "lowpass", fs=rate, output="sos")
    y = scipy.signal.sosfilt(low, scipy.signal.sosfilt(high, x))
    settled = int(np.ceil(10 * rate - 1e-6))
    window = int(np.ceil(10 * rate - 1e-6))
    windows = (len(y) - settled) // window
    spans = y[settled:settled + windows * window].reshape(windows, window)
    peak_to_peak = spans.max(1) - spans.min(1)
    return {
        "bandRmsMicrovolts": np.sqrt(np.mean(y[settled:] ** 2)) * UV_PER_CODE,
        "bandPeakToPeakMaxMicrovolts": peak_to_peak.max() * UV_PER_CODE,
        "bandPeakToPeakMedianMicrovolts": np.median(peak_to_peak) * UV_PER_CODE,
        "bandWindows": windows,
    }


def main():
    sine = np.fromfile(sys.argv[1], dtype=np.int32).astype(np.float64)
    noise_codes = np.fromfile(sys.argv[2], dtype=np.int32)
    rate = float(sys.argv[3])
    repetitions = int(sys.argv[4])
    figures = timed("dynamic", repetitions, lambda: dynamic(sine, rate))
    points = timed("logSpectrum", repetitions, lambda: log_spectrum(noise_codes, rate))
    figures.update(timed("bandNoise", repetitions,
                         lambda: band_noise(noise_codes.astype(np.float64), rate)))
    for name, value in figures.items():
        print(f"figure {name} {value!r}")
    for f, density, averages in points:
        print(f"point {f!r} {density!r} {averages!r}")


if __name__ == "__main__":
    main()

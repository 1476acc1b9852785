#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every figure of `selkoran-cli analyze` of an HDF5 recording as numpy and scipy users compute
them: the file loaded with h5py, then per channel the statistics, the histogram with its missing
codes, Welch's spectrum, the overlapping Allan deviation from running sums, the log-frequency
spectrum and the 0.1-10 Hz noise (the last two as bench/spectra_reference.py computes them).
Usage: recording_reference.py FILE.h5
Prints "time STEP SECONDS" for the load and each step over all channels, "time total SECONDS",
then "figure CHANNEL NAME VALUE" lines."""

import sys
import time

import h5py
import numpy as np
import scipy.signal
import scipy.stats

from spectra_reference import band_noise, log_spectrum

UV_PER_CODE = 2.5e6 / 8388607
ZERO_CODE = 8388608
SPAN_UV = 5e6


def resolution(uv):
    return 24.0 if uv < SPAN_UV / 2**24 else min(np.log2(SPAN_UV / uv), 24.0)


def statistics(codes, rate):
    uv = (codes - ZERO_CODE) * UV_PER_CODE
    rms = uv.std()
    peak_to_peak = np.ptp(codes) * UV_PER_CODE
    drift = scipy.stats.linregress(np.arange(len(uv)) / rate, uv).slope
    return {"meanMicrovolts": uv.mean(), "rmsMicrovolts": rms,
            "peakToPeakMicrovolts": peak_to_peak, "effectiveResolutionBits": resolution(rms),
            "noiseFreeResolutionBits": resolution(peak_to_peak),
            "driftMicrovoltsPerSecond": drift}


def histogram(codes):
    low = codes.min()
    counts = np.bincount(codes - low)
    k = np.arange(low, codes.max() + 1)
    mu, sd = codes.mean(), codes.std()
    expected = len(codes) * (scipy.stats.norm.cdf(k + 0.5, mu, sd) -
                             scipy.stats.norm.cdf(k - 0.5, mu, sd))
    return {"missingCodes": int(np.count_nonzero((counts == 0) & (expected >= 5)))}


def welch(codes, rate):
    segment = min(4096, 2 ** int(np.log2(len(codes))))
    f, density = scipy.signal.welch((codes - ZERO_CODE) * UV_PER_CODE, fs=rate, window="hann",
                                    nperseg=segment, noverlap=segment // 2, detrend="constant")
    inner = density[1:-1]
    white = np.sqrt(inner.mean())
    largest = np.argmax(inner)
    figures = {"whiteNoiseNanovoltsPerRootHz": white * 1000}
    if np.sqrt(inner[largest]) > 3 * white:
        figures["peakHz"] = f[1 + largest]
    return figures


def allan(codes, rate):
    sums = np.concatenate(([0], np.cumsum(codes - codes[0], dtype=np.int64)))
    deviations = []
    m = 1
    while 2 * m + 1 <= len(codes):
        d = (sums[2 * m:] - 2 * sums[m:-m] + sums[:-2 * m]).astype(np.float64)
        deviations.append((m / rate, np.sqrt(np.mean(d * d) / (2 * m * m)) * UV_PER_CODE))
        m *= 2
    tau, deviation = min(deviations, key=lambda td: td[1])
    return {"allanMinimumTauSeconds": tau, "allanMinimumMicrovolts": deviation}


STEPS = [("statistics", statistics), ("histogram", lambda c, r: histogram(c)),
         ("welch", welch), ("allan", allan), ("logSpectrum", log_spectrum),
         ("bandNoise", lambda c, r: band_noise(c.astype(np.float64), r))]


def main():
    start = time.perf_counter()
    with h5py.File(sys.argv[1], "r") as f:
        codes = f["codes"][:]
        rate = float(f["codes"].attrs["sample_rate"])
        channels = list(f["codes"].attrs["channels"])
    times = {"load": time.perf_counter() - start}
    figures = {channel: {} for channel in channels}
    for name, step in STEPS:
        t = time.perf_counter()
        for column, channel in enumerate(channels):
            result = step(codes[:, column], rate)
            if name == "logSpectrum":
                result = {"logSpectrumPoints": len(result)}
            figures[channel].update(result)
        times[name] = time.perf_counter() - t
    times["total"] = time.perf_counter() - start
    for name, seconds in times.items():
        print(f"time {name} {seconds:.4f}")
    for channel, values in figures.items():
        for name, value in values.items():
            print(f"figure {channel} {name} {value!r}")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""selkoran-cli serve on the simulated board as a bench multimeter: scripts written the way
multimeter scripts and PyMeasure drivers are, with readings over power-line cycles, a null,
scaling, limits and saved setups; the line rejection against the theory of a mean over cycles.
Usage: serve_meter.py SELKORAN_CLI [unittest arguments]"""

import math
import os
import struct
import sys
import tempfile
import unittest
from fractions import Fraction

import pyvisa
from pymeasure.instruments import Instrument

from serve_support import Server, ask

CLI = sys.argv[1]
RATE = 31250
NOISE = 5e-6  # the simulated board's white noise at the top rate, volts rms
SINE = "sim:seed=7,sine=50,amp=1000000"  # 1 V peak at 50 Hz on CH0; CH1 holds 1.25 V


def exact_volts(code):
    return Fraction(int(code) - 8388608) * Fraction(5, 2) / 8388607


def group_means(codes, size):
    """The exact mean in volts of each whole group of `size` codes."""
    return [float(sum(exact_volts(c) for c in codes[i:i + size]) / size)
            for i in range(0, len(codes) - size + 1, size)]


def open_visa(case, port):
    manager = pyvisa.ResourceManager("@py")
    case.addCleanup(manager.close)
    return manager.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n",
                                 write_termination="\n", timeout=30000)


class MeterCase(unittest.TestCase):
    device = SINE
    extra = ()

    def setUp(self):
        self.state = tempfile.TemporaryDirectory()
        self.addCleanup(self.state.cleanup)
        self.server = self.start()

    def start(self):
        server = Server(CLI, device=self.device,
                        extra=["--state-dir", self.state.name, *self.extra])
        self.addCleanup(server.kill)
        return server


class MultimeterScript(MeterCase):
    def test_readings_null_and_limits_as_a_meter_script_uses_them(self):
        dmm = open_visa(self, self.server.port)
        dmm.write("*RST;*CLS")
        dmm.write("CONF:VOLT:DC AUTO,DEF")
        dmm.write("VOLT:NPLC 1")
        dmm.write("TRIG:SOUR IMM")
        dmm.write("SAMP:COUN 5")
        readings = dmm.query_ascii_values("READ?")
        self.assertEqual(len(readings), 5)
        self.assertEqual(dmm.query("DATA:POIN?"), "5")
        # The 1 V sine averages away over one whole cycle: what is left is the offset and the
        # noise of 625 samples.
        for reading in readings:
            self.assertLess(abs(reading), 20e-6)
        # FETCh:CODE? stays raw: each reading is the exact mean of its 625 codes.
        codes = [int(c) for c in dmm.query("FETC:CODE?").split(",")]
        self.assertEqual(len(codes), 5 * 625)
        for reading, mean in zip(readings, group_means(codes, 625)):
            self.assertAlmostEqual(reading, mean, delta=abs(mean) * 1e-9 + 1e-15)

        dmm.write("CALC:NULL:OFFS:ACQ")
        dmm.write("CALC:NULL:STAT ON")
        nulled = dmm.query_ascii_values("READ?")
        null = float(dmm.query("CALC:NULL:OFFS?"))
        first = group_means([int(c) for c in dmm.query("FETC:CODE?").split(",")], 625)
        self.assertAlmostEqual(null, first[0], delta=1e-15, msg="the next reading is the null")
        self.assertEqual(nulled[0], 0.0)
        for value, mean in zip(nulled, first):
            self.assertAlmostEqual(value, mean - null, delta=1e-12)
        state, offset = dmm.query("CALC:NULL:STAT?;OFFS:ACQ;:CALC:NULL:OFFS?").split(";")
        self.assertEqual((state, float(offset)), ("1", null), "ACQuire waits for the next run")

        # Limits wide enough pass; a lower limit above every reading fails them all.
        dmm.write("STAT:QUES:ENAB 6144;*SRE 8")
        dmm.write("CALC:LIM:LOW -1E-3;UPP 1E-3;STAT ON")
        dmm.query_ascii_values("READ?")
        self.assertEqual(dmm.query("CALC:LIM:FAIL?;:STAT:QUES:COND?;*STB?"), "0;0;0")
        watcher = open_visa(self, self.server.port)  # a second script watching the limits
        watcher.write("*CLS")
        dmm.write("CALC:LIM:LOW 1E-4")
        dmm.query_ascii_values("READ?")
        self.assertEqual(watcher.query("STAT:QUES?;:CALC:LIM:FAIL?"), "2048;1",
                         "every connection hears of the failure")
        self.assertEqual(dmm.query("CALC:LIM:FAIL?;:STAT:QUES:COND?"), "1;2048")
        self.assertEqual(int(dmm.query("*STB?")), 8 | 64, "questionable summary and service")
        self.assertEqual(dmm.query("STAT:QUES?;:STAT:QUES?"), "2048;0", "the event is read once")
        self.assertEqual(int(dmm.query("*STB?")), 0, "the summary follows the event register")
        dmm.write("CALC:LIM:CLE")
        self.assertEqual(dmm.query("CALC:LIM:FAIL?;:STAT:QUES:COND?"), "0;0")
        dmm.write("CALC:LIM:LOW -1;UPP -1E-4")
        dmm.query_ascii_values("READ?")
        self.assertEqual(dmm.query("STAT:QUES:COND?;:STAT:QUES?"), "4096;4096", "upper limit")
        self.assertEqual(dmm.query("SYST:ERR?"), '0,"No error"')

    def test_scaled_readings_in_blocks_per_channel_with_raw_codes_beside_them(self):
        dmm = open_visa(self, self.server.port)
        dmm.write("ROUT:SCAN (@0,1);:VOLT:NPLC 0.5;:SAMP:COUN 4")
        # A bridge's mV/V on CH1: 1.25 V nulled, times 400, plus 2, in its own unit; CH0 as is.
        dmm.write('CALC2:NULL:OFFS 1.25;STAT ON;:CALC2:SCAL:GAIN 400;OFFS 2;UNIT "mV/V";STAT ON')
        self.assertEqual(dmm.query("CALC2:SCAL:UNIT?;:CALC1:SCAL:STAT?;:CALC:NULL:STAT?"),
                         '"mV/V";0;0')
        dmm.write("FORM REAL,64")
        values = dmm.query_binary_values("READ?", datatype="d", is_big_endian=True)
        dmm.write("FORM ASC")
        codes = [int(c) for c in dmm.query("FETC:CODE?").split(",")]
        size = 313  # 312.5 samples, rounded half away from zero
        self.assertEqual((len(values), len(codes)), (8, 8 * size))
        ch0, ch1 = group_means(codes[0::2], size), group_means(codes[1::2], size)
        for got, mean in zip(values[0::2], ch0):
            self.assertAlmostEqual(got, mean, delta=1e-15)
        for got, mean in zip(values[1::2], ch1):
            self.assertAlmostEqual(got, 400 * (mean - 1.25) + 2, delta=1e-9)
        self.assertAlmostEqual(sum(values[1::2]) / 4, 2.0, delta=400 * 1e-6)
        # Out of the channels there are: -114, nothing changed.
        dmm.write("CALC3:NULL:OFFS 1")
        self.assertEqual(dmm.query("SYST:ERR?"), '-114,"Header suffix out of range"')

    def test_readings_that_need_more_samples_than_a_run_holds_are_refused(self):
        dmm = open_visa(self, self.server.port)
        dmm.write("SAMP:COUN 1000;:VOLT:NPLC 100")
        dmm.write("INIT")
        self.assertEqual(dmm.query("SYST:ERR?"),
                         '-221,"Settings conflict;readings need more samples than a run holds"')
        self.assertEqual(dmm.query("SAMP:COUN? MAX"), "16", "16 x 62500 samples fit, 17 do not")
        dmm.write("SAMP:COUN 17")
        self.assertEqual(dmm.query("SYST:ERR?"), '-222,"Data out of range"')
        self.assertEqual(dmm.query("VOLT:NPLC 0.01;:SYST:ERR?;:VOLT:NPLC? MIN"),
                         '-222,"Data out of range";2E-02')
        self.assertEqual(dmm.query("SYST:LFR 55;:SYST:ERR?;:SYST:LFR?"),
                         '-224,"Illegal parameter value";50')


class PyMeasureDriver(MeterCase):
    class BenchMeter(Instrument):
        """Written the way PyMeasure's bench-multimeter drivers are."""

        voltage = Instrument.measurement(":READ?", "DC voltage readings in volts (or the scale's unit)")
        voltage_nplc = Instrument.control(":SENS:VOLT:NPLC?", ":SENS:VOLT:NPLC %g",
                                          "integration time in power-line cycles")
        sample_count = Instrument.control(":SAMP:COUN?", ":SAMP:COUN %d", "readings per READ?")
        null_enabled = Instrument.control(":CALC:NULL:STAT?", ":CALC:NULL:STAT %d", "null")
        limit_failed = Instrument.measurement(":CALC:LIM:FAIL?", "a reading was outside")

        def __init__(self, resource):
            super().__init__(resource, "bench meter", includeSCPI=True, visa_library="@py",
                             read_termination="\n", write_termination="\n", timeout=30000)

        def measure_voltage(self):
            self.write(":CONF:VOLT:DC AUTO,DEF")
            self.write(":TRIG:SOUR IMM")

        def acquire_null(self):
            self.write(":CALC:NULL:OFFS:ACQ")

        def set_limits(self, lower, upper):
            self.write(f":CALC:LIM:LOW {lower};:CALC:LIM:UPP {upper};:CALC:LIM:STAT ON")

    def test_a_driver_written_for_a_bench_meter_runs_unchanged(self):
        meter = self.BenchMeter(f"TCPIP::127.0.0.1::{self.server.port}::SOCKET")
        self.addCleanup(meter.adapter.connection.close)
        meter.measure_voltage()
        meter.voltage_nplc = 1
        meter.sample_count = 5
        self.assertEqual((meter.voltage_nplc, meter.sample_count), (1, 5))
        self.assertEqual(len(meter.voltage), 5)
        meter.acquire_null()
        meter.null_enabled = 1
        readings = meter.voltage
        self.assertEqual(readings[0], 0)
        self.assertLess(max(abs(r) for r in readings), 2e-6, "the noise of 625 samples")
        meter.set_limits(0.5, 1)
        meter.voltage
        self.assertEqual(meter.limit_failed, 1)
        self.assertEqual(int(meter.ask("*STB?")), 0, "the questionable register is not enabled")


class LineRejection(MeterCase):
    def readings(self, nplc, count):
        dmm = open_visa(self, self.server.port)
        dmm.write(f"VOLT:NPLC {nplc};:SAMP:COUN {count};:FORM REAL,64")
        return dmm.query_binary_values("READ?", datatype="d", is_big_endian=True)

    def test_whole_cycles_leave_only_the_noise_of_the_sine(self):
        readings = self.readings(1, 40)
        mean = sum(readings) / len(readings)
        spread = math.sqrt(sum((r - mean) ** 2 for r in readings) / (len(readings) - 1))
        # A mean over one whole cycle of a sine is zero: the readings scatter as the noise of
        # 625 samples does (5 µV / 25), not as the 1 V sine.
        self.assertLess(spread, 2 * NOISE / math.sqrt(625))
        rejection = 20 * math.log10(1.0 / max(abs(r - mean) for r in readings))
        self.assertGreater(rejection, 100)

    def test_part_of_a_cycle_passes_the_sine_as_the_mean_of_a_sine_does(self):
        # 0.25 cycles: 156 samples, 0.2496 cycles of the sine. Each reading is the mean of the
        # sine over its samples: an amplitude of A sin(pi N f/fs) / (N sin(pi f/fs)), its phase
        # stepping 2 pi N f/fs from one reading to the next.
        count, size = 48, 156
        readings = self.readings(0.25, count)
        step = 2 * math.pi * size * 50 / RATE
        gain = math.sin(math.pi * size * 50 / RATE) / (size * math.sin(math.pi * 50 / RATE))
        # Least squares for dc + a sin(k step) + b cos(k step).
        rows = [(1.0, math.sin(k * step), math.cos(k * step)) for k in range(count)]
        normal = [[sum(r[i] * r[j] for r in rows) for j in range(3)] for i in range(3)]
        right = [sum(r[i] * y for r, y in zip(rows, readings)) for i in range(3)]
        dc, a, b = solve(normal, right)
        self.assertAlmostEqual(math.hypot(a, b), gain, delta=1e-5)
        self.assertLess(abs(dc), 20e-6)


def solve(matrix, right):
    """Gaussian elimination of a small, well-conditioned system."""
    n = len(right)
    m = [row[:] + [value] for row, value in zip(matrix, right)]
    for i in range(n):
        pivot = max(range(i, n), key=lambda r: abs(m[r][i]))
        m[i], m[pivot] = m[pivot], m[i]
        for r in range(i + 1, n):
            factor = m[r][i] / m[i][i]
            m[r] = [x - factor * y for x, y in zip(m[r], m[i])]
    out = [0.0] * n
    for i in reversed(range(n)):
        out[i] = (m[i][n] - sum(m[i][j] * out[j] for j in range(i + 1, n))) / m[i][i]
    return out


class SavedSetups(MeterCase):
    device = "sim:seed=7"
    extra = ("--line", "60")

    SETTINGS = ('VOLT:NPLC 2;:SYST:LFR 50;:SAMP:COUN 7;:ROUT:SCAN (@0,1);:TRIG:SOUR BUS;'
                ':CALC2:NULL:OFFS 1.25;STAT ON;:CALC2:SCAL:GAIN -3.5E2;OFFS 20;'
                'UNIT "°C ""A""";STAT ON;:CALC1:LIM:LOW -2E-6;UPP 3E-6;STAT ON')
    QUERY = ("VOLT:NPLC?;:SYST:LFR?;:SAMP:COUN?;:ROUT:SCAN?;:TRIG:SOUR?;:CALC2:NULL:OFFS?;"
             "STAT?;:CALC2:SCAL:GAIN?;OFFS?;UNIT?;STAT?;:CALC1:LIM:LOW?;UPP?;STAT?")
    SET = '2E+00;50;7;(@0,1);BUS;1.25E+00;1;-3.5E+02;2E+01;"°C ""A""";1;-2E-06;3E-06;1'

    def test_setups_outlast_a_restart_and_rst_sets_them_back(self):
        port = self.server.port
        self.assertEqual(ask(port, self.SETTINGS + ";:SYST:ERR?"), '0,"No error"')
        self.assertEqual(ask(port, self.QUERY), self.SET)
        self.assertEqual(ask(port, "*SAV 4;:SYST:ERR?"), '0,"No error"')
        self.assertEqual(ask(port, "*RST;" + self.QUERY),
                         '0E+00;60;1000;(@0);IMM;0E+00;0;1E+00;0E+00;"";0;0E+00;0E+00;0',
                         "*RST: no aperture, the line of --line, no null, scale or limits")
        self.assertEqual(os.listdir(self.state.name), ["setup4"], "no temporary file is left")
        self.assertEqual(self.server.stop()[0], 0)
        port = self.start().port
        self.assertEqual(ask(port, "*RCL 4;" + self.QUERY), self.SET)
        self.assertEqual(ask(port, "*RCL 2;:SYST:ERR?"),
                         '-200,"Execution error;no setup saved there"')
        self.assertEqual(ask(port, "*SAV 5;:SYST:ERR?;*RCL 1.5;:SYST:ERR?"),
                         '-222,"Data out of range";-224,"Illegal parameter value"')

    def test_a_damaged_or_unwritable_setup_is_a_mass_storage_error_and_changes_nothing(self):
        port = self.server.port
        self.assertEqual(ask(port, "SAMP:COUN 9;*SAV 0;:SYST:ERR?"), '0,"No error"')
        path = os.path.join(self.state.name, "setup0")
        with open(path, "rb") as f:
            whole = f.read()
        with open(path, "wb") as f:
            f.write(whole[:len(whole) // 2])  # as a setup cut short would be
        self.assertEqual(ask(port, "SAMP:COUN 11;*RCL 0;:SYST:ERR?;:SAMP:COUN?"),
                         '-250,"Mass storage error";11')
        with open(path, "wb") as f:
            f.write(whole.replace(b"count=9", b"count=0"))
        self.assertEqual(ask(port, "*RCL 0;:SYST:ERR?;:SAMP:COUN?"),
                         '-250,"Mass storage error";11', "a value the server does not take")
        _, said = self.server.stop()
        self.assertEqual(said.count("設定を読めませんでした：" + path + "（"), 2, said)
        # A state folder that cannot be made (a file stands in its way, which stops root too).
        blocked = os.path.join(self.state.name, "blocked")
        open(blocked, "w").close()
        server = Server(CLI, device=self.device, extra=["--state-dir", blocked + "/sub"])
        self.addCleanup(server.kill)
        self.assertEqual(ask(server.port, "*SAV 1;:SYST:ERR?"), '-250,"Mass storage error"')
        self.assertIn("設定を保存できませんでした：" + blocked + "/sub/setup1（", server.stop()[1])

if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)

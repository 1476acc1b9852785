#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""selkoran-cli serve on the simulated board, driven by clients we did not write: PyVISA with
the pyvisa-py backend, lxi scpi --raw and PyMeasure's Instrument; and by a hostile client.
Usage: serve_clients.py SELKORAN_CLI [unittest arguments]"""

import csv
import math
import os
import random
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from fractions import Fraction

import pyvisa
from pymeasure.instruments import Instrument

from serve_support import Server, ask

CLI = sys.argv[1]
IDENTITY = "SELKORAN,SELKORAN Board,FT7SIM01,1.10"


def exact_volts(code):
    """The code rule in exact arithmetic: (code - 8388608) x 2.5 V / 8388607."""
    return Fraction(int(code) - 8388608) * Fraction(5, 2) / 8388607


class ServerCase(unittest.TestCase):
    def setUp(self):
        self.server = Server(CLI)
        self.addCleanup(self.server.kill)

    def visa(self):
        manager = pyvisa.ResourceManager("@py")
        instrument = manager.open_resource(f"TCPIP::127.0.0.1::{self.server.port}::SOCKET",
                                           read_termination="\n", write_termination="\n",
                                           timeout=20000)
        self.addCleanup(manager.close)
        return instrument


class PyVisa(ServerCase):
    def test_identification_configuration_and_ascii_and_binary_data_agree(self):
        inst = self.visa()
        self.assertEqual(inst.query("*IDN?"), IDENTITY)
        inst.write("SENS:VOLT:DC:RATE 5000;FILT SINC3;:ROUT:SCAN (@0,1);:samp:coun 300")
        self.assertEqual(inst.query("VOLTage:RATE?;:SENSe:VOLTage:FILTer?;:ROUTe:SCAN?;"
                                    ":SAMPle:COUNt?;:TRIG:SOUR?"),
                         "5.208E+03;SINC3;(@0,1);300;IMM")
        values = inst.query_ascii_values("READ?")
        self.assertEqual(len(values), 600)
        self.assertAlmostEqual(sum(values[1::2]) / 300, 1.25, places=4, msg="CH1 holds 1.25 V")
        for order, big in (("NORM", True), ("SWAP", False)):
            inst.write(f"FORM REAL,64;FORM:BORD {order}")
            doubles = inst.query_binary_values("FETC?", datatype="d", is_big_endian=big)
            self.assertEqual([float(f"{v:.9e}") for v in doubles], values, "ASCII: 10 digits")
        inst.write("FORMat:DATA REAL,32;:FORM:BORD NORM")
        singles = inst.query_binary_values("FETC?", datatype="f", is_big_endian=True)
        self.assertEqual(singles, [struct.unpack("f", struct.pack("f", v))[0] for v in doubles])
        codes = inst.query_binary_values("FETCh:CODE?", datatype="i", is_big_endian=True)
        inst.write("FORM ASC")
        self.assertEqual(codes, [int(c) for c in inst.query("FETC:CODE?").split(",")])
        self.assertEqual(inst.query("DATA:POIN?"), "300")

    def test_errors_queue_in_order_and_overflow_at_32(self):
        inst = self.visa()
        inst.write("BOGUS:HEADER;:SAMP:COUN 0;:VOLT:RATE 1e6;:ROUT:SCAN (@2);:SAMP:COUN;"
                   "*IDN? 1;:FETC?;:TRIG:SOUR BUS;:INIT;:INIT")
        expected = ['-113,"Undefined header"', '-222,"Data out of range"',
                    '-222,"Data out of range"', '-224,"Illegal parameter value"',
                    '-109,"Missing parameter"', '-108,"Parameter not allowed"',
                    '-230,"Data corrupt or stale"', '-213,"Init ignored"']
        self.assertEqual(inst.query("SYST:ERR:COUN?"), str(len(expected)))
        self.assertEqual([inst.query("SYST:ERR?") for _ in expected], expected)
        self.assertEqual(inst.query("SYSTem:ERRor:NEXT?"), '0,"No error"')
        self.assertEqual(inst.query("*ESR?"), str(0x20 | 0x10), "command and execution errors")
        inst.write("ABOR;*CLS;:TRIG:SOUR IMM")
        for _ in range(40):
            inst.write("NOPE")
        self.assertEqual(inst.query("SYST:ERR:COUN?"), "32")
        errors = [inst.query("SYST:ERR?") for _ in range(32)]
        self.assertEqual(errors[-1], '-350,"Queue overflow"')
        self.assertEqual(set(errors[:-1]), {'-113,"Undefined header"'})

    def test_opc_waits_for_the_run_and_abort_keeps_what_arrived(self):
        inst = self.visa()
        inst.write("SAMP:COUN 2000;:VOLT:RATE 10417;:INIT")
        self.assertEqual(inst.query("*OPC?"), "1")
        self.assertEqual(inst.query("DATA:POIN?"), "2000")
        inst.write("SAMP:COUN 1048575;:INIT")
        time.sleep(0.3)
        inst.write("ABOR")
        held = int(inst.query("DATA:POIN?"))
        self.assertGreater(held, 100)
        self.assertLess(held, 1048575)
        self.assertEqual(len(inst.query_ascii_values("FETC?")), held)
        self.assertEqual(inst.query("*OPC?;:SYST:ERR?"), '1;0,"No error"')

    def test_bus_trigger_starts_the_run_another_connection_waits_for(self):
        inst, other = self.visa(), self.visa()
        inst.write("TRIG:SOUR BUS;:SAMP:COUN 50;:INIT")
        other.write("FETC?")
        time.sleep(0.2)
        inst.write("*TRG")
        self.assertEqual(len(other.read().split(",")), 50)
        self.assertEqual(other.query("SYST:ERR?"), '0,"No error"')

    def test_statistics_and_noise_figures_per_channel(self):
        inst = self.visa()
        inst.write("ROUT:SCAN (@0,1);:SAMP:COUN 4096;:INIT;*WAI")
        average = inst.query_ascii_values("CALC:AVER:ALL?")
        self.assertEqual(len(average), 8)
        mean, deviation, smallest, largest = average[4:]
        self.assertAlmostEqual(mean, 1.25, places=4)
        self.assertTrue(smallest < mean < largest)
        self.assertAlmostEqual(deviation, 5e-6, delta=1e-6, msg="the board's noise at the top rate")
        noise = inst.query_ascii_values("CALCulate:NOISe?")
        self.assertEqual(len(noise), 10)
        self.assertAlmostEqual(noise[0], average[1], places=12, msg="rms is the deviation")
        self.assertAlmostEqual(noise[2], 19.9, delta=0.3, msg="effective resolution in bits")
        self.assertAlmostEqual(noise[4], 5e-6 / (31250 / 2) ** 0.5, delta=0.2e-8,
                               msg="white-noise density in V/sqrt(Hz)")
        # MEASure? as multimeters take it: one sample per channel, the count left at 1.
        inst.write("TRIG:SOUR BUS")
        self.assertEqual(len(inst.query_ascii_values("MEAS:VOLT:DC?")), 2)
        self.assertEqual(inst.query("SAMP:COUN?;:TRIG:SOUR?"), "1;IMM")


class SineOnTheBoard(unittest.TestCase):
    def test_dynamic_figures_give_the_sine_set_with_the_device(self):
        server = Server(CLI, device="sim:seed=7,sine=997,amp=1500000,hd2=-75,hd3=-88")
        self.addCleanup(server.kill)
        manager = pyvisa.ResourceManager("@py")
        self.addCleanup(manager.close)
        inst = manager.open_resource(f"TCPIP::127.0.0.1::{server.port}::SOCKET",
                                     read_termination="\n", write_termination="\n",
                                     timeout=20000)
        inst.write("VOLT:RATE 31250;:SAMP:COUN 8192;:INIT;*WAI")
        hz, dbfs, snr, thd, sinad, sfdr, enob = inst.query_ascii_values("CALC:DYN?")
        self.assertAlmostEqual(hz, 997, delta=0.05)
        self.assertAlmostEqual(dbfs, 20 * math.log10(1.5 / 2.5), delta=0.01)
        self.assertAlmostEqual(thd, 10 * math.log10(10 ** -7.5 + 10 ** -8.8), delta=0.3)
        self.assertAlmostEqual(sfdr, 75, delta=0.3)
        self.assertAlmostEqual(enob, (sinad - 1.76) / 6.02, places=6)
        self.assertGreater(snr, sinad)


class SamplesEqualMeasure(unittest.TestCase):
    def test_a_client_receives_the_codes_measure_records_and_their_exact_volts(self):
        with tempfile.TemporaryDirectory() as folder:
            table = os.path.join(folder, "m.csv")
            base = [CLI, "measure", "--device", "sim:seed=7", "--channel", "2", "--count", "1000",
                    "--csv", table, "--rate", "31250"]
            done = subprocess.run(base, capture_output=True)
            self.assertEqual(done.returncode, 0, done.stderr)
            with open(table, newline="") as f:  # the rows after the table's "#" lines
                rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
        server = Server(CLI, device="sim:seed=7")
        self.addCleanup(server.kill)
        volts = ask(server.port, "ROUT:SCAN (@0,1);:SAMP:COUN 1000;:READ?").split(",")
        codes = ask(server.port, "FETC:CODE?").split(",")
        expected_codes = [r[k] for r in rows for k in ("ch0_code", "ch1_code")]
        self.assertEqual(codes, expected_codes)
        self.assertEqual(len(volts), len(codes))
        for code, text in zip(codes, volts):  # 10 significant digits: half a unit of the last
            exact = exact_volts(code)
            self.assertLessEqual(abs(Fraction(text) - exact), abs(exact) * Fraction(5, 10**10))
        # Neighbouring codes near 1.25 V (CH1) are told apart: one code step, 0.298 µV.
        ch1 = {int(code): Fraction(text) for code, text in zip(codes[1::2], volts[1::2])}
        pairs = [code for code in ch1 if code + 1 in ch1]
        self.assertGreater(len(pairs), 10)
        for code in pairs:
            self.assertAlmostEqual(float(ch1[code + 1] - ch1[code]) * 1e6, 0.298023, delta=0.0011)


class BoardFailure(unittest.TestCase):
    def test_a_board_lost_during_a_run_is_a_hardware_error_and_is_looked_for_again(self):
        server = Server(CLI, device="sim:vanish=1000")
        self.addCleanup(server.kill)
        with socket.create_connection(("127.0.0.1", server.port), timeout=20) as s, \
                socket.create_connection(("127.0.0.1", server.port), timeout=20) as w:
            reader = s.makefile("r")
            watcher = w.makefile("r")

            def query(text):
                s.sendall(text.encode() + b"\n")
                return reader.readline().rstrip("\n")

            self.assertEqual(query("*TST?"), "0")
            # The board vanishes after a second; a connection that only waits for the run's
            # data hears of the failure as well as the one that started it.
            s.sendall(b"VOLT:RATE 1000;:SAMP:COUN 10000;:READ?\n")
            w.sendall(b"FETC:CODE?;:SYST:ERR?\n")
            held = reader.readline().rstrip("\n").split(",")
            self.assertLess(len(held), 10000, "the samples before the loss are kept")
            answer = watcher.readline().rstrip("\n").split(";")
            self.assertEqual((len(answer[0].split(",")), answer[1]),
                             (len(held), '-240,"Hardware error"'))
            self.assertEqual(query("SYST:ERR?;*ESR?"), '-240,"Hardware error";16')
            self.assertEqual(query("INIT;:SYST:ERR?;*TST?"), '-240,"Hardware error";1')
            peer = "127.0.0.1:%d" % s.getsockname()[1]
        code, said = server.stop()
        self.assertEqual(code, 0, said)
        # For whoever watches an unattended server: each hardware error, with the peer.
        self.assertEqual(said.count("ボードのエラーで計測が失敗しました：" + peer + "\n"), 2, said)


class CommandLine(unittest.TestCase):
    def test_no_board_ends_at_once_with_the_usual_message(self):
        done = subprocess.run([CLI, "serve", "--device", "sim:silent", "--port", "0"],
                              capture_output=True, text=True, timeout=20)
        self.assertEqual((done.returncode, done.stderr), (1, "SELKORAN が応答しませんでした\n"))

    def test_peers_outside_the_allow_list_are_closed_at_once(self):
        server = Server(CLI, extra=["--allow", "10.1.2.3,192.168.10.0/24"])
        self.addCleanup(server.kill)
        with socket.create_connection(("127.0.0.1", server.port), timeout=10) as s:
            self.assertEqual(s.recv(100), b"", "closed at once")
        code, said = server.stop()
        self.assertEqual(code, 0)
        self.assertRegex(said, "接続を許可していないアドレスからの接続を閉じました：127.0.0.1:[0-9]+\n")
        self.assertNotIn("接続しました", said)

    def test_each_connection_opened_and_closed_is_a_line_unless_quiet(self):
        for quiet in (False, True):
            server = Server(CLI, extra=["--quiet"] if quiet else [])
            self.addCleanup(server.kill)
            with socket.create_connection(("127.0.0.1", server.port), timeout=10) as s:
                peer = "127.0.0.1:%d" % s.getsockname()[1]
            self.assertEqual(ask(server.port, "*IDN?"), IDENTITY)
            lines = server.stop()[1].splitlines()[1:]
            self.assertEqual(len(lines), 0 if quiet else 4, lines)
            if not quiet:
                self.assertLess(lines.index("接続しました：" + peer), lines.index("切断しました：" + peer))

    def test_sigterm_during_a_run_ends_it_and_the_server(self):
        server = Server(CLI)
        self.addCleanup(server.kill)
        ask(server.port, "SAMP:COUN 1048575;:INIT;:DATA:POIN?")
        self.assertEqual(server.stop()[0], 0)


class LongMessages(ServerCase):
    """Nothing of a message over 64 KiB is executed, however it comes: one -223."""

    def exchange(self, message, pieces):
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=20) as s:
            size = -(-len(message) // pieces)
            for at in range(0, len(message), size):
                s.sendall(message[at:at + size])
                if pieces > 1:
                    time.sleep(0.05)
            s.sendall(b"SYST:ERR?;ERR?;:SAMP:COUN?\n")
            reader = s.makefile("rb")
            return reader.readline().decode().rstrip("\n")

    def test_over_long_messages_sent_at_once_or_in_pieces(self):
        idn = b"*IDN?;" * 20000 + b"\n"  # 120,000 bytes
        count = b"SAMP:COUN 7;" + b" " * 100000 + b"\n"
        for pieces in (1, 7):
            for message in (idn, count):
                self.assertEqual(self.exchange(message, pieces),
                                 '-223,"Too much data";0,"No error";1000', (pieces, message[:12]))

    def test_a_message_of_64_kib_is_executed_and_one_byte_more_is_not(self):
        for pieces in (1, 3):
            longest = b"SAMP:COUN 7" + b" " * (65536 - 11) + b"\n"
            self.assertEqual(self.exchange(longest, pieces), '0,"No error";0,"No error";7')
            self.assertEqual(ask(self.server.port, "*RST;*OPC?"), "1")
            self.assertEqual(self.exchange(b"SAMP:COUN 7 " + longest, pieces),
                             '-223,"Too much data";0,"No error";1000')


class Lxi(ServerCase):
    def test_lxi_scpi_raw_sends_and_reads_back(self):
        def lxi(command):
            return subprocess.run(["lxi", "scpi", "--raw", "-a", "127.0.0.1", "-p",
                                   str(self.server.port), command],
                                  capture_output=True, text=True, timeout=20).stdout.strip()

        self.assertEqual(lxi("*IDN?"), IDENTITY)
        lxi("SAMP:COUN 7")
        self.assertEqual(lxi("SAMP:COUN?"), "7")
        self.assertEqual(len(lxi("READ?").split(",")), 7)


class PyMeasure(ServerCase):
    class Selkoran(Instrument):
        count = Instrument.control("SAMP:COUN?", "SAMP:COUN %d", "samples per channel",
                                   check_set_errors=True)

        def __init__(self, resource):
            super().__init__(resource, "SELKORAN", includeSCPI=True, visa_library="@py",
                             read_termination="\n", write_termination="\n", timeout=20000)
            self.errors = []

        def check_errors(self):
            while True:
                code, text = self.ask("SYST:ERR?").split(",", 1)
                if int(code) == 0:
                    return
                self.errors.append((int(code), text))

    def test_id_complete_clear_and_the_error_check_loop(self):
        inst = self.Selkoran(f"TCPIP::127.0.0.1::{self.server.port}::SOCKET")
        self.assertEqual(inst.id, IDENTITY)
        inst.count = 5
        self.assertEqual(inst.count, 5)
        inst.count = 0
        self.assertEqual(inst.errors, [(-222, '"Data out of range"')])
        inst.write("INIT")
        # Debian's PyMeasure 0.9 keeps includeSCPI's measurements as instance attributes,
        # which Python does not call: their getter is called by hand.
        self.assertEqual(inst.complete.fget(inst), 1)
        inst.write("NOPE")
        inst.clear()
        self.assertEqual(inst.ask("SYST:ERR:COUN?").strip(), "0")
        inst.adapter.connection.close()


class HostileClients(ServerCase):
    def test_others_are_served_whatever_one_client_sends_or_leaves_unread(self):
        port = self.server.port
        # A client that asks for 32 MB of data and never reads it.
        hog = socket.create_connection(("127.0.0.1", port))
        hog.sendall(b"SAMP:COUN 100000;:ROUT:SCAN (@0,1);:FORM REAL,64;:READ?\n"
                    + b"FETC?\n" * 20)
        # A 1 MiB line, then random bytes, on one connection.
        rude = socket.create_connection(("127.0.0.1", port))
        rude.sendall(b"A" * (1 << 20) + b"\n")
        noise = random.Random(24)
        rude.sendall(bytes(noise.randrange(256) for _ in range(200000)) + b"\n")
        rude.sendall(b"SYST:ERR?\n")
        # 100 connections at once: at most 16 are served, the rest closed at once.
        crowd = [socket.create_connection(("127.0.0.1", port)) for _ in range(100)]
        for s in crowd:
            s.close()
        # Served as soon as the server has seen the crowd go.
        deadline = time.monotonic() + 20
        while ask(port, "*IDN?") != IDENTITY and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(ask(port, "*IDN?"), IDENTITY)
        rude.settimeout(10)
        answers = b""
        while b'"\n' not in answers:
            answers += rude.recv(65536)
        self.assertIn(b'-223,"Too much data"', answers)
        self.assertEqual(ask(port, "*OPC?", timeout=60), "1")
        self.assertEqual(ask(port, "DATA:POIN?"), "100000")
        hog.close()
        rude.close()
        self.assertEqual(ask(port, "*IDN?"), IDENTITY)
        code, said = self.server.stop()
        self.assertEqual(code, 0)
        self.assertIn("同時接続数が上限の 16 に達しているため接続を閉じました：127.0.0.1:", said)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""selkoran-cli serve's web page as users meet it: Debian's Chromium driven by Selenium, a
Prometheus scraping /metrics, and hostile HTTP and WebSocket clients, all on loopback.
Usage: serve_web.py SELKORAN_CLI CASE [unittest arguments]
SELKORAN_SCREENSHOTS=FOLDER keeps the browser's screenshots of both pages there."""

import base64
import csv
import io
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

from serve_support import Server, ask

CLI = sys.argv[1]
DEVICE = "sim:seed=7,serial=FT7SIM01"
STATISTICS_LINE = re.compile(r"^CH[01] : 最大値：")


def get(port, path, data=None, headers=None, timeout=20):
    """(status, headers, body) of one request; error statuses included."""
    request = urllib.request.Request(f"http://127.0.0.1:{port}{path}", data=data,
                                     headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=timeout) as response:
            return response.status, response.headers, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def control(port, path, password=None):
    headers = {"X-Selkoran-Control": "1"}
    if password is not None:
        headers["Authorization"] = "Basic " + base64.b64encode(
            f"operator:{password}".encode()).decode()
    return get(port, path, data=b"", headers=headers)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, seconds, message):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(message)


def websocket(port):
    """A raw WebSocket after its handshake (the 101 read off)."""
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall((f"GET /live/socket HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
               f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
               f"Sec-WebSocket-Version: 13\r\n\r\n").encode())
    head = b""
    while b"\r\n\r\n" not in head:
        chunk = s.recv(1)
        if not chunk:
            break
        head += chunk
    assert head.startswith(b"HTTP/1.1 101"), head
    return s


def measure_lines(settings):
    """The window's statistics lines as selkoran-cli measure prints them."""
    done = subprocess.run([CLI, "measure", "--device", DEVICE, *settings], capture_output=True,
                          text=True, env={**os.environ, "QT_QPA_PLATFORM": "offscreen"})
    assert done.returncode == 0, done.stderr
    return [line for line in done.stdout.splitlines() if STATISTICS_LINE.match(line)]


class Browser(unittest.TestCase):
    """The welcome page and the live view in a headless Chromium, as a colleague opens them."""

    def setUp(self):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service

        self.server = Server(CLI, device=DEVICE, http=True)
        self.addCleanup(self.server.kill)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        self.profile = tempfile.TemporaryDirectory()
        self.addCleanup(self.profile.cleanup)
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--window-size=1200,900",
                     "--lang=ja", f"--user-data-dir={self.profile.name}"):
            options.add_argument(flag)
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(self.driver.quit)
        self.shots = os.environ.get("SELKORAN_SCREENSHOTS")

    def shot(self, name):
        if self.shots:
            os.makedirs(self.shots, exist_ok=True)
            self.driver.save_screenshot(os.path.join(self.shots, name))

    def text(self, element_id):
        return self.driver.find_element("id", element_id).text

    def test_welcome_page_names_the_instrument_and_the_live_view_measures_as_the_window(self):
        from selenium.webdriver.support.ui import Select

        port = self.server.http_port
        self.driver.get(f"http://127.0.0.1:{port}/")
        self.assertEqual(self.driver.title, "SELKORAN-SELKORAN Board-FT7SIM01")
        self.assertEqual(self.text("シリアル番号"), "FT7SIM01")
        self.assertEqual(self.text("VISA リソース"),
                         f"TCPIP::127.0.0.1::{self.server.port}::SOCKET")
        self.shot("welcome.png")

        self.driver.find_element("id", "live").click()
        wait_for(lambda: self.text("measure") == "測定開始", 20, "the live view never came up")
        self.assertIn("このコンピューターからだけ", self.text("control-note"))
        rate = "5208sps"
        Select(self.driver.find_element("id", "rate")).select_by_visible_text(rate)
        Select(self.driver.find_element("id", "channel")).select_by_visible_text("CH0 + CH1")
        count = self.driver.find_element("id", "count")
        count.clear()
        count.send_keys("10000")
        self.driver.find_element("id", "measure").click()

        wait_for(lambda: self.text("status") == "計測中です", 20, "no 計測中です while running")
        self.assertEqual(self.text("measure"), "測定停止")
        chart = self.driver.find_element("id", "chart")
        first = int(wait_for(lambda: chart.get_attribute("data-filled"), 20, "no chart"))
        filled = wait_for(lambda: int(chart.get_attribute("data-filled") or 0) > first
                          and int(chart.get_attribute("data-filled")), 20,
                          "the chart did not grow while the run went on")
        self.assertGreater(filled, first)
        self.shot("live-running.png")
        wait_for(lambda: self.text("status") == "計測終了しました", 60, "the run never finished")
        self.assertEqual(self.text("measure"), "測定開始")
        width = int(self.driver.execute_script("return document.getElementById('chart')"
                                               ".clientWidth"))
        self.assertLessEqual(int(chart.get_attribute("data-filled")), width,
                             "more than one min/max pair per pixel column")

        settings = ["--rate", "5208", "--filter", "sinc5", "--channel", "both", "--count", "10000"]
        lines = lambda: [e.text for e in self.driver.find_elements("class name",
                                                                   "statistics-line")]
        self.assertEqual(wait_for(lines, 20, "no statistics"), measure_lines(settings))
        self.driver.find_element("id", "volt").click()
        self.assertEqual(wait_for(lambda: "[uV]" in "".join(lines()) and lines(), 20, "no µV"),
                         measure_lines(settings + ["--volt"]))
        self.assertIn("ノイズ", self.text("figures"))
        self.shot("live-finished.png")

        # The CSV download holds the codes FETCh:CODE? sends.
        status, _, body = get(port, "/download/last.csv")
        self.assertEqual(status, 200)
        rows = list(csv.DictReader(line for line in io.StringIO(body.decode())
                                   if not line.startswith("#")))
        codes = ask(self.server.port, "FETC:CODE?", timeout=30).split(",")
        self.assertEqual([r[k] for r in rows for k in ("ch0_code", "ch1_code")], codes)
        with tempfile.TemporaryDirectory() as folder:  # the .DTA file, read back by show
            status, headers, body = get(port, "/download/last.DTA")
            self.assertEqual(status, 200)
            self.assertIn("FT7SIM01", headers["Content-Disposition"])
            with open(os.path.join(folder, "last.DTA"), "wb") as f:
                f.write(body)
            shown = subprocess.run([CLI, "show", os.path.join(folder, "last.DTA"), "--csv",
                                    os.path.join(folder, "shown.csv")], capture_output=True)
            self.assertEqual(shown.returncode, 0, shown.stderr)
            with open(os.path.join(folder, "shown.csv")) as f:
                rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
            self.assertEqual([r[k] for r in rows for k in ("ch0_code", "ch1_code")], codes)
        import h5py
        status, _, body = get(port, "/download/last.h5")
        self.assertEqual(status, 200)
        with h5py.File(io.BytesIO(body), "r") as f:
            self.assertEqual([str(c) for c in f["codes"][:].ravel()], codes)

    def test_a_run_started_over_scpi_shows_and_a_start_while_it_runs_is_refused(self):
        port = self.server.http_port
        self.driver.get(f"http://127.0.0.1:{port}/live")
        wait_for(lambda: self.text("measure") == "測定開始", 20, "the live view never came up")
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=30) as s:
            s.sendall(b"SENS:VOLT:DC:RATE 10;:SAMP:COUN 100;:INIT\n")
            wait_for(lambda: self.text("status") == "計測中です", 20, "the SCPI run did not show")
            self.assertEqual(self.text("measure"), "測定停止")
            status, _, body = control(port, "/control/start?rate=3&filter=sinc5&channel=0&count=5")
            self.assertEqual(status, 409)
            self.assertIn("計測中のため開始できません", body.decode())
            self.driver.find_element("id", "measure").click()  # 測定停止
            wait_for(lambda: self.text("status") == "計測中止しました", 20, "the stop did not show")
            s.sendall(b"SYST:ERR?\n")
            self.assertTrue(s.makefile("r").readline().startswith("0,"))

    def test_the_dynamic_figures_of_a_sine_show_as_measure_prints_them(self):
        device = "sim:seed=7,serial=FT7SIM01,sine=1000.3"
        server = Server(CLI, device=device, http=True)
        self.addCleanup(server.kill)
        self.assertEqual(ask(server.port, "SAMP:COUN 10000;:INIT;*OPC?", timeout=60), "1")
        self.driver.get(f"http://127.0.0.1:{server.http_port}/live")
        wait_for(lambda: "SNR" in self.text("figures"), 20, "no dynamic figures")
        shown = {row[0]: row[1] for row in self.driver.execute_script(
            "return [...document.querySelectorAll('#figures tr')].map("
            "(r) => [...r.cells].map((c) => c.textContent));")}
        done = subprocess.run([CLI, "measure", "--device", device, "--rate", "31250", "--count",
                               "10000", "--dynamic"], capture_output=True, text=True,
                              env={**os.environ, "QT_QPA_PLATFORM": "offscreen"})
        printed = dict(line[len("CH0 : "):].split("：", 1) for line in done.stdout.splitlines()
                       if line.startswith("CH0 : ") and "：" in line)
        for name in ("SNR", "THD", "SINAD", "ENOB", "ノイズ実効値 (rms)"):
            self.assertEqual(shown[name], printed[name].split("（")[0], name)


def messages(s, seconds=60):
    """The JSON messages of a WebSocket (the server's frames are unmasked), as they come."""
    buffer = b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        chunk = s.recv(65536)
        if not chunk:
            return
        buffer += chunk
        while len(buffer) >= 2:
            length, start = buffer[1] & 0x7F, 2
            if length == 126:
                length, start = int.from_bytes(buffer[2:4], "big"), 4
            elif length == 127:
                length, start = int.from_bytes(buffer[2:10], "big"), 10
            if len(buffer) < start + length:
                break
            opcode, body = buffer[0] & 0x0F, buffer[start:start + length]
            buffer = buffer[start + length:]
            if opcode == 1:
                yield json.loads(body)


def watch(port, width):
    s = websocket(port)
    s.sendall(b"\x81" + bytes([0x80 | len(f"columns {width}")]) + b"\0\0\0\0" +
              f"columns {width}".encode())
    return s


class LiveUpdates(unittest.TestCase):
    """What a watching page is sent, read off its WebSocket."""

    def test_a_page_opened_during_a_run_gets_every_column_once_and_the_end(self):
        server = Server(CLI, device=DEVICE, http=True)
        self.addCleanup(server.kill)
        count, width = 100000, 640
        with socket.create_connection(("127.0.0.1", server.port), timeout=30) as s:
            s.sendall(f"VOLT:RATE 31250;:ROUT:SCAN (@0,1);:SAMP:COUN {count};:INIT\n".encode())
            time.sleep(0.5)  # the page comes in the middle of the run
            page = watch(server.http_port, width)
            columns = {0: [None] * (2 * width), 1: [None] * (2 * width)}
            statuses = []
            for message in messages(page):
                if "state" in message:
                    statuses.append(message["state"]["status"])
                if "chart" in message:
                    chart = message["chart"]
                    self.assertEqual((chart["count"], chart["columns"]), (count, width))
                    for channel in (0, 1):
                        pairs = chart[f"ch{channel}"]
                        first = chart["first"]
                        self.assertLessEqual(first + len(pairs) // 2, width)
                        columns[channel][2 * first:2 * first + len(pairs)] = pairs
                if statuses and statuses[-1] == "計測終了しました":
                    break
            page.close()
            s.sendall(b"FETC:CODE?\n")
            codes = [int(c) for c in s.makefile("r").readline().split(",")]
        self.assertEqual(statuses[0], "計測中です")
        self.assertEqual(statuses[-1], "計測終了しました")
        # Each column's least and greatest code of the samples it covers: c·count/width on.
        for channel in (0, 1):
            taken = codes[channel::2]
            for c in range(width):
                part = taken[c * count // width:(c + 1) * count // width]
                self.assertEqual(columns[channel][2 * c:2 * c + 2], [min(part), max(part)],
                                 f"CH{channel} column {c}")

    def test_a_board_lost_during_a_run_shows_the_error_and_is_down_in_the_metrics(self):
        server = Server(CLI, device="sim:vanish=1000", http=True)
        self.addCleanup(server.kill)
        page = watch(server.http_port, 300)
        status, _, body = control(server.http_port,
                                  "/control/start?rate=16&filter=sinc5&channel=0&count=5000")
        self.assertEqual(status, 200, body)
        shown = []
        for message in messages(page, 30):
            if "state" in message:
                shown.append(message["state"]["status"])
                if not message["state"]["busy"] and shown[-1] != "":
                    break
        page.close()
        self.assertEqual(shown[-1], "計測エラーで終了", shown)
        metrics = get(server.http_port, "/metrics")[2].decode()
        self.assertIn("\nselkoran_up 0\n", metrics)
        self.assertIn("\nselkoran_running 0\n", metrics)

    def test_the_samples_counter_only_grows_over_runs_stopped_or_finished(self):
        server = Server(CLI, device=DEVICE, http=True)
        self.addCleanup(server.kill)

        def metric(name):
            text = get(server.http_port, "/metrics")[2].decode()
            return float(re.search(rf"^{name} (\S+)$", text, re.M).group(1))

        self.assertEqual(ask(server.port, "ROUT:SCAN (@0,1);:SAMP:COUN 1000;:INIT;*OPC?"), "1")
        self.assertEqual(metric("selkoran_samples_total"), 1000)
        with socket.create_connection(("127.0.0.1", server.port), timeout=30) as s:
            s.sendall(b"VOLT:RATE 100;:SAMP:COUN 100000;:INIT\n")
            wait_for(lambda: metric("selkoran_running") == 1 and
                     metric("selkoran_samples_total") > 1000, 20, "the run did not count")
            s.sendall(b"ABOR;:DATA:POIN?\n")
            kept = int(s.makefile("r").readline())
        self.assertGreater(kept, 0)
        self.assertEqual(metric("selkoran_running"), 0)
        self.assertEqual(metric("selkoran_samples_total"), 1000 + kept)
        self.assertEqual(ask(server.port, "VOLT:RATE 31250;:SAMP:COUN 10;:INIT;*OPC?"), "1")
        self.assertEqual(metric("selkoran_samples_total"), 1010 + kept)


class Prometheus(unittest.TestCase):
    """A Prometheus the test configures scrapes /metrics once a second."""

    def query(self, port, expression):
        status, _, body = get(port, "/api/v1/query?query=" + urllib.parse.quote(expression))
        answer = json.loads(body)
        return answer["data"]["result"] if status == 200 else []

    def test_prometheus_scrapes_the_last_runs_figures_in_volts(self):
        server = Server(CLI, device=DEVICE, http=True)
        self.addCleanup(server.kill)
        self.assertEqual(ask(server.port, "ROUT:SCAN (@0,1);:SAMP:COUN 2000;:INIT;*OPC?",
                             timeout=60), "1")
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        config = os.path.join(folder.name, "prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                    "scrape_configs:\n  - job_name: selkoran\n    static_configs:\n"
                    f"      - targets: ['127.0.0.1:{server.http_port}']\n")
        port = free_port()
        prometheus = subprocess.Popen(
            ["/usr/bin/prometheus", f"--config.file={config}",
             f"--storage.tsdb.path={folder.name}/data", f"--web.listen-address=127.0.0.1:{port}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(prometheus.wait)
        self.addCleanup(prometheus.terminate)

        def sample(expression):
            try:
                return self.query(port, expression)
            except (OSError, ValueError):
                return []

        total = wait_for(lambda: sample("selkoran_samples_total"), 60, "never scraped")
        self.assertEqual(total[0]["value"][1], "2000")
        info = sample("selkoran_info")[0]["metric"]
        self.assertEqual((info["serial"], info["board_version"]), ("FT7SIM01", "1.10"))
        self.assertEqual(sample("selkoran_up")[0]["value"][1], "1")
        self.assertEqual(sample("selkoran_running")[0]["value"][1], "0")
        # Against the server's own figures of the same run (per channel: mean, deviation,
        # least, greatest; rms and peak-to-peak first of the noise figures); CH1 holds 1.25 V.
        average = [float(v) for v in ask(server.port, "CALC:AVER:ALL?").split(",")]
        noise = [float(v) for v in ask(server.port, "CALC:NOIS?").split(",")]
        for name, expected in (("selkoran_mean_volts", average[0::4]),
                               ("selkoran_rms_noise_volts", noise[0::5]),
                               ("selkoran_peak_to_peak_volts", noise[1::5])):
            got = {r["metric"]["channel"]: float(r["value"][1]) for r in sample(name)}
            self.assertEqual(sorted(got), ["0", "1"], name)
            for channel, value in enumerate(expected):
                self.assertAlmostEqual(got[str(channel)], value, delta=abs(value) * 1e-9, msg=name)
        self.assertAlmostEqual(average[4], 1.25, places=4)


class HostileClients(unittest.TestCase):
    """Bad requests get their HTTP status or a closed connection, never a stalled SCPI client or
    a lost run."""

    def setUp(self):
        self.server = Server(CLI, device=DEVICE, http=True)
        self.addCleanup(self.server.kill)

    def scpi_answers(self):
        self.assertEqual(ask(self.server.port, "*IDN?"), "SELKORAN,SELKORAN Board,FT7SIM01,1.10")

    def test_unknown_paths_long_headers_and_garbage_get_their_status(self):
        port = self.server.http_port
        self.assertEqual(get(port, "/nothing/here")[0], 404)
        self.assertEqual(get(port, "/download/last.exe")[0], 404)
        self.assertEqual(get(port, "/download/last.csv")[0], 409, "no run yet")
        self.assertEqual(get(port, "/", data=b"x", headers={})[0], 405)
        self.assertEqual(get(port, "/", headers={"X-Long": "a" * 100000})[0], 431)
        self.assertEqual(get(port, "/live/socket")[0], 400, "not a WebSocket handshake")
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall(os.urandom(4096) + b"\r\n\r\n")
            answer = s.recv(100)
            self.assertTrue(answer == b"" or answer.startswith(b"HTTP/1.1 400"), answer)
            self.assertEqual(wait_for(lambda: s.recv(65536) == b"" and "closed", 20, "open"),
                             "closed")
        # Settings out of range, or control without the page's header, change nothing.
        self.assertEqual(control(port, "/control/start?rate=0&filter=sinc5&channel=0"
                                       "&count=1048576")[0], 400)
        self.assertEqual(get(port, "/control/start?rate=0&filter=sinc5&channel=0&count=5",
                             data=b"")[0], 403)
        self.assertEqual(ask(self.server.port, "SAMP:COUN?"), "1000")
        self.scpi_answers()

    def test_a_run_longer_than_a_data_file_holds_is_offered_in_the_other_forms(self):
        port = self.server.http_port
        self.assertEqual(ask(self.server.port, "SAMP:COUN 10001;:INIT;*OPC?", timeout=30), "1")
        status, _, body = get(port, "/download/last.DTA")
        self.assertEqual(status, 409)
        self.assertIn(".DTA ファイルには 10000", body.decode())
        status, _, body = get(port, "/download/last.csv")
        self.assertEqual(status, 200)
        self.assertEqual(sum(1 for line in body.decode().splitlines()
                             if line and not line.startswith("#")), 10002, "header and rows")

    def test_a_websocket_sending_garbage_is_closed_and_one_never_reading_stalls_nothing(self):
        port = self.server.http_port
        garbage = websocket(port)
        garbage.sendall(b"\xf1\x05hello" + os.urandom(1024))  # reserved bits, no mask
        wait_for(lambda: garbage.recv(65536) == b"", 20, "the garbage socket stayed open")
        garbage.close()
        # A page that never reads while the board streams at its top rate.
        sleeper = websocket(port)
        sleeper.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        sleeper.sendall(b"\x81\x8b" + b"\0\0\0\0" + b"columns 800")
        started = time.monotonic()
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=60) as s:
            reader = s.makefile("r")
            s.sendall(b"SENS:VOLT:DC:RATE 31250;:ROUT:SCAN (@0,1);:SAMP:COUN 200000;:INIT\n")
            for _ in range(20):  # answered at once while the run goes on
                asked = time.monotonic()
                s.sendall(b"*IDN?\n")
                self.assertTrue(reader.readline().startswith("SELKORAN"))
                self.assertLess(time.monotonic() - asked, 2.0)
                time.sleep(0.05)
            s.sendall(b"*OPC?\n")
            self.assertEqual(reader.readline().strip(), "1")
            s.sendall(b"SYST:ERR?;:FETC:CODE? 1\n")
        self.assertLess(time.monotonic() - started, 60)
        self.assertEqual(len(ask(self.server.port, "FETC:CODE?", timeout=60).split(",")),
                         400000, "the run lost samples")
        sleeper.close()

    def test_a_hundred_page_loads_at_once_are_answered_and_scpi_keeps_answering(self):
        port = self.server.http_port
        statuses = []

        def load():
            try:
                statuses.append(get(port, "/live", timeout=30)[0])
            except OSError:
                statuses.append("closed")

        threads = [threading.Thread(target=load) for _ in range(100)]
        for thread in threads:
            thread.start()
        self.scpi_answers()
        for thread in threads:
            thread.join(60)
        self.assertEqual(len(statuses), 100)
        self.assertGreaterEqual(statuses.count(200), 90, statuses)
        self.assertEqual(set(statuses) - {200, 503, "closed"}, set())
        self.scpi_answers()


class Password(unittest.TestCase):
    """--http-password-file: refused unless only its owner may read it; then control needs it."""

    def test_password_file_is_checked_at_start_and_asked_for_control(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        path = os.path.join(folder.name, "password")
        with open(path, "w") as f:
            f.write("kanri-2026\n")
        os.chmod(path, 0o644)
        refused = subprocess.run([CLI, "serve", "--device", DEVICE, "--port", "0", "--http-port",
                                  "0", "--no-announce", "--http-password-file", path],
                                 capture_output=True, text=True, timeout=30)
        self.assertEqual(refused.returncode, 1)
        self.assertIn(f"は所有者だけが読めるようにしてください（chmod 600 {path}）",
                      refused.stderr)
        os.chmod(path, 0o600)
        server = Server(CLI, device=DEVICE, http=True, extra=["--http-password-file", path])
        self.addCleanup(server.kill)
        start = "/control/start?rate=3&filter=sinc5&channel=0&count=5"
        self.assertEqual(control(server.http_port, start)[0], 401)
        self.assertEqual(control(server.http_port, start, "kanri-2025")[0], 401)
        self.assertEqual(control(server.http_port, start, "kanri-2026x")[0], 401)
        self.assertEqual(control(server.http_port, start, "kanri-2026")[0], 200)
        self.assertEqual(ask(server.port, "*OPC?;:SAMP:COUN?", timeout=30), "1;5")
        self.assertEqual(len(ask(server.port, "FETC:CODE?").split(",")), 5)


if __name__ == "__main__":
    case = sys.argv[2]
    unittest.main(argv=[sys.argv[0], case, *sys.argv[3:]], verbosity=2)

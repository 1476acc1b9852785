# SPDX-License-Identifier: GPL-3.0-or-later
"""selkoran-cli serve as a separate process on a free loopback port, for the client tests."""

import re
import signal
import socket
import subprocess
import time

PORT_LINE = re.compile(r"SCPI サーバー: .* のポート (\d+) で待ち受けています")
HTTP_PORT_LINE = re.compile(r"Web サーバー: .* のポート (\d+) で待ち受けています")


class Server:
    """The server on the simulated board; stopped by SIGTERM, as a service is. Its web page
    only where `http` is true, on a free port (`http_port`)."""

    def __init__(self, cli, device="sim:seed=7,serial=FT7SIM01", extra=(), announce=False,
                 env=None, http=False):
        arguments = [cli, "serve", "--device", device, "--port", "0", *extra]
        arguments += ["--http-port", "0"] if http else ["--no-http"]
        if not announce:
            arguments.append("--no-announce")
        self.process = subprocess.Popen(arguments, stderr=subprocess.PIPE, text=True, env=env)
        self.lines = []
        while True:
            line = self.process.stderr.readline()
            if not line:
                raise RuntimeError("the server did not start: " + "".join(self.lines))
            self.lines.append(line)
            match = PORT_LINE.search(line)
            if match:
                self.port = int(match.group(1))
            match = HTTP_PORT_LINE.search(line)
            if match:
                self.http_port = int(match.group(1))
            if match or (not http and hasattr(self, "port")):
                break

    def stop(self):
        """SIGTERM; the exit code and what the server said on standard error."""
        self.process.send_signal(signal.SIGTERM)
        _, rest = self.process.communicate(timeout=20)
        return self.process.returncode, "".join(self.lines) + rest

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def ask(port, text, timeout=10.0):
    """One message on a fresh raw socket; the response line without its LF ("" when the
    server closed the connection without one)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        received = b""
        deadline = time.monotonic() + timeout
        try:
            s.sendall(text.encode() + b"\n")
            while not received.endswith(b"\n") and time.monotonic() < deadline:
                chunk = s.recv(65536)
                if not chunk:
                    break
                received += chunk
        except ConnectionResetError:
            pass
        return received.decode(errors="replace").rstrip("\n")

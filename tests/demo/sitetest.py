"""Starting the demo site for a test and talking to it the way the client
does: raw, unescaped GBK bodies, and the exact bytes on the wire when a
test needs them."""

from __future__ import annotations

import hashlib
import http.client
import json
import os
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DEMO_DIR = os.path.join(SOURCE_DIR, "demo")
sys.path.insert(0, DEMO_DIR)

import quellix_codec  # noqa: E402

PYTHON = "/usr/bin/python3"
START_TIMEOUT = 60
STOP_TIMEOUT = 15
CLIENT = "plugins/quellix_client/"


def md5_lower(text: str) -> str:
    return hashlib.md5(text.encode("gbk")).hexdigest()


def gbk(text: str) -> bytes:
    return text.encode("gbk")


class RunningSite:
    """The demo site on free ports with a temporary data folder; stopped
    (and checked to stop cleanly) by stop()."""

    def __init__(self, *options: str, data_dir: str | None = None, own_data: bool = True):
        """`data_dir`: the data folder to use (default: a temporary one of
        the test); `own_data` False lets the site make its own."""
        self.tmp = tempfile.TemporaryDirectory(prefix="quellix-site-test-")
        self.data_dir = data_dir or os.path.join(self.tmp.name, "data")
        data = ["--data", self.data_dir] if own_data else []
        self.process = subprocess.Popen(
            [PYTHON, os.path.join(DEMO_DIR, "demo_site.py"), *data, *options],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.info = json.loads(self._read_line(START_TIMEOUT))
        self.data_dir = self.info["data_dir"]
        assert self.info["event"] == "ready", self.info
        self.site_url = self.info["site_url"]
        self.http_port = self.info["http_port"]
        self.ftp_port = self.info["ftp_port"]
        self.accounts = {a["name"]: a for a in self.info["accounts"]}

    def _read_line(self, timeout: float) -> str:
        deadline = time.monotonic() + timeout
        buffer = b""
        while b"\n" not in buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                self._abandon()
                raise AssertionError("the demo site did not report in time")
            ready, _, _ = select.select([self.process.stdout], [], [], left)
            if ready:
                chunk = os.read(self.process.stdout.fileno(), 4096)
                if not chunk:
                    raise AssertionError("the demo site ended: " + self._abandon())
                buffer += chunk
        return buffer.decode("utf-8").split("\n", 1)[0]

    def _abandon(self) -> str:
        self.process.kill()
        _, err = self.process.communicate(timeout=STOP_TIMEOUT)
        self.tmp.cleanup()
        return err.decode("utf-8", errors="replace")

    def stop(self, how: int = signal.SIGTERM) -> int:
        if self.process.poll() is None:
            self.process.send_signal(how)
        try:
            out, err = self.process.communicate(timeout=STOP_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.communicate()
            raise AssertionError("the demo site did not stop on SIGTERM")
        self.last_output = out.decode("utf-8")
        self.tmp.cleanup()
        return self.process.returncode

    # --- HTTP ------------------------------------------------------------

    def request(self, method: str, path: str | bytes, body: bytes | None = None,
                headers: dict | None = None, version: str = "HTTP/1.0") -> tuple[int, dict, bytes]:
        """A request written as the client writes it (HTTP/1.0, its Accept,
        User-Agent and Host lines); `path` is relative to the site address
        and its bytes go on the wire as they are."""
        head = [method.encode() + b" " + self._target(path) + b" " + version.encode(),
                b"Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*",
                b"User-Agent: quellix-client",
                b"Host: 127.0.0.1:%d" % self.http_port]
        for name, value in (headers or {}).items():
            head.append(name.encode() + b": " + value.encode())
        if body is not None:
            head.append(b"Content-Type: application/x-www-form-urlencoded")
            head.append(b"Content-Length: %d" % len(body))
        return self.exchange(b"\r\n".join(head) + b"\r\n\r\n" + (body or b""), method)

    def exchange(self, data: bytes, method: str = "GET") -> tuple[int, dict, bytes]:
        """Sends raw request bytes and reads one response."""
        with socket.create_connection(("127.0.0.1", self.http_port), timeout=30) as s:
            s.sendall(data)
            response = http.client.HTTPResponse(s, method=method)
            response.begin()
            body = response.read()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, body

    def _target(self, path: str | bytes) -> bytes:
        base = self.site_url.split(f":{self.http_port}", 1)[1].encode("ascii")
        return base + (path if isinstance(path, bytes) else path.encode("latin-1"))

    def post(self, script: str, body: bytes) -> tuple[int, bytes]:
        status, _, data = self.request("POST", CLIENT + script, body)
        return status, data

    def raw(self, data: bytes) -> bytes:
        """Sends bytes on a fresh connection and returns all it gets back
        until the server closes."""
        with socket.create_connection(("127.0.0.1", self.http_port), timeout=30) as s:
            s.sendall(data)
            received = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    return received
                received += chunk

    # --- the client's requests ----------------------------------------

    def login(self, name: str, password: str | None = None) -> list[bytes]:
        password = self.accounts[name]["password"] if password is None else password
        body = b"action=login&username=" + gbk(name) + b"&password=" + md5_lower(password).encode()
        status, data = self.post("client_main.php", body)
        assert status == 200, status
        return lines(data)

    def session(self, name: str) -> tuple[bytes, bytes]:
        """AccountName and AccountToken of a fresh login."""
        reply = self.login(name)
        return reply[0], reply[1]

    def listing(self, user: bytes, token: bytes, folder_id: int, go_back: int = 0) -> tuple[int, list[list[bytes]]]:
        body = (b"action=mydisk&folder_id=%d&goback=%d&username=" % (folder_id, go_back)
                + user + b"&password=" + token)
        status, data = self.post("client_main.php", body)
        return status, [line.split(b"|") for line in lines(data)]

    def download_path(self, file_id, user: bytes, token: bytes) -> bytes:
        return (CLIENT + "client_main.php?action=download&file_id=").encode() + str(file_id).encode() + \
            b"&username=" + user + b"&password=" + token

    def log_entries(self) -> list[dict]:
        with open(self.info["request_log"], encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]


def lines(data: bytes) -> list[bytes]:
    """A reply cut into lines as the client cuts it: at CR LF, CR or LF; a
    final line break adds no empty line."""
    text = data.replace(b"\r\n", b"\n").replace(b"\r", b"\n")
    if text.endswith(b"\n"):
        text = text[:-1]
    return text.split(b"\n") if text else []


class SiteTestCase(unittest.TestCase):
    """One demo site for all tests of a class."""

    site_options: tuple[str, ...] = ("--big-file-mib", "64")

    @classmethod
    def setUpClass(cls):
        cls.site = RunningSite(*cls.site_options)

    @classmethod
    def tearDownClass(cls):
        code = cls.site.stop()
        assert code == 0, f"the demo site ended with {code}"
        assert '"stopped"' in cls.site.last_output

    def find(self, rows: list[list[bytes]], name: str) -> list[bytes]:
        for row in rows:
            if row[0] == gbk(name):
                return row
        self.fail(f"{name} is not listed in {rows}")

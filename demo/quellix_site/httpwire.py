"""HTTP/1.x on the wire: reading one request from a connection and framing
one reply. Plain functions over byte streams, so the server only moves
bytes and the tests can feed them directly."""

from __future__ import annotations

import http
import re
from dataclasses import dataclass, field

MAX_LINE = 16 * 1024
MAX_HEADERS = 100
MAX_BODY = 32 * 1024 * 1024

_VERSION = re.compile(rb"^HTTP/(\d)\.(\d)$")


class BadRequest(Exception):
    """A request that cannot be read; answered with `status` and closed."""

    def __init__(self, status: int, message: str):
        super().__init__(message)
        self.status = status
        self.message = message


@dataclass
class Request:
    method: str
    target: bytes                 # as sent: the client does not escape, so raw GBK bytes and blanks may occur
    version: str                  # "HTTP/1.0" or "HTTP/1.1"
    headers: list[tuple[str, str]] = field(default_factory=list)  # values as latin-1 text
    body: bytes = b""

    def header(self, name: str) -> str | None:
        name = name.lower()
        for key, value in self.headers:
            if key.lower() == name:
                return value
        return None

    @property
    def path(self) -> bytes:
        return self.target.split(b"?", 1)[0]

    @property
    def query(self) -> bytes:
        parts = self.target.split(b"?", 1)
        return parts[1] if len(parts) == 2 else b""

    @property
    def keep_alive(self) -> bool:
        """Only a client that asks for it keeps its connection; a plain
        request, of either version, gets its reply and the close."""
        tokens = [t.strip().lower() for t in (self.header("Connection") or "").split(",")]
        return "keep-alive" in tokens and "close" not in tokens


def _read_line(rfile, too_long_status: int = 431) -> bytes:
    line = rfile.readline(MAX_LINE + 1)
    if len(line) > MAX_LINE:
        raise BadRequest(too_long_status, "line too long")
    return line


def _parse_request_line(line: bytes) -> tuple[str, bytes, str]:
    text = line.rstrip(b"\r\n")
    first = text.find(b" ")
    last = text.rfind(b" ")
    if first <= 0 or last <= first:
        raise BadRequest(400, "malformed request line")
    method = text[:first]
    version = text[last + 1:]
    # Everything between the method and the version is the target: the
    # client's addresses are not escaped and may hold blanks.
    target = text[first + 1:last].strip(b" ")
    match = _VERSION.match(version)
    if not method.isalpha() or not method.isupper() or not target or not match:
        raise BadRequest(400, "malformed request line")
    if match.group(1) != b"1":
        raise BadRequest(505, "HTTP version not supported")
    return method.decode("ascii"), target, version.decode("ascii")


def _read_headers(rfile) -> list[tuple[str, str]]:
    headers: list[tuple[str, str]] = []
    while True:
        line = _read_line(rfile)
        if not line:
            raise BadRequest(400, "connection closed inside the header")
        if line in (b"\r\n", b"\n"):
            return headers
        if line[:1] in (b" ", b"\t") and headers:
            # obsolete line folding (RFC 7230 section 3.2.4): joins the previous value
            name, value = headers[-1]
            headers[-1] = (name, value + " " + line.strip().decode("latin-1"))
            continue
        name, sep, value = line.partition(b":")
        if not sep or not name or name != name.strip():
            raise BadRequest(400, "malformed header line")
        headers.append((name.decode("latin-1"), value.strip().decode("latin-1")))
        if len(headers) > MAX_HEADERS:
            raise BadRequest(431, "too many header lines")


def _read_chunked(rfile) -> bytes:
    body = bytearray()
    while True:
        size_line = _read_line(rfile)
        digits = size_line.split(b";", 1)[0].strip()
        try:
            size = int(digits, 16)
        except ValueError:
            raise BadRequest(400, "bad chunk size") from None
        if size == 0:
            while _read_line(rfile) not in (b"\r\n", b"\n", b""):
                pass  # trailer lines are read and dropped
            return bytes(body)
        if len(body) + size > MAX_BODY:
            raise BadRequest(413, "body too large")
        data = rfile.read(size)
        if len(data) < size:
            raise BadRequest(400, "connection closed inside the body")
        body += data
        _read_line(rfile)


def read_request(rfile, send_continue=None) -> Request | None:
    """Reads one request from a buffered binary stream. None when the peer
    closed (or sent only blank lines) before a request began; BadRequest
    for a request that cannot be understood. `send_continue` is called
    before the body of an HTTP/1.1 request that expects "100 Continue"."""
    line = _read_line(rfile, 414)
    while line in (b"\r\n", b"\n"):  # RFC 7230 section 3.5: blank lines before a request are ignored
        line = _read_line(rfile, 414)
    if not line:
        return None
    method, target, version = _parse_request_line(line)
    request = Request(method, target, version, _read_headers(rfile))

    encoding = (request.header("Transfer-Encoding") or "").strip().lower()
    lengths = {v.strip() for k, v in request.headers if k.lower() == "content-length"}
    if encoding and encoding != "identity":
        if encoding != "chunked":
            raise BadRequest(501, "transfer coding not supported")
        _expect_continue(request, send_continue)
        request.body = _read_chunked(rfile)
    elif lengths:
        if len(lengths) > 1 or not next(iter(lengths)).isdigit():
            raise BadRequest(400, "bad Content-Length")
        length = int(next(iter(lengths)))
        if length > MAX_BODY:
            raise BadRequest(413, "body too large")
        _expect_continue(request, send_continue)
        request.body = rfile.read(length)
        if len(request.body) < length:
            raise BadRequest(400, "connection closed inside the body")
    return request


def _expect_continue(request: Request, send_continue) -> None:
    expect = (request.header("Expect") or "").strip().lower()
    if expect == "100-continue" and request.version == "HTTP/1.1" and send_continue:
        send_continue()


def reason(status: int) -> str:
    try:
        return http.HTTPStatus(status).phrase
    except ValueError:
        return "Unknown"


def reply_head(status: int, headers: list[tuple[str, bytes | str]], length: int, keep_alive: bool) -> bytes:
    """The status line and header block of a reply; Content-Length always
    stands in it, so every reply is framed the same way."""
    lines = [b"HTTP/1.1 %d %s" % (status, reason(status).encode("ascii"))]
    for name, value in headers:
        if isinstance(value, str):
            value = value.encode("latin-1")
        lines.append(name.encode("ascii") + b": " + value)
    lines.append(b"Content-Length: %d" % length)
    lines.append(b"Connection: " + (b"keep-alive" if keep_alive else b"close"))
    return b"\r\n".join(lines) + b"\r\n\r\n"


UNSATISFIABLE = "unsatisfiable"


def parse_range(value: str | None, length: int):
    """The byte range a Range header asks of a document of `length` bytes,
    by RFC 7233 section 2.1: None to send the whole document (no header,
    another unit, a malformed or a multi-part request, which a server may
    ignore), (first, last) inclusive, or UNSATISFIABLE. A last position
    beyond the document means its end; the client's last range names the
    document length itself, one past the last byte."""
    if value is None:
        return None
    unit, sep, ranges_text = value.partition("=")
    if not sep or unit.strip().lower() != "bytes":
        return None
    ranges = [r.strip() for r in ranges_text.split(",") if r.strip()]
    if len(ranges) != 1:
        return None
    first_text, dash, last_text = ranges[0].partition("-")
    first_text, last_text = first_text.strip(), last_text.strip()
    if not dash or (first_text and not first_text.isdigit()) or (last_text and not last_text.isdigit()):
        return None
    if not first_text:
        if not last_text:
            return None
        suffix = int(last_text)
        if suffix == 0 or length == 0:
            return UNSATISFIABLE
        return max(0, length - suffix), length - 1
    first = int(first_text)
    if last_text and int(last_text) < first:
        return None
    if first >= length:
        return UNSATISFIABLE
    last = int(last_text) if last_text else length - 1
    return first, min(last, length - 1)

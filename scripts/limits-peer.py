#!/usr/bin/python3
"""The server side of scripts/bench-limits: serves a transfer and measures its
rate where it arrives or leaves, every 50 ms.

  limits-peer.py http FILE SAMPLES    serves FILE over HTTP with byte ranges
  limits-peer.py ftp DIR SAMPLES      an FTP server (pyftpdlib) storing into DIR
  limits-peer.py windows SAMPLES CAP  the rate of every 10 s window of SAMPLES

The servers listen on 127.0.0.1 (a free port, printed as "PORT <n>") until
their standard input closes, and append "<seconds> <bytes>" lines to SAMPLES:
the bytes so far that the client has taken. For HTTP that is what the client's
system acknowledged (sent minus the socket's unacknowledged queue, TIOCOUTQ),
so that the server's own send buffer does not count; for FTP, what the server
has read. "windows" prints the lowest and highest rate over all 10-second
windows between the first and the last byte, as a share of CAP (bytes/s).
"""
import fcntl
import os
import socket
import struct
import sys
import termios
import threading
import time

SAMPLE_SECONDS = 0.05
WINDOW_SECONDS = 10.0


class Counter:
    """Bytes the client has taken so far, summed over connections."""

    def __init__(self):
        self.lock = threading.Lock()
        self.done = 0
        self.live = {}  # socket -> bytes handed to the system

    def taken(self):
        with self.lock:
            total = self.done
            for sock, sent in self.live.items():
                try:
                    queued = struct.unpack("i", fcntl.ioctl(sock, termios.TIOCOUTQ, b"\0\0\0\0"))[0]
                except OSError:
                    queued = 0
                total += max(0, sent - queued)
            return total


def sampler(counter_fn, path, stop):
    start = None
    with open(path, "a") as out:
        while not stop.is_set():
            now = time.monotonic()
            taken = counter_fn()
            if taken > 0 and start is None:
                start = now
            if start is not None:
                out.write("%.3f %d\n" % (now - start, taken))
                out.flush()
            time.sleep(SAMPLE_SECONDS)


def serve_http(path, samples):
    data = open(path, "rb").read()
    counter = Counter()
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(64)

    def handle(conn):
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 32768)
        head = b""
        while b"\r\n\r\n" not in head:
            piece = conn.recv(4096)
            if not piece:
                conn.close()
                return
            head += piece
        lines = head.split(b"\r\n")
        first, last = 0, len(data) - 1
        status = b"200 OK"
        for line in lines[1:]:
            if line.lower().startswith(b"range: bytes="):
                spec = line.split(b"=", 1)[1]
                a, _, b = spec.partition(b"-")
                first = int(a)
                last = min(int(b), len(data) - 1) if b else len(data) - 1
                status = b"206 Partial Content"
        length = last - first + 1
        reply = b"HTTP/1.1 " + status + b"\r\nContent-Length: %d\r\nAccept-Ranges: bytes\r\n" % length
        if status.startswith(b"206"):
            reply += b"Content-Range: bytes %d-%d/%d\r\n" % (first, last, len(data))
        reply += b"Connection: close\r\n\r\n"
        conn.sendall(reply)
        sent = 0
        with counter.lock:
            counter.live[conn] = 0
        try:
            view = memoryview(data)[first:last + 1]
            while sent < length:
                n = conn.send(view[sent:sent + 65536])
                sent += n
                with counter.lock:
                    counter.live[conn] = sent
            # Wait until the client took everything (or went away).
            while struct.unpack("i", fcntl.ioctl(conn, termios.TIOCOUTQ, b"\0\0\0\0"))[0] > 0:
                time.sleep(0.01)
        except OSError:
            pass
        with counter.lock:
            acked = counter.live.pop(conn, 0)
            try:
                queued = struct.unpack("i", fcntl.ioctl(conn, termios.TIOCOUTQ, b"\0\0\0\0"))[0]
            except OSError:
                queued = 0
            counter.done += max(0, acked - queued)
        conn.close()

    def accept():
        while True:
            conn, _ = server.accept()
            threading.Thread(target=handle, args=(conn,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return server.getsockname()[1], counter.taken


def serve_ftp(folder, samples):
    import logging
    logging.basicConfig(level=logging.WARNING)
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler
    from pyftpdlib.servers import FTPServer

    received = [0]
    lock = threading.Lock()

    class CountingDTP(DTPHandler):
        def handle_read(self):
            before = self.tot_bytes_received
            super().handle_read()
            with lock:
                received[0] += self.tot_bytes_received - before

        handle_read_event = handle_read  # DTPHandler binds its own under this name

    authorizer = DummyAuthorizer()
    authorizer.add_user("bench", "bench", folder, perm="elradfmwMT")
    handler = type("Handler", (FTPHandler,), {"authorizer": authorizer, "dtp_handler": CountingDTP})
    server = FTPServer(("127.0.0.1", 0), handler)
    server.max_cons = 64
    threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.05}, daemon=True).start()

    def taken():
        with lock:
            return received[0]

    return server.address[1], taken


def windows(samples, cap):
    points = []
    for line in open(samples):
        t, b = line.split()
        points.append((float(t), int(b)))
    if not points:
        print("no samples")
        return 1
    total = points[-1][1]
    end = next(t for t, b in points if b >= total)
    rates = []
    j = 0
    for i, (t, b) in enumerate(points):
        if t + WINDOW_SECONDS > end:
            break
        while j < len(points) and points[j][0] < t + WINDOW_SECONDS:
            j += 1
        if j >= len(points):
            break
        # Interpolate the bytes at exactly t + 10 s.
        t0, b0 = points[j - 1]
        t1, b1 = points[j]
        at = b0 + (b1 - b0) * ((t + WINDOW_SECONDS - t0) / (t1 - t0) if t1 > t0 else 0)
        rates.append((at - b) / WINDOW_SECONDS)
    if not rates:
        print("transfer shorter than one window (%.1f s)" % end)
        return 1
    low, high = min(rates), max(rates)
    print("windows %d  min %+.2f%%  max %+.2f%%  (min %.0f B/s, max %.0f B/s, cap %d B/s, %.1f s)"
          % (len(rates), (low / cap - 1) * 100, (high / cap - 1) * 100, low, high, cap, end))
    return 0


def main():
    mode = sys.argv[1]
    if mode == "windows":
        return windows(sys.argv[2], float(sys.argv[3]))
    target, samples = sys.argv[2], sys.argv[3]
    port, taken = serve_http(target, samples) if mode == "http" else serve_ftp(target, samples)
    stop = threading.Event()
    threading.Thread(target=sampler, args=(taken, samples, stop), daemon=True).start()
    print("PORT %d" % port, flush=True)
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except (OSError, ValueError):
        pass
    stop.set()
    time.sleep(2 * SAMPLE_SECONDS)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""A real FTP server for tests and benchmarks: pyftpdlib on 127.0.0.1.

usage: pyftpserver.py --home DIR [--user NAME] [--password WORD] [--port N]

Listens on 127.0.0.1 (port 0: a free port chosen by the system; passive data
ports likewise), prints "PORT <n>" on standard output once it accepts
connections, and stops cleanly on SIGTERM or SIGINT or when its standard
input is closed (so that it never outlives the test that started it).
Runs with Debian's /usr/bin/python3, which has python3-pyftpdlib.
"""
import argparse
import logging
import signal
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", default="quellix")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "Quellix test FTP server ready."
    # A refused log-in is answered after this delay (seconds).
    Handler.auth_failed_timeout = 0.2

    server = FTPServer(("127.0.0.1", args.port), Handler)
    stop = threading.Event()

    def request_stop(*_):
        stop.set()

    signal.signal(signal.SIGTERM, request_stop)
    signal.signal(signal.SIGINT, request_stop)

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        except (OSError, ValueError):
            pass
        stop.set()

    threading.Thread(target=watch_stdin, daemon=True).start()

    print("PORT %d" % server.address[1], flush=True)
    try:
        while not stop.is_set():
            server.serve_forever(timeout=0.2, blocking=False, handle_exit=False)
    finally:
        server.close_all()
    return 0


if __name__ == "__main__":
    sys.exit(main())

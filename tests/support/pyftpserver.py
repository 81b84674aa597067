#!/usr/bin/python3
"""A real FTP server for tests and benchmarks: pyftpdlib on 127.0.0.1.

usage: pyftpserver.py --home DIR [--user NAME] [--password WORD] [--port N]
                      [--tls-cert PEM --tls-key PEM [--tls-required]]
                      [--command-log FILE] [--reply N:VERB:TEXT]... [--only-from ADDRESS]
                      [--max-cons-per-ip N]

Listens on 127.0.0.1 (port 0: a free port chosen by the system; passive data
ports likewise), prints "PORT <n>" on standard output once it accepts
connections, and stops cleanly on SIGTERM or SIGINT or when its standard
input is closed (so that it never outlives the test that started it).
Runs with Debian's /usr/bin/python3, which has python3-pyftpdlib.

With --tls-cert the server offers explicit TLS (AUTH TLS, PBSZ, PROT) with
that certificate and key, and takes plain text as well; --tls-required makes
it refuse USER and PASS without TLS and data connections without PROT P
(python3-openssl). --command-log appends every command line received to FILE,
so that a test sees what reached the server. --reply N:VERB:TEXT answers VERB
on the N-th control connection (1 for the first) with the reply line TEXT
instead of carrying it out: a fault scripted for one connection of a real
server (a refused AUTH TLS, a broken STOR). --only-from refuses control and
data connections from any other peer address (a test that puts a proxy
between shows this way that nothing went around it). --max-cons-per-ip N
greets a client's connections beyond N with "421 Too many connections" and
closes them, as servers that limit sessions do.
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
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--tls-required", action="store_true")
    parser.add_argument("--command-log")
    parser.add_argument("--reply", action="append", default=[])
    parser.add_argument("--only-from")
    parser.add_argument("--max-cons-per-ip", type=int, default=0)
    args = parser.parse_args()

    scripted = {}
    for item in args.reply:
        number, verb, text = item.split(":", 2)
        scripted[(int(number), verb.upper())] = text
    connections = [0]

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")

    base = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_FTPHandler
        base = TLS_FTPHandler

    class Handler(base):
        def on_connect(self):
            connections[0] += 1
            self.connection_number = connections[0]
            return super().on_connect()

        def handle(self):
            if args.only_from and self.remote_ip != args.only_from:
                self.respond("421 Connections from %s are refused here." % self.remote_ip)
                self.close_when_done()
                return
            super().handle()

        def pre_process_command(self, line, cmd, arg):
            if args.command_log:
                with open(args.command_log, "a", encoding="utf-8", errors="replace") as log:
                    log.write(line + "\n")
            reply = scripted.get((self.connection_number, cmd))
            if reply is not None:
                self.respond(reply)
                return None
            return super().pre_process_command(line, cmd, arg)

    if args.tls_cert:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key or args.tls_cert
        Handler.tls_control_required = args.tls_required
        Handler.tls_data_required = args.tls_required

    Handler.authorizer = authorizer
    Handler.banner = "Quellix test FTP server ready."
    # A refused log-in is answered after this delay (seconds).
    Handler.auth_failed_timeout = 0.2

    server = FTPServer(("127.0.0.1", args.port), Handler)
    server.max_cons_per_ip = args.max_cons_per_ip
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

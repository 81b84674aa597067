"""The site's FTP server: pyftpdlib on loopback with one FTP account per
site account, each with its own home and upload folder. Every command and
reply line goes to a JSON-lines log, so tests can assert the dialogue.

With a certificate the server speaks explicit FTP over TLS (AUTH TLS, PBSZ,
PROT; python3-openssl) and requires it on the control and the data
connections."""

from __future__ import annotations

import itertools
import json
import logging
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

from .store import Store

_sessions = itertools.count(1)


class FtpLog:
    def __init__(self, path: str):
        self.path = path
        self.lock = threading.Lock()
        open(path, "a").close()

    def write(self, session: int, direction: str, line: str) -> None:
        # "clock" (seconds since the epoch, to the microsecond) lets a
        # benchmark take the time between commands from the server's side.
        now = time.time()
        entry = {"time": time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(now)), "clock": round(now, 6),
                 "session": session, "dir": direction, "line": line}
        with self.lock, open(self.path, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")


class LoggedHandler(FTPHandler):
    dialogue_log: FtpLog | None = None
    banner = "Quellix demo FTP server ready."
    # Active mode connects back only to the client's own address (loopback here).
    permit_foreign_addresses = False
    # Refuses control connections (and so data connections) from other peers.
    only_from: str | None = None

    def __init__(self, conn, server, ioloop=None):
        self.session = next(_sessions)
        super().__init__(conn, server, ioloop)

    def decode(self, data: bytes) -> str:
        # The client is a GBK program; other clients usually speak UTF-8.
        try:
            return data.decode("utf8")
        except UnicodeDecodeError:
            return data.decode("gbk", errors="replace")

    def handle(self):
        if self.only_from and self.remote_ip != self.only_from:
            self.respond("421 Connections from %s are refused here." % self.remote_ip)
            self.close_when_done()
            return
        super().handle()

    def pre_process_command(self, line, cmd, arg):
        if self.dialogue_log:
            self.dialogue_log.write(self.session, "in", line)
        return super().pre_process_command(line, cmd, arg)

    def respond(self, resp, logfun=logging.getLogger("pyftpdlib").debug):
        if self.dialogue_log:
            self.dialogue_log.write(self.session, "out", resp)
        return super().respond(resp, logfun)


def make_server(store: Store, port: int, log: FtpLog, server_log_path: str,
                tls_cert: str | None = None, tls_key: str | None = None,
                only_from: str | None = None) -> FTPServer:
    logger = logging.getLogger("pyftpdlib")
    logger.propagate = False
    logger.setLevel(logging.INFO)
    logger.addHandler(logging.FileHandler(server_log_path, encoding="utf-8"))

    authorizer = DummyAuthorizer()
    for account in store.accounts.values():
        authorizer.add_user(account.ftp_user, account.ftp_password, store.ftp_home(account), perm="elradfmwMT")
    bases: tuple = (LoggedHandler,)
    attributes = {"authorizer": authorizer, "dialogue_log": log, "only_from": only_from}
    if tls_cert:
        from pyftpdlib.handlers import TLS_FTPHandler
        bases = (LoggedHandler, TLS_FTPHandler)
        attributes.update(certfile=tls_cert, keyfile=tls_key or tls_cert,
                          tls_control_required=True, tls_data_required=True)
    handler = type("SiteFtpHandler", bases, attributes)
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 64
    return server

"""The HTTP side of the demo site: a small threaded server that routes the
site's scripts and pages, the upload registration scripts and the skin
server, frames every reply with Content-Length, serves file bodies with
byte ranges, and writes one JSON line per request to the request log."""

from __future__ import annotations

import base64
import binascii
import hashlib
import json
import os
import re
import socket
import socketserver
import threading
import time
from email.utils import formatdate

from . import forms, pages
from .actions import Reply, SiteActions
from .httpwire import UNSATISFIABLE, BadRequest, parse_range, read_request, reply_head
from .siteconfig import SiteConfig
from .store import Store, size_text

IDLE_TIMEOUT = 30
SCRIPT_METHODS = ("GET", "HEAD", "POST")
PAGE_METHODS = ("GET", "HEAD")
KNOWN_METHODS = {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "TRACE", "CONNECT", "PATCH"}
HTML = "text/html; charset=gbk"
FILE_PAGE = re.compile(rb"^file-(\d+)\.html$")
CLIENT_DIR = b"plugins/quellix_client/"


class RequestLog:
    """One JSON line per request: what arrived (the body both as GBK text
    and as exact bytes in hex) and the status it was answered with."""

    def __init__(self, path: str):
        self.path = path
        self.lock = threading.Lock()
        open(path, "a").close()

    def write(self, port: int, request, status: int, length: int, error: str = "") -> None:
        entry = {"time": time.strftime("%Y-%m-%d %H:%M:%S"), "client_port": port}
        if request is not None:
            entry.update({
                "method": request.method,
                "target": request.target.decode("gbk", errors="replace"),
                "target_hex": request.target.hex(),
                "path": request.path.decode("gbk", errors="replace"),
                "query": request.query.decode("gbk", errors="replace"),
                "version": request.version,
                "headers": [[k, v] for k, v in request.headers],
                "body": request.body.decode("gbk", errors="replace"),
                "body_hex": request.body.hex(),
            })
        entry.update({"status": status, "length": length})
        if error:
            entry["error"] = error
        line = json.dumps(entry, ensure_ascii=False) + "\n"
        with self.lock, open(self.path, "a", encoding="utf-8") as f:
            f.write(line)


def _base(path: str) -> bytes:
    """An address path as a base: "/" at both ends."""
    return ("/" + path.strip("/") + "/").replace("//", "/").encode("ascii")


class Site:
    """Routes requests to the site's scripts and pages."""

    def __init__(self, store: Store, config: SiteConfig, log: RequestLog,
                 site_path: str = "/", register_path: str = "/", vendor_path: str = "/vendor/"):
        self.store = store
        self.config = config
        self.actions = SiteActions(store, config)
        self.log = log
        self.site_base = _base(site_path)
        self.register_base = _base(register_path)
        self.vendor_base = _base(vendor_path)

    def route(self, request) -> Reply:
        if request.method not in KNOWN_METHODS:
            return self._text(501, "Not Implemented")
        path = forms.percent_decode(request.path)
        for base, handler in ((self.vendor_base, self._vendor), (self.register_base, self._register),
                              (self.site_base, self._site)):
            if path.startswith(base) or path + b"/" == base:
                reply = handler(request, path[len(base):])
                if reply is not None:
                    return reply
        return self._page(404, pages.message(self.config.site_name, "页面不存在", "您访问的页面不存在或已被删除。"))

    # --- helpers -----------------------------------------------------

    @staticmethod
    def _text(status: int, text: str) -> Reply:
        return Reply(status, (text + "\r\n").encode("gbk"))

    @staticmethod
    def _page(status: int, body: bytes) -> Reply:
        return Reply(status, body, HTML)

    @staticmethod
    def _refuse_method(request, allowed) -> Reply | None:
        if request.method in allowed:
            return None
        reply = Site._text(405, "Method Not Allowed")
        reply.headers.append(("Allow", ", ".join(allowed)))
        return reply

    def _fields(self, request) -> dict[str, bytes]:
        fields = forms.parse_form(request.query)
        if request.method == "POST":
            fields.update(forms.parse_form(request.body))
        return fields

    # --- the site ----------------------------------------------------

    def _site(self, request, rel: bytes) -> Reply | None:
        if rel == CLIENT_DIR + b"client_main.php":
            whole = request.method == "GET" and request.header("Range") is None
            return self._refuse_method(request, SCRIPT_METHODS) or \
                self.actions.client_main(self._fields(request), whole)
        if rel == CLIENT_DIR + b"client_sub.php" and self.register_base == self.site_base:
            return self._register(request, rel)
        if rel == CLIENT_DIR + b"passport.php":
            return self._refuse_method(request, PAGE_METHODS) or self._passport(request)
        pages_here = {
            b"": lambda: pages.index(self.config.site_name, self.config.site_url, self.store.accounts.values()),
            b"index.html": lambda: pages.index(self.config.site_name, self.config.site_url,
                                               self.store.accounts.values()),
            b"news.html": pages.news,
            b"about.html": lambda: pages.about(self.config.site_name),
        }
        if rel == b"about.html" and request.method == "GET" and self.config.about_delay > 0:
            time.sleep(self.config.about_delay)
        if rel in pages_here:
            return self._refuse_method(request, PAGE_METHODS) or self._page(200, pages_here[rel]())
        if rel == b"account.php":
            return self._refuse_method(request, PAGE_METHODS) or self._account_page(request)
        match = FILE_PAGE.match(rel)
        if match:
            return self._refuse_method(request, PAGE_METHODS) or self._file_page(request, int(match.group(1)))
        return None

    def _register(self, request, rel: bytes) -> Reply | None:
        if rel != CLIENT_DIR + b"client_sub.php":
            return None
        return self._refuse_method(request, SCRIPT_METHODS) or self.actions.client_sub(self._fields(request))

    def _passport(self, request) -> Reply:
        name = self.config.site_name
        query = request.query
        if b"%" in query:  # a browser may have escaped the Base64 text
            query = forms.percent_decode(query)
        try:
            text = base64.b64decode(query.strip() + b"=" * (-len(query.strip()) % 4), validate=True)
        except (binascii.Error, ValueError):
            return self._page(400, pages.passport_refused(name, "链接参数无法识别。"))
        fields = forms.parse_form(text, {"action", "username", "password", "sign"})
        user, token = fields.get("username", b""), fields.get("password", b"")
        if fields.get("action") != b"passportlogin" or not user or not token:
            return self._page(400, pages.passport_refused(name, "链接参数不完整。"))
        sign = hashlib.md5(b"passportlogin" + user + token).hexdigest().upper().encode("ascii")
        if fields.get("sign") != sign:
            return self._page(403, pages.passport_refused(name, "链接签名错误。"))
        account = self.store.check(forms.text(user), forms.text(token))
        if account is None:
            return self._page(403, pages.passport_refused(name, "登录已失效。"))
        files, folders, used = self.store.usage(account.name)
        return self._page(200, pages.passport(name, self.config.site_url, account.name, files, folders,
                                              size_text(used)))

    def _account_page(self, request) -> Reply:
        action = forms.parse_form(request.query, {"action"}).get("action")
        if action == b"register":
            return self._page(200, pages.register(self.config.site_name, self.config.site_url))
        if action == b"forget_pwd":
            return self._page(200, pages.forget_password(self.config.site_name, self.config.site_url))
        return self._page(404, pages.message(self.config.site_name, "页面不存在", "未知的帐号操作。"))

    def _file_page(self, request, file_id: int) -> Reply:
        node = self.store.file(file_id)
        if node is None:
            return self._page(404, pages.message(self.config.site_name, "文件不存在", "该文件不存在或已被删除。"))
        if request.method == "GET":
            self.store.count(node, "views")
        return self._page(200, pages.file_info(self.config.site_name, node, size_text(node.size)))

    # --- the skin server ---------------------------------------------

    def _vendor(self, request, rel: bytes) -> Reply | None:
        if rel == b"":
            version = forms.text(forms.parse_form(request.query, {"cl_ver"}).get("cl_ver"))
            return self._refuse_method(request, PAGE_METHODS) or self._page(200, pages.vendor_home(version))
        if rel != b"plugins/getskin.php":
            return None
        refused = self._refuse_method(request, PAGE_METHODS)
        if refused:
            return refused
        fields = forms.parse_form(request.query, {"action", "skin_id"})
        kinds = {b"downskin": (".skn", "application/octet-stream"), b"downimg": (".jpg", "image/jpeg")}
        if fields.get("action") not in kinds:
            return self._text(400, "unknown action")
        extension, content_type = kinds[fields["action"]]
        name = forms.text(fields.get("skin_id"))
        path = os.path.join(self.config.skins_dir, name + extension)
        # A name is one file of the skins folder, never a way out of it.
        if (not name or name in (".", "..") or any(c in name for c in "/\\\0")
                or not self.config.skins_dir or not os.path.isfile(path)):
            return self._text(404, "skin not found")
        return Reply(200, file=(path, 0, os.path.getsize(path)), content_type=content_type)


def with_range(reply: Reply, request) -> Reply:
    """A whole-file reply narrowed to the byte range the request asks for."""
    if reply.file is None or reply.status != 200:
        return reply
    path, _, length = reply.file
    reply.headers.append(("Accept-Ranges", "bytes"))
    wanted = None if request.header("If-Range") else parse_range(request.header("Range"), length)
    if wanted == UNSATISFIABLE:
        return Reply(416, b"", "text/plain; charset=gbk", [("Content-Range", f"bytes */{length}")])
    if wanted is not None:
        first, last = wanted
        reply.status = 206
        reply.file = (path, first, last - first + 1)
        reply.headers.append(("Content-Range", f"bytes {first}-{last}/{length}"))
    return reply


class Connection(socketserver.StreamRequestHandler):
    """One client connection: requests are answered in turn until one does
    not ask to keep the connection."""

    def handle(self) -> None:
        self.connection.settimeout(IDLE_TIMEOUT)
        site: Site = self.server.site
        port = self.client_address[1]
        while True:
            try:
                request = read_request(self.rfile, lambda: self.wfile.write(b"HTTP/1.1 100 Continue\r\n\r\n"))
            except BadRequest as error:
                site.log.write(port, None, error.status, 0, error.message)
                self._send(Reply(error.status, (error.message + "\r\n").encode("ascii")), False, False)
                return
            except (OSError, ValueError):
                return
            if request is None:
                return
            try:
                reply = with_range(site.route(request), request)
            except Exception as error:  # a fault in a script answers 500; the server goes on
                reply = Reply(500, b"Internal Server Error\r\n")
                site.log.write(port, request, 500, 0, repr(error))
            else:
                length = reply.file[2] if reply.file else len(reply.body)
                site.log.write(port, request, reply.status, length)
            keep_alive = request.keep_alive
            if not self._send(reply, request.method == "HEAD", keep_alive) or not keep_alive:
                return

    def _send(self, reply: Reply, head_only: bool, keep_alive: bool) -> bool:
        length = reply.file[2] if reply.file else len(reply.body)
        headers = [("Server", "QuellixDemo/1.0"), ("Date", formatdate(usegmt=True)),
                   ("Content-Type", reply.content_type)] + reply.headers
        try:
            self.wfile.write(reply_head(reply.status, headers, length, keep_alive))
            if head_only:
                return True
            if reply.file:
                path, offset, count = reply.file
                rate = self.server.site.config.download_rate
                with open(path, "rb") as f:
                    if count and rate > 0:
                        self._send_slowly(f, offset, count, rate)
                    elif count:
                        self.connection.sendfile(f, offset, count)
            else:
                self.wfile.write(reply.body)
            return True
        except OSError:
            # The client went away, as the downloader's size probe does on
            # purpose once it has the headers.
            return False


    def _send_slowly(self, f, offset: int, count: int, rate: int) -> None:
        """The body at `rate` bytes per second: a tenth of a second's worth
        at a time, each piece when its time has come."""
        piece = max(1, rate // 10)
        started = time.monotonic()
        sent = 0
        while sent < count:
            size = min(piece, count - sent)
            sent += self.connection.sendfile(f, offset + sent, size)
            ahead = sent / rate - (time.monotonic() - started)
            if ahead > 0:
                time.sleep(ahead)


class SiteServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, site: Site, only_from: str | None = None):
        self.site = site
        self.only_from = only_from
        super().__init__(address, Connection)

    def verify_request(self, request, client_address) -> bool:
        # With only_from, a connection from any other address is closed
        # unanswered: a test shows so that its client went through a proxy.
        return not self.only_from or client_address[0] == self.only_from

    def handle_error(self, request, client_address) -> None:
        pass  # a dropped connection is the client's business, not a server fault

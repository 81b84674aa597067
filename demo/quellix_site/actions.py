"""The site's client scripts: client_main.php (login, loadset, mydisk,
download) and client_sub.php (postlist, update, resume). Each action takes
the request's fields and gives a reply; replies are GBK lines ended by
CR LF."""

from __future__ import annotations

from dataclasses import dataclass, field
from urllib.parse import quote

from . import forms
from .siteconfig import SiteConfig, settings_frame
from .store import Account, Node, Store

INT32_MAX = 2147483647
LOGIN_REFUSED = "用户名或密码错误"
LOGIN_INCOMPLETE = "请输入用户名和密码"
NOT_SIGNED_IN = "false|用户验证失败，请重新登录"


@dataclass
class Reply:
    status: int
    body: bytes = b""
    content_type: str = "text/plain; charset=gbk"
    headers: list[tuple[str, str]] = field(default_factory=list)
    # When set, the body is this file (path, first byte, byte count) instead of `body`.
    file: tuple[str, int, int] | None = None


def lines(*texts: str) -> Reply:
    return Reply(200, "".join(t + "\r\n" for t in texts).encode("gbk", errors="replace"))


def refusal(status: int, text: str) -> Reply:
    return Reply(status, (text + "\r\n").encode("gbk", errors="replace"))


def _item(text: str) -> str:
    """A text as one item of a reply line: no "|" and no line break."""
    return text.replace("|", "_").replace("\r", " ").replace("\n", " ")


def listing_line(node: Node) -> str:
    """Name|Size|Type|IsFolder|Id|Created|Views|Downloads. No field may be
    empty: the client drops empty fields and would read the rest shifted.
    The client reads Size as a signed 32-bit number, so a larger file is
    reported at that limit rather than breaking the whole listing."""
    size = 0 if node.folder else min(node.size, INT32_MAX)
    kind = "文件夹" if node.folder else node.kind
    return "|".join([_item(node.name) or "_", str(size), kind, "1" if node.folder else "0", str(node.id),
                     node.created or "-", str(node.views), str(node.downloads)])


def big_listing(rows: int, folder_id: int) -> bytes:
    """The listing of the generated big folder: `rows` file lines whose ids
    follow the folder's own id far above the store's, so no real entry is
    named. Built as bytes at once, as a listing of 100,000 rows should be."""
    base = folder_id * 1_000_000
    body = "".join(f"文件 {i:06d}.txt|{1000 + i}|txt|0|{base + i}|2024-01-01 00:00|{i % 100}|{i % 7}\r\n"
                   for i in range(1, rows + 1))
    return body.encode("gbk")


def parse_file_list(fl: bytes) -> list[dict]:
    """The entries "remote>size>name>folder|" of a postlist. Entries that
    cannot be taken back into a resume list are left out: a remote name
    that is not a plain file name, a size that is not a count (the client
    announces a missing file with a negative one), an empty name or folder."""
    entries = []
    for piece in fl.split(b"|"):
        if not piece:
            continue
        parts = piece.split(b">")
        if len(parts) != 4:
            continue
        remote, size, name, folder = (forms.text(p) for p in parts)
        number = forms.parse_int(parts[1])
        if (not remote or remote in (".", "..") or any(c in remote for c in "/\\\0")
                or number is None or number < 0 or not name.strip() or not folder.strip()):
            continue
        entries.append({"remote": remote, "size": number, "name": name, "folder": folder})
    return entries


class SiteActions:
    def __init__(self, store: Store, config: SiteConfig):
        self.store = store
        self.config = config

    def _account(self, fields: dict[str, bytes]) -> Account | None:
        return self.store.check(forms.text(fields.get("username")), forms.text(fields.get("password")))

    # --- client_main.php ---------------------------------------------

    def client_main(self, fields: dict[str, bytes], whole_download: bool = False) -> Reply:
        """`whole_download`: a GET of a whole file, which counts as one download
        (the client's ranged GETs of the same download do not)."""
        action = forms.text(fields.get("action"))
        handler = {"login": self.login, "loadset": self.loadset, "mydisk": self.mydisk}.get(action)
        if handler:
            return handler(fields)
        if action == "download":
            return self.download(fields, whole_download)
        return refusal(400, "未知的操作")

    def login(self, fields: dict[str, bytes]) -> Reply:
        name = forms.text(fields.get("username"))
        digest = forms.text(fields.get("password"))
        if not name or not digest:
            return lines(LOGIN_INCOMPLETE)
        account = self.store.login(name, digest)
        if account is None:
            return lines(LOGIN_REFUSED)
        return lines(account.name, account.tokens[-1], account.debug)

    def loadset(self, fields: dict[str, bytes]) -> Reply:
        account = self._account(fields)
        if account is None:
            return lines(NOT_SIGNED_IN)
        text = self.config.settings_text(account.ftp_user, account.ftp_password, self.store.ftp_base_dir)
        return lines("true|" + self.store.ftp_dir_suffix, self.config.register_url,
                     settings_frame(text).decode("ascii"))

    def mydisk(self, fields: dict[str, bytes]) -> Reply:
        account = self._account(fields)
        if account is None:
            return refusal(403, NOT_SIGNED_IN)
        # Missing numbers mean the root and no going back; malformed ones are refused.
        folder_id = forms.parse_int(fields["folder_id"]) if "folder_id" in fields else 0
        go_back = forms.parse_int(fields["goback"]) if "goback" in fields else 0
        if folder_id is None or folder_id < 0 or go_back is None:
            return refusal(400, "false|目录编号错误")
        if go_back:
            # Back from a folder that is gone (or from the root) shows the root.
            folder_id = self.store.parent_of(account.name, folder_id)
        elif not self.store.is_folder(account.name, folder_id):
            return refusal(404, "false|目录不存在")
        if folder_id and folder_id == self.config.big_folder_id:
            return Reply(200, big_listing(self.config.big_folder_rows, folder_id))
        return lines(*[listing_line(n) for n in self.store.children(account.name, folder_id)])

    def download(self, fields: dict[str, bytes], whole_download: bool) -> Reply:
        """The file's bytes; 404 alike for wrong credentials and for an id
        that is not one of the account's files, so neither gives away the other."""
        account = self._account(fields)
        node = self.store.file(forms.parse_int(fields.get("file_id"), -1))
        if account is None or node is None or node.owner != account.name:
            return refusal(404, "文件不存在")
        if whole_download:
            self.store.count(node, "downloads")
        return Reply(200, file=(self.store.file_path(node), 0, node.size),
                     content_type="application/octet-stream",
                     headers=[("Content-Disposition", "attachment; filename*=UTF-8''" + quote(node.name, safe=""))])

    # --- client_sub.php ----------------------------------------------

    def client_sub(self, fields: dict[str, bytes]) -> Reply:
        action = forms.text(fields.get("action"))
        if action not in ("postlist", "update", "resume"):
            return refusal(400, "未知的操作")
        account = self._account(fields)
        if account is None:
            return lines(NOT_SIGNED_IN)
        if action == "postlist":
            entries = parse_file_list(fields.get("fl") or b"")
            if not entries:
                return lines("false|上传列表为空或格式错误")
            self.store.announce(account, entries, forms.parse_int(fields.get("folder_id"), 0))
            return lines("postlist")
        if action == "update":
            self.store.take_uploads(account)
            return lines("update")
        waiting = ["|".join([_item(e["name"]), str(min(e["size"], INT32_MAX)), _item(e["folder"])])
                   for e in self.store.incomplete(account)]
        return lines("resume", *waiting)


"""The site's data: accounts with their tokens, each account's disk (a tree
of folders and files kept as real files under the data folder), and the
uploads each account has announced and not yet had registered.

Layout of the data folder:
    state.json                      accounts, tokens, the disk tree, announced uploads
    disk/<account>/<folders>/<file> the disk's files, one real file per entry
    ftp/<ftp user>/<FtpDir>         each account's FTP home and upload folder
"""

from __future__ import annotations

import hashlib
import json
import os
import secrets
import threading
import time
from dataclasses import asdict, dataclass, field

TOKENS_KEPT = 20


@dataclass
class Account:
    name: str
    password: str
    debug: str
    ftp_user: str
    ftp_password: str
    tokens: list[str] = field(default_factory=list)
    # remote file name -> {"name", "size", "folder", "folder_id"}
    pending: dict[str, dict] = field(default_factory=dict)


@dataclass
class Node:
    id: int
    owner: str
    parent: int       # 0: the disk's root
    name: str
    folder: bool
    size: int = 0
    created: str = ""
    views: int = 0
    downloads: int = 0

    @property
    def kind(self) -> str:
        """The type shown for a file: its extension in capitals. Never
        empty, because the client drops empty fields of a listing line."""
        stem, dot, ext = self.name.rpartition(".")
        return ext.upper() if dot and stem and ext else "未知"


def now_text() -> str:
    return time.strftime("%Y-%m-%d %H:%M")


def safe_component(name: str) -> str:
    """A name as one path component inside its folder."""
    cleaned = name.replace("/", "_").replace("\\", "_").replace("\0", "_")
    return "_" + cleaned if cleaned in ("", ".", "..") else cleaned


class Store:
    def __init__(self, data_dir: str, ftp_base_dir: str = "/files/", ftp_dir_suffix: str = "incoming/"):
        self.data_dir = data_dir
        self.ftp_base_dir = ftp_base_dir
        self.ftp_dir_suffix = ftp_dir_suffix
        self.lock = threading.RLock()
        self.accounts: dict[str, Account] = {}
        self.nodes: dict[int, Node] = {}
        self.next_id = 1
        self.state_path = os.path.join(data_dir, "state.json")

    # --- persistence -------------------------------------------------

    def load(self) -> bool:
        """Reads state.json; False when the data folder has none yet."""
        if not os.path.exists(self.state_path):
            return False
        with open(self.state_path, encoding="utf-8") as f:
            state = json.load(f)
        self.accounts = {a["name"]: Account(**a) for a in state["accounts"]}
        self.nodes = {n["id"]: Node(**n) for n in state["nodes"]}
        self.next_id = state["next_id"]
        for account in self.accounts.values():
            os.makedirs(self.upload_dir(account), exist_ok=True)
        return True

    def save(self) -> None:
        with self.lock:
            state = {
                "accounts": [asdict(a) for a in self.accounts.values()],
                "nodes": [asdict(n) for n in sorted(self.nodes.values(), key=lambda n: n.id)],
                "next_id": self.next_id,
            }
            temporary = self.state_path + ".tmp"
            with open(temporary, "w", encoding="utf-8") as f:
                json.dump(state, f, ensure_ascii=False, indent=1)
            os.replace(temporary, self.state_path)

    # --- accounts ----------------------------------------------------

    def add_account(self, account: Account) -> None:
        with self.lock:
            self.accounts[account.name] = account
            os.makedirs(self.disk_path(account.name, 0), exist_ok=True)
            os.makedirs(self.upload_dir(account), exist_ok=True)

    def login(self, name: str, digest: str) -> Account | None:
        """The account when `digest` is the lower-case MD5 hex digest of its
        password's GBK bytes; a fresh token is issued for it."""
        with self.lock:
            account = self.accounts.get(name)
            if account is None:
                return None
            expected = hashlib.md5(account.password.encode("gbk")).hexdigest()
            if digest != expected:
                return None
            account.tokens = (account.tokens + [secrets.token_hex(16)])[-TOKENS_KEPT:]
            self.save()
            return account

    def check(self, name: str, token: str) -> Account | None:
        """The account when `token` is one issued to `name`."""
        with self.lock:
            account = self.accounts.get(name)
            if account is None or not token or token not in account.tokens:
                return None
            return account

    # --- the disk ----------------------------------------------------

    def is_folder(self, owner: str, folder_id: int) -> bool:
        if folder_id == 0:
            return True
        node = self.nodes.get(folder_id)
        return node is not None and node.folder and node.owner == owner

    def parent_of(self, owner: str, folder_id: int) -> int:
        node = self.nodes.get(folder_id)
        if node is None or not node.folder or node.owner != owner:
            return 0
        return node.parent

    def children(self, owner: str, folder_id: int) -> list[Node]:
        with self.lock:
            entries = [n for n in self.nodes.values() if n.owner == owner and n.parent == folder_id]
        return sorted(entries, key=lambda n: (not n.folder, n.name))

    def usage(self, owner: str) -> tuple[int, int, int]:
        """Files, folders and bytes of an account's disk."""
        with self.lock:
            owned = [n for n in self.nodes.values() if n.owner == owner]
        files = [n for n in owned if not n.folder]
        return len(files), len(owned) - len(files), sum(n.size for n in files)

    def file(self, file_id: int) -> Node | None:
        node = self.nodes.get(file_id)
        return node if node is not None and not node.folder else None

    def disk_path(self, owner: str, folder_id: int) -> str:
        parts = []
        while folder_id:
            node = self.nodes[folder_id]
            parts.append(safe_component(node.name))
            folder_id = node.parent
        return os.path.join(self.data_dir, "disk", safe_component(owner), *reversed(parts))

    def file_path(self, node: Node) -> str:
        return os.path.join(self.disk_path(node.owner, node.parent), safe_component(node.name))

    def _taken_names(self, owner: str, parent: int) -> set[str]:
        return {safe_component(n.name) for n in self.children(owner, parent)}

    def _free_name(self, owner: str, parent: int, name: str, taken: set[str] | None = None) -> str:
        """`name`, or "stem (2).ext" and so on when the folder already holds it
        (`taken`: the folder's names, when the caller keeps them)."""
        if taken is None:
            taken = self._taken_names(owner, parent)
        if safe_component(name) not in taken:
            return name
        stem, dot, ext = name.rpartition(".")
        if not dot or not stem:
            stem, dot, ext = name, "", ""
        number = 2
        while safe_component(f"{stem} ({number}){dot}{ext}") in taken:
            number += 1
        return f"{stem} ({number}){dot}{ext}"

    def _new_node(self, owner: str, parent: int, name: str, folder: bool, size: int = 0,
                  created: str | None = None, views: int = 0, downloads: int = 0,
                  taken: set[str] | None = None) -> Node:
        node = Node(self.next_id, owner, parent, self._free_name(owner, parent, name, taken), folder, size,
                    created or now_text(), views, downloads)
        self.next_id += 1
        self.nodes[node.id] = node
        return node

    def add_folder(self, owner: str, parent: int, name: str, created: str | None = None) -> Node:
        with self.lock:
            node = self._new_node(owner, parent, name, True, created=created)
            os.makedirs(self.disk_path(owner, node.id), exist_ok=True)
            return node

    def add_file(self, owner: str, parent: int, name: str, write, created: str | None = None,
                 views: int = 0, downloads: int = 0, taken: set[str] | None = None) -> Node:
        """A new file whose content `write(path)` puts at the given path
        (`taken`: the folder's names, kept up to date here, for callers that
        add many files to one folder)."""
        with self.lock:
            node = self._new_node(owner, parent, name, False, created=created, views=views, downloads=downloads,
                                  taken=taken)
            if taken is not None:
                taken.add(safe_component(node.name))
            path = self.file_path(node)
            write(path)
            node.size = os.path.getsize(path)
            return node

    def count(self, node: Node, what: str) -> None:
        with self.lock:
            setattr(node, what, getattr(node, what) + 1)
            self.save()

    # --- uploads -----------------------------------------------------

    def ftp_home(self, account: Account) -> str:
        return os.path.join(self.data_dir, "ftp", account.ftp_user)

    @property
    def ftp_dir(self) -> str:
        """The upload folder as the FTP client sees it (FtpDir)."""
        return self.ftp_base_dir + self.ftp_dir_suffix

    def upload_dir(self, account: Account) -> str:
        return os.path.join(self.ftp_home(account), *[p for p in self.ftp_dir.split("/") if p])

    def uploaded_size(self, account: Account, remote: str) -> int | None:
        path = os.path.join(self.upload_dir(account), remote)
        try:
            return os.path.getsize(path) if os.path.isfile(path) else None
        except OSError:
            return None

    def announce(self, account: Account, entries: list[dict], folder_id: int) -> None:
        """Remembers announced files; announcing a remote name again
        replaces what was said of it before."""
        with self.lock:
            if not self.is_folder(account.name, folder_id):
                folder_id = 0
            for entry in entries:
                account.pending[entry["remote"]] = {
                    "name": entry["name"], "size": entry["size"], "folder": entry["folder"], "folder_id": folder_id}
            self.save()

    def incomplete(self, account: Account) -> list[dict]:
        """Announced files whose remote file has not reached its size."""
        with self.lock:
            result = []
            for remote, entry in account.pending.items():
                size = self.uploaded_size(account, remote)
                if size is None or size < entry["size"]:
                    result.append(dict(entry, remote=remote, uploaded=size or 0))
            return result

    def take_uploads(self, account: Account) -> list[Node]:
        """Moves every announced file that has fully arrived on the FTP
        server into its folder of the disk."""
        with self.lock:
            taken = []
            # The names of each folder are listed once, not once per file:
            # a run of 10,000 files would otherwise take minutes here.
            names: dict[int, set[str]] = {}
            for remote, entry in list(account.pending.items()):
                size = self.uploaded_size(account, remote)
                if size is None or size < entry["size"]:
                    continue
                source = os.path.join(self.upload_dir(account), remote)
                folder_id = entry["folder_id"] if self.is_folder(account.name, entry["folder_id"]) else 0
                if folder_id not in names:
                    names[folder_id] = self._taken_names(account.name, folder_id)
                node = self.add_file(account.name, folder_id, entry["name"], lambda path: os.replace(source, path),
                                     taken=names[folder_id])
                taken.append(node)
                del account.pending[remote]
            if taken:
                self.save()
            return taken


def size_text(n: int) -> str:
    """A byte count as the client shows it: GB, MB, KB with two decimals,
    or plain bytes."""
    for unit, scale in (("GB", 1 << 30), ("MB", 1 << 20), ("KB", 1 << 10)):
        if n // scale > 0:
            return "%.2f%s" % (n / scale, unit)
    return "%dB" % n

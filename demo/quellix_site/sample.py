"""The sample accounts and disks a fresh data folder starts with."""

from __future__ import annotations

import io
import random
import struct
import zipfile
import zlib

from .store import Account, Store

ACCOUNTS = [
    # name, password, debug flag, FTP user, FTP password
    Account("demo", "demo123", "0", "qx_demo", "ftp-demo-1"),
    # A Chinese name, a password with a blank inside, the FTP debug log
    # allowed, and an FTP password that must travel quoted.
    Account("张三", "zhang san 88", "1", "qx_zhangsan", "up load 2"),
]

BIG_FILE_NAME = "大文件 64MB.bin"
# The folder of generated rows that --big-folder adds to the demo account.
BIG_FOLDER_NAME = "大目录"
# The folder of generated folders and files that --tree adds to the demo account.
TREE_FOLDER_NAME = "目录树"


def _text(content: str):
    def write(path):
        with open(path, "wb") as f:
            f.write(content.replace("\n", "\r\n").encode("gbk"))
    return write


def _bytes(content: bytes):
    def write(path):
        with open(path, "wb") as f:
            f.write(content)
    return write


def pseudo_random_file(size: int, seed: int):
    """`size` bytes of a fixed pseudo-random sequence, written in 1 MiB
    pieces: quick to make and different at every offset, so a range sent
    from the wrong place shows."""
    def write(path):
        rng = random.Random(seed)
        left = size
        with open(path, "wb") as f:
            while left > 0:
                piece = min(left, 1 << 20)
                f.write(rng.randbytes(piece))
                left -= piece
    return write


def png(width: int, height: int, colours: tuple[tuple[int, int, int], tuple[int, int, int]]) -> bytes:
    """A real PNG picture: a vertical gradient between two colours."""
    (r0, g0, b0), (r1, g1, b1) = colours
    rows = bytearray()
    for y in range(height):
        t = y / max(1, height - 1)
        pixel = bytes((round(r0 + (r1 - r0) * t), round(g0 + (g1 - g0) * t), round(b0 + (b1 - b0) * t)))
        rows += b"\0" + pixel * width

    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")


def pdf(title: str) -> bytes:
    """A small, valid one-page PDF document."""
    stream = b"BT /F1 18 Tf 72 720 Td (" + title.encode("ascii") + b") Tj ET"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /Font << /F1 5 0 R >> >> >>",
        b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    ]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def sales_csv() -> str:
    rng = random.Random(7)
    regions = ["华北", "华东", "华南", "西南", "东北"]
    lines = ["日期,地区,产品,数量,金额"]
    for day in range(1, 366):
        for region in regions:
            amount = rng.randint(20, 500)
            lines.append(f"2023-{1 + (day - 1) // 31 % 12:02d}-{1 + (day - 1) % 28:02d},{region},"
                         f"网盘会员,{amount},{amount * 15}.00")
    return "\n".join(lines) + "\n"


def archive() -> bytes:
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        z.writestr("说明.txt", "这是一个示例压缩包。\r\n".encode("gbk"))
        z.writestr("data.bin", random.Random(11).randbytes(1536 * 1024))
    return buffer.getvalue()


PLAN = """项目计划书

一、项目背景
    为方便用户在桌面上管理网盘文件，我们开发了 Quellix 客户端。

二、目标
    1. 支持断点续传的批量上传；
    2. 支持分段并行下载；
    3. 支持更换界面皮肤。

三、进度安排
    第一阶段：需求与设计（两周）
    第二阶段：开发与测试（六周）
    第三阶段：发布与维护
"""

README = """Quellix 演示网盘
================

This disk belongs to the demo account. Every file here can be downloaded
with the client; uploads land in the folder you have open.

欢迎使用演示网盘！这里的文件都可以用客户端下载。
"""


def create(store: Store, big_file_size: int = 64 * 1024 * 1024) -> None:
    """Fills an empty store with the sample accounts and their disks."""
    for account in ACCOUNTS:
        store.add_account(Account(account.name, account.password, account.debug,
                                  account.ftp_user, account.ftp_password))

    owner = "demo"
    docs = store.add_folder(owner, 0, "文档", created="2024-01-05 09:30")
    store.add_file(owner, docs.id, "项目 计划书.txt", _text(PLAN), "2024-01-05 09:42", 36, 12)
    store.add_file(owner, docs.id, "会议纪要.md",
                   _text("# 周例会纪要\n\n- 上传队列：完成\n- 下载管理：进行中\n- 皮肤：待开始\n"),
                   "2024-02-18 16:05", 8, 2)
    reports = store.add_folder(owner, docs.id, "报告", created="2024-03-01 10:00")
    store.add_file(owner, reports.id, "2023 年度总结.pdf", _bytes(pdf("Annual report 2023")),
                   "2024-03-01 10:12", 51, 20)
    store.add_file(owner, reports.id, "销售数据.csv", _text(sales_csv()), "2024-03-02 14:30", 17, 5)
    pictures = store.add_folder(owner, 0, "图片", created="2024-01-06 08:00")
    store.add_file(owner, pictures.id, "日落 sunset.png", _bytes(png(320, 200, ((255, 140, 60), (40, 30, 90)))),
                   "2024-01-06 08:15", 120, 33)
    travel = store.add_folder(owner, pictures.id, "旅行", created="2024-04-10 19:20")
    store.add_file(owner, travel.id, "海边.png", _bytes(png(160, 120, ((120, 200, 255), (230, 210, 160)))),
                   "2024-04-10 19:25", 9, 1)
    store.add_folder(owner, 0, "空文件夹", created="2024-05-01 12:00")
    software = store.add_folder(owner, 0, "软件", created="2024-01-08 11:11")
    store.add_file(owner, software.id, BIG_FILE_NAME, pseudo_random_file(big_file_size, 64),
                   "2024-01-08 11:30", 64, 16)
    store.add_file(owner, software.id, "资料包.zip", _bytes(archive()), "2024-01-08 11:40", 22, 7)
    store.add_file(owner, 0, "readme.txt", _text(README), "2024-01-05 09:00", 88, 40)
    store.add_file(owner, 0, "my notes.txt", _text("Notes with a blank in the name.\n记得备份。\n"),
                   "2024-02-02 21:10", 3, 0)
    store.add_file(owner, 0, "无扩展名文件", _bytes(bytes(range(256)) * 4), "2024-02-03 07:45", 1, 0)
    store.add_file(owner, 0, "空文件.txt", _bytes(b""), "2024-02-04 18:00", 0, 0)

    owner = "张三"
    store.add_file(owner, 0, "欢迎使用.txt", _text("张三的网盘。\n欢迎使用 Quellix 客户端上传和下载文件。\n"),
                   "2024-06-01 08:00", 5, 1)
    photos = store.add_folder(owner, 0, "照片", created="2024-06-01 08:05")
    store.add_file(owner, photos.id, "猫.png", _bytes(png(200, 150, ((250, 250, 250), (250, 190, 120)))),
                   "2024-06-01 08:06", 14, 3)
    store.add_folder(owner, 0, "空目录", created="2024-06-02 09:00")
    store.save()


def add_tree(store: Store, owner: str, files: int, folders: int, max_size: int = 64 * 1024, seed: int = 5):
    """A folder "目录树" with `folders` folders below it, nested a few levels
    deep, and `files` real files of 1 byte to `max_size` spread over all of
    them (names with blanks and Chinese characters, a few empty files).
    Gives the top folder."""
    rng = random.Random(seed)
    top = store.add_folder(owner, 0, TREE_FOLDER_NAME, created="2024-07-01 10:00")
    tree = [top]
    for number in range(1, folders + 1):
        parent = rng.choice(tree[:len(tree) // 3 + 1])
        tree.append(store.add_folder(owner, parent.id, f"目录 {number:02d}", created="2024-07-01 10:00"))
    taken = {node.id: set() for node in tree}
    for number in range(1, files + 1):
        folder = tree[number % len(tree)]
        size = 0 if number % 97 == 0 else rng.randint(1, max_size)
        name = f"文件 {number:04d}.bin" if number % 3 else f"data-{number:04d}.txt"
        store.add_file(owner, folder.id, name, pseudo_random_file(size, 1000 + number), "2024-07-01 10:05",
                       taken=taken[folder.id])
    return top

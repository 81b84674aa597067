"""Uploads end to end: announce with postlist, store on the site's FTP
server (passive and active, partial and resumed), list the unfinished ones
with resume, and have update take the finished ones into the disk."""

import base64
import ftplib
import hashlib
import io
import json
import os
import unittest

from sitetest import SiteTestCase, gbk, lines
import quellix_codec


def remote_name(folder: str, name: str, size: int) -> str:
    """The client's name for a file on the FTP server: MD5 of path and
    size, then the extension, all in lower case."""
    digest = hashlib.md5(gbk(folder + name) + str(size).encode()).hexdigest()
    stem, dot, ext = name.rpartition(".")
    return (digest + (dot + ext if dot else "")).lower()


class Upload:
    def __init__(self, folder: str, name: str, content: bytes):
        self.folder, self.name, self.content = folder, name, content
        self.remote = remote_name(folder, name, len(content))

    def entry(self) -> bytes:
        return gbk(f"{self.remote}>{len(self.content)}>{self.name}>{self.folder}|")


class UploadTest(SiteTestCase):
    site_options = ("--big-file-mib", "1")

    def setUp(self):
        self.user, self.token = self.site.session("demo")
        status, data = self.site.post("client_main.php",
                                      b"action=loadset&username=" + self.user + b"&password=" + self.token)
        reply = lines(data)
        items = quellix_codec.split_items(quellix_codec.decode("server", reply[2]))
        self.ftp_settings = {"host": items[0].decode(), "user": items[1].decode(), "password": items[2].decode(),
                             "port": int(items[3]), "dir": items[4].decode() + reply[0][5:].decode()}

    def sub(self, action: str, extra: bytes = b"", user=None, token=None) -> list[bytes]:
        body = (b"action=" + action.encode() + extra + b"&username=" + (user or self.user)
                + b"&password=" + (token or self.token))
        status, data = self.site.post("client_sub.php", body)
        self.assertEqual(status, 200)
        return lines(data)

    def postlist(self, uploads, folder_id=0) -> list[bytes]:
        return self.sub("postlist", b"&fl=" + b"".join(u.entry() for u in uploads) + b"&folder_id=%d" % folder_id)

    def ftp(self, passive=True) -> ftplib.FTP:
        s = self.ftp_settings
        ftp = ftplib.FTP(timeout=30)
        ftp.connect(s["host"], s["port"])
        ftp.login(s["user"], s["password"])
        ftp.set_pasv(passive)
        ftp.cwd(s["dir"])
        ftp.voidcmd("TYPE I")
        self.addCleanup(ftp.close)
        return ftp

    def listing(self, folder_id):
        status, rows = self.site.listing(self.user, self.token, folder_id)
        self.assertEqual(status, 200)
        return rows

    def folder_id(self, name: str) -> int:
        return int(self.find(self.listing(0), name)[4])

    def download(self, row) -> bytes:
        status, _, body = self.site.request("GET", self.site.download_path(row[4].decode(), self.user, self.token))
        self.assertEqual(status, 200)
        return body

    def test_partial_upload_is_resumed_and_registered_when_complete(self):
        docs = self.folder_id("文档")
        whole = Upload("C:\\Users\\张三\\My Files\\", "季度 报告.docx", os.urandom(70000))
        partial = Upload("C:\\Users\\张三\\My Files\\", "视频 片段.mp4", os.urandom(300000))
        self.assertEqual(self.postlist([whole, partial], docs), [b"postlist"])

        ftp = self.ftp()
        ftp.storbinary("STOR " + whole.remote, io.BytesIO(whole.content))
        ftp.storbinary("STOR " + partial.remote, io.BytesIO(partial.content[:100000]))
        self.assertEqual(self.sub("resume"), [b"resume", gbk("视频 片段.mp4|300000|C:\\Users\\张三\\My Files\\")])

        self.assertEqual(self.sub("update"), [b"update"])
        rows = self.listing(docs)
        self.assertEqual(self.download(self.find(rows, "季度 报告.docx")), whole.content)
        self.assertNotIn(gbk("视频 片段.mp4"), [r[0] for r in rows])

        self.assertEqual(ftp.size(partial.remote), 100000)
        ftp.storbinary("STOR " + partial.remote, io.BytesIO(partial.content[100000:]), rest=100000)
        self.assertEqual(ftp.size(partial.remote), 300000)
        self.assertEqual(self.sub("resume"), [b"resume"])
        self.assertEqual(self.sub("update"), [b"update"])
        found = self.find(self.listing(docs), "视频 片段.mp4")
        self.assertEqual((found[1], found[2]), (b"300000", b"MP4"))
        self.assertEqual(self.download(found), partial.content)
        self.assertEqual(ftp.nlst(), [])

    def test_active_mode_and_append(self):
        upload = Upload("D:\\data\\", "active.bin", os.urandom(5000))
        self.assertEqual(self.postlist([upload]), [b"postlist"])
        ftp = self.ftp(passive=False)
        ftp.storbinary("STOR " + upload.remote, io.BytesIO(upload.content[:1000]))
        ftp.storbinary("APPE " + upload.remote, io.BytesIO(upload.content[1000:]))
        self.assertEqual(self.sub("update"), [b"update"])
        self.assertEqual(self.download(self.find(self.listing(0), "active.bin")), upload.content)

    def test_unknown_folder_means_the_root_and_names_stay_unique(self):
        first = Upload("E:\\one\\", "同名 文件.txt", b"first")
        second = Upload("E:\\two\\", "同名 文件.txt", b"second")
        self.assertEqual(self.postlist([first, second], 987654), [b"postlist"])
        ftp = self.ftp()
        for upload in (first, second):
            ftp.storbinary("STOR " + upload.remote, io.BytesIO(upload.content))
        self.sub("update")
        rows = self.listing(0)
        contents = {self.download(self.find(rows, "同名 文件.txt")), self.download(self.find(rows, "同名 文件 (2).txt"))}
        self.assertEqual(contents, {b"first", b"second"})

    def test_announcing_again_replaces_the_earlier_announcement(self):
        upload = Upload("F:\\", "again.txt", b"0123456789")
        pictures = self.folder_id("图片")
        self.postlist([upload], 0)
        self.postlist([upload], pictures)
        self.assertEqual(self.sub("resume").count(gbk("again.txt|10|F:\\")), 1)
        self.ftp().storbinary("STOR " + upload.remote, io.BytesIO(upload.content))
        self.sub("update")
        self.find(self.listing(pictures), "again.txt")

    def test_refused_and_odd_registrations(self):
        good = Upload("G:\\", "ok.txt", b"ok")
        self.assertTrue(self.sub("postlist", b"&fl=" + good.entry(), token=b"0" * 32)[0].startswith(b"false|"))
        self.assertTrue(self.sub("update", user=b"nobody")[0].startswith(b"false|"))
        for fl in (b"", b"nonsense", b"a>1>b|", b"../x>1>x>G:\\|", b"x.txt>-1>x.txt>G:\\|"):
            with self.subTest(fl=fl):
                reply = self.sub("postlist", b"&fl=" + fl + b"&folder_id=0")
                self.assertEqual(len(reply), 1)
                self.assertTrue(reply[0].startswith(b"false|"))
        status, data = self.site.post("client_sub.php", b"action=delete&username=" + self.user)
        self.assertEqual(status, 400)
        # A name with "&" and "=" arrives unescaped and is still read whole.
        odd = Upload("G:\\a&b=c\\", "x&y=5 +%.txt", b"odd")
        self.assertEqual(self.postlist([odd]), [b"postlist"])
        self.assertIn(gbk("x&y=5 +%.txt|3|G:\\a&b=c\\"), self.sub("resume"))

    def test_accounts_have_their_own_upload_folders(self):
        upload = Upload("H:\\", "mine.txt", b"mine")
        self.postlist([upload])
        self.ftp().storbinary("STOR " + upload.remote, io.BytesIO(upload.content))
        user, token = self.site.session("张三")
        self.assertEqual(self.sub("postlist", b"&fl=" + upload.entry() + b"&folder_id=0", user, token),
                         [b"postlist"])
        self.assertEqual(self.sub("update", user=user, token=token), [b"update"])
        status, rows = self.site.listing(user, token, 0)
        self.assertNotIn(b"mine.txt", [r[0] for r in rows])
        self.assertIn(b"mine.txt|4|H:\\", self.sub("resume", user=user, token=token))
        account = self.site.accounts["张三"]
        other = ftplib.FTP(timeout=30)
        other.connect("127.0.0.1", self.site.ftp_port)
        other.login(account["ftp_user"], account["ftp_password"])
        self.addCleanup(other.close)
        other.cwd(self.site.info["ftp_dir"])
        self.assertEqual(other.nlst(), [])

    def test_the_ftp_dialogue_is_logged(self):
        ftp = self.ftp()
        ftp.voidcmd("NOOP")
        with open(self.site.info["ftp_log"], encoding="utf-8") as f:
            entries = [json.loads(line) for line in f]
        session = entries[-1]["session"]
        dialogue = [(e["dir"], e["line"]) for e in entries if e["session"] == session]
        self.assertEqual(dialogue[0], ("out", "220 Quellix demo FTP server ready."))
        self.assertIn(("in", "USER qx_demo"), dialogue)
        self.assertIn(("in", "CWD /files/incoming/"), dialogue)
        self.assertEqual(dialogue[-2][1], "NOOP")
        self.assertEqual(dialogue[-1][0], "out")
        self.assertTrue(dialogue[-1][1].startswith("200 "))


if __name__ == "__main__":
    unittest.main()

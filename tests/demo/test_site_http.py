"""The demo site over HTTP, driven as the client drives it: login, settings,
listings, downloads with ranges, pages, the skin server and the request log."""

import base64
import hashlib
import os
import re
import socket
import unittest

from sitetest import CLIENT, SiteTestCase, gbk, lines, md5_lower
import quellix_codec


class LoginTest(SiteTestCase):
    def test_accepted_login_gives_name_token_and_debug_flag(self):
        for name, flag in (("demo", b"0"), ("张三", b"1")):
            with self.subTest(name=name):
                reply = self.site.login(name)
                self.assertEqual(len(reply), 3)
                self.assertEqual(reply[0], gbk(name))
                self.assertRegex(reply[1], rb"^[0-9a-f]{32}$")
                self.assertEqual(reply[2], flag)

    def test_refused_logins_get_one_gbk_line(self):
        upper = md5_lower("demo123").upper().encode()
        cases = {
            "wrong password": b"action=login&username=demo&password=" + md5_lower("demo12").encode(),
            "unknown account": b"action=login&username=nobody&password=" + md5_lower("demo123").encode(),
            "upper-case digest": b"action=login&username=demo&password=" + upper,
            "plain password": b"action=login&username=demo&password=demo123",
            "name with a blank": b"action=login&username=demo &password=" + md5_lower("demo123").encode(),
        }
        for case, body in cases.items():
            with self.subTest(case=case):
                status, data = self.site.post("client_main.php", body)
                self.assertEqual(status, 200)
                self.assertEqual(lines(data), [gbk("用户名或密码错误")])
        status, data = self.site.post("client_main.php", b"action=login&username=demo&password=")
        self.assertEqual(lines(data), [gbk("请输入用户名和密码")])

    def test_every_login_has_its_own_token_and_earlier_ones_stay_valid(self):
        first = self.site.session("demo")
        second = self.site.session("demo")
        self.assertNotEqual(first[1], second[1])
        for user, token in (first, second):
            status, rows = self.site.listing(user, token, 0)
            self.assertEqual(status, 200)


class SettingsTest(SiteTestCase):
    site_options = ("--big-file-mib", "1")

    def loadset(self, user: bytes, token: bytes) -> list[bytes]:
        status, data = self.site.post("client_main.php",
                                      b"action=loadset&username=" + user + b"&password=" + token)
        self.assertEqual(status, 200)
        return lines(data)

    def settings_items(self, reply: list[bytes]) -> list[bytes]:
        frame = reply[2]
        self.assertTrue(frame.startswith(b"A") and frame.endswith(b"Z"))
        return quellix_codec.split_items(quellix_codec.decode("server", frame))

    def test_loadset_hands_out_the_ftp_account_and_branding(self):
        reply = self.loadset(*self.site.session("demo"))
        self.assertEqual(len(reply), 3)
        self.assertEqual(reply[0], b"true|incoming/")
        self.assertEqual(reply[1], self.site.site_url.encode())
        items = self.settings_items(reply)
        self.assertEqual(items[:6], [b"127.0.0.1", b"qx_demo", b"ftp-demo-1", str(self.site.ftp_port).encode(),
                                     b"/files/", b"1"])
        branding = quellix_codec.split_items(base64.b64decode(items[6]))
        self.assertEqual(branding[0], gbk("Quellix 演示网盘 - 文件上传下载客户端"))
        self.assertEqual(branding[2], (self.site.site_url + "about.html").encode())
        self.assertEqual(branding[5], b"Azure,Jade,Ember")
        self.assertEqual(branding[6], (self.site.site_url + "news.html").encode())

    def test_an_ftp_password_with_blanks_travels_quoted(self):
        reply = self.loadset(*self.site.session("张三"))
        text = quellix_codec.decode("server", reply[2])
        self.assertIn(b'|"up load 2"|', text)
        self.assertEqual(self.settings_items(reply)[1:3], [b"qx_zhangsan", b"up load 2"])

    def test_wrong_credentials_get_a_line_that_is_not_true(self):
        user, token = self.site.session("demo")
        other = self.site.session("张三")
        for case, (name, secret) in {"wrong token": (user, b"0" * 32), "no token": (user, b""),
                                     "token of another account": (user, other[1]),
                                     "unknown account": (b"nobody", token)}.items():
            with self.subTest(case=case):
                reply = self.loadset(name, secret)
                self.assertEqual(len(reply), 1)
                self.assertTrue(reply[0].startswith(b"false|"))

    def test_pages_named_by_the_branding_are_served(self):
        for page, marker in (("about.html", "关于"), ("news.html", "height: 53px")):
            with self.subTest(page=page):
                status, headers, body = self.site.request("GET", page)
                self.assertEqual(status, 200)
                self.assertEqual(headers["content-type"], "text/html; charset=gbk")
                self.assertIn(gbk(marker), body)


class SettingsOptionsTest(SiteTestCase):
    site_options = ("--big-file-mib", "1", "--ftp-passive", "False", "--caption", "", "--ftp-dir-suffix", "",
                    "--register-path", "/reg/", "--skin-names", "One,Two")

    def test_options_change_the_settings_reply(self):
        user, token = self.site.session("demo")
        status, data = self.site.post("client_main.php", b"action=loadset&username=" + user + b"&password=" + token)
        reply = lines(data)
        self.assertEqual(reply[0], b"true|")
        self.assertEqual(reply[1], self.site.info["register_url"].encode())
        self.assertTrue(reply[1].endswith(b"/reg/"))
        items = quellix_codec.split_items(quellix_codec.decode("server", reply[2]))
        self.assertEqual(items[5], b"False")
        branding = quellix_codec.split_items(base64.b64decode(items[6]))
        self.assertEqual(branding[0], b"")
        self.assertEqual(branding[5], b"One,Two")

    def test_registration_is_served_only_under_its_own_address(self):
        user, token = self.site.session("demo")
        body = b"action=update&username=" + user + b"&password=" + token
        status, _, data = self.site.request("POST", "reg/" + CLIENT + "client_sub.php", body)
        self.assertEqual((status, lines(data)), (200, [b"update"]))
        status, _, _ = self.site.request("POST", CLIENT + "client_sub.php", body)
        self.assertEqual(status, 404)


class ListingTest(SiteTestCase):
    site_options = ("--big-file-mib", "1")

    def setUp(self):
        self.user, self.token = self.site.session("demo")

    def listing(self, folder_id, go_back=0):
        status, rows = self.site.listing(self.user, self.token, folder_id, go_back)
        self.assertEqual(status, 200)
        return rows

    def test_root_listing_rows_carry_eight_fields_folders_first(self):
        rows = self.listing(0)
        for row in rows:
            self.assertEqual(len(row), 8, row)
            self.assertTrue(all(row), row)
        kinds = [row[3] for row in rows]
        self.assertEqual(kinds, sorted(kinds, reverse=True))
        self.assertEqual(self.find(rows, "文档")[1:4], [b"0", gbk("文件夹"), b"1"])
        notes = self.find(rows, "my notes.txt")
        path = os.path.join(self.site.data_dir, "disk", "demo", "my notes.txt")
        self.assertEqual(notes[1:4], [str(os.path.getsize(path)).encode(), b"TXT", b"0"])
        self.assertEqual(notes[5], b"2024-02-02 21:10")
        self.assertEqual(self.find(rows, "无扩展名文件")[2], gbk("未知"))
        self.assertEqual(self.find(rows, "空文件.txt")[1], b"0")

    def test_nested_folders_and_going_back(self):
        docs = int(self.find(self.listing(0), "文档")[4])
        inside = self.listing(docs)
        reports = int(self.find(inside, "报告")[4])
        self.find(inside, "项目 计划书.txt")
        self.find(self.listing(reports), "2023 年度总结.pdf")
        self.assertEqual(self.listing(reports, 1), inside)
        self.assertEqual(self.listing(docs, 1), self.listing(0))
        self.assertEqual(self.listing(0, 1), self.listing(0))

    def test_an_empty_folder_has_an_empty_body(self):
        empty = int(self.find(self.listing(0), "空文件夹")[4])
        status, data = self.site.post("client_main.php", b"action=mydisk&folder_id=%d&goback=0&username=" % empty
                                      + self.user + b"&password=" + self.token)
        self.assertEqual((status, data), (200, b""))

    def test_folders_of_another_account_are_not_listed(self):
        docs = int(self.find(self.listing(0), "文档")[4])
        user, token = self.site.session("张三")
        status, _ = self.site.listing(user, token, docs)
        self.assertEqual(status, 404)
        status, rows = self.site.listing(user, token, docs, 1)
        self.assertEqual(status, 200)
        self.find(rows, "欢迎使用.txt")

    def test_refused_listings(self):
        status, _ = self.site.listing(self.user, b"f" * 32, 0)
        self.assertEqual(status, 403)
        status, _ = self.site.listing(b"nobody", self.token, 0)
        self.assertEqual(status, 403)
        status, _ = self.site.listing(self.user, self.token, 987654)
        self.assertEqual(status, 404)
        status, data = self.site.post("client_main.php", b"action=mydisk&folder_id=x&goback=0&username="
                                      + self.user + b"&password=" + self.token)
        self.assertEqual(status, 400)
        status, data = self.site.post("client_main.php", b"action=nothing&username=" + self.user)
        self.assertEqual(status, 400)


class DownloadTest(SiteTestCase):
    def setUp(self):
        self.user, self.token = self.site.session("demo")
        status, rows = self.site.listing(self.user, self.token, 0)
        self.root = rows
        software = int(self.find(rows, "软件")[4])
        self.big = self.find(self.site.listing(self.user, self.token, software)[1], "大文件 64MB.bin")
        self.big_path = os.path.join(self.site.data_dir, "disk", "demo", "软件", "大文件 64MB.bin")

    def get(self, row_or_id, headers=None, method="GET", user=None, token=None):
        file_id = row_or_id[4].decode() if isinstance(row_or_id, list) else row_or_id
        return self.site.request(method, self.site.download_path(file_id, user or self.user, token or self.token),
                                 headers=headers)

    def slice(self, first, count):
        with open(self.big_path, "rb") as f:
            f.seek(first)
            return f.read(count)

    def test_whole_download_is_the_file_and_counts_once(self):
        readme = self.find(self.root, "readme.txt")
        status, headers, body = self.get(readme)
        self.assertEqual(status, 200)
        with open(os.path.join(self.site.data_dir, "disk", "demo", "readme.txt"), "rb") as f:
            self.assertEqual(body, f.read())
        self.assertEqual(headers["content-length"], str(len(body)))
        self.assertEqual(headers["accept-ranges"], "bytes")
        self.assertEqual(headers["content-type"], "application/octet-stream")
        self.get(readme, {"Range": "bytes=0-1"})
        after = self.find(self.site.listing(self.user, self.token, 0)[1], "readme.txt")
        self.assertEqual(int(after[7]), int(readme[7]) + 1)

    def test_the_downloaders_two_ranges_cover_the_big_file(self):
        length = int(self.big[1])
        self.assertEqual(length, 64 * 1024 * 1024)
        half = length // 2
        for first, last_asked, last in ((0, half, half), (half + 1, length, length - 1)):
            with self.subTest(first=first):
                status, headers, body = self.get(self.big, {"Range": f"bytes={first}-{last_asked}"})
                self.assertEqual(status, 206)
                self.assertEqual(headers["content-range"], f"bytes {first}-{last}/{length}")
                self.assertEqual(int(headers["content-length"]), last - first + 1)
                self.assertEqual(len(body), last - first + 1)
                self.assertEqual(hashlib.md5(body).digest(), hashlib.md5(self.slice(first, len(body))).digest())

    def test_open_and_suffix_ranges(self):
        length = int(self.big[1])
        status, headers, body = self.get(self.big, {"Range": "bytes=-100"})
        self.assertEqual((status, headers["content-range"]), (206, f"bytes {length - 100}-{length - 1}/{length}"))
        self.assertEqual(body, self.slice(length - 100, 100))
        status, headers, body = self.get(self.big, {"Range": f"bytes={length - 5}-"})
        self.assertEqual((status, body), (206, self.slice(length - 5, 5)))

    def test_unsatisfiable_range_is_416(self):
        length = int(self.big[1])
        status, headers, body = self.get(self.big, {"Range": f"bytes={length}-{length + 10}"})
        self.assertEqual((status, body), (416, b""))
        self.assertEqual(headers["content-range"], f"bytes */{length}")
        self.assertEqual(headers["content-length"], "0")
        empty = self.find(self.root, "空文件.txt")
        self.assertEqual(self.get(empty)[:3:2], (200, b""))
        self.assertEqual(self.get(empty, {"Range": "bytes=0-0"})[0], 416)

    def test_malformed_ranges_get_the_whole_file(self):
        readme = self.find(self.root, "readme.txt")
        for value in ("bytes=5-2", "items=0-1", "bytes=0-1,4-5"):
            with self.subTest(value=value):
                status, _, body = self.get(readme, {"Range": value})
                self.assertEqual((status, len(body)), (200, int(readme[1])))

    def test_head_gives_the_length_without_the_body(self):
        status, headers, body = self.get(self.big, method="HEAD")
        self.assertEqual((status, body), (200, b""))
        self.assertEqual(headers["content-length"], self.big[1].decode())

    def test_refused_downloads_are_404(self):
        readme = self.find(self.root, "readme.txt")
        other = self.site.session("张三")
        folder = self.find(self.root, "文档")
        cases = {"wrong token": self.get(readme, token=b"0" * 32),
                 "unknown account": self.get(readme, user=b"nobody"),
                 "file of another account": self.get(readme, user=other[0], token=other[1]),
                 "unknown id": self.get("424242"),
                 "folder id": self.get(folder),
                 "no id": self.get("")}
        for case, (status, _, _) in cases.items():
            with self.subTest(case=case):
                self.assertEqual(status, 404)

    def test_a_gbk_account_name_in_the_address(self):
        user, token = self.site.session("张三")
        welcome = self.find(self.site.listing(user, token, 0)[1], "欢迎使用.txt")
        status, _, body = self.get(welcome, user=user, token=token)
        self.assertEqual(status, 200)
        self.assertIn(gbk("张三的网盘"), body)

    def test_a_probe_that_drops_the_connection_after_the_headers_does_no_harm(self):
        with socket.create_connection(("127.0.0.1", self.site.http_port), timeout=30) as s:
            s.sendall(b"GET /" + self.site.download_path(self.big[4].decode(), self.user, self.token)
                      + b" HTTP/1.0\r\n\r\n")
            head = b""
            while b"\r\n\r\n" not in head:
                head += s.recv(4096)
            self.assertIn(b"Content-Length: %d\r\n" % (64 * 1024 * 1024), head)
        self.assertEqual(self.get(self.find(self.root, "readme.txt"))[0], 200)


class ServerTest(SiteTestCase):
    site_options = ("--big-file-mib", "1")

    def test_index_answers_head_and_get_alike(self):
        status, headers, body = self.site.request("GET", "")
        self.assertEqual(status, 200)
        self.assertIn(gbk("演示帐号"), body)
        self.assertEqual(int(headers["content-length"]), len(body))
        status, head_headers, head_body = self.site.request("HEAD", "")
        self.assertEqual((status, head_body), (200, b""))
        self.assertEqual(head_headers["content-length"], headers["content-length"])

    def test_connection_closes_after_the_reply_unless_keep_alive_was_asked(self):
        for version in (b"HTTP/1.0", b"HTTP/1.1"):
            with self.subTest(version=version):
                data = self.site.raw(b"GET /news.html " + version + b"\r\nHost: x\r\n\r\n"
                                     b"GET /about.html HTTP/1.0\r\n\r\n")
                self.assertEqual(data.count(b"HTTP/1.1 200 OK"), 1)
                self.assertIn(b"Connection: close\r\n", data)
        data = self.site.raw(b"GET /news.html HTTP/1.1\r\nConnection: keep-alive\r\n\r\n"
                             b"GET /about.html HTTP/1.0\r\n\r\n")
        self.assertEqual(data.count(b"HTTP/1.1 200 OK"), 2)
        self.assertIn(b"Connection: keep-alive\r\n", data)

    def test_every_reply_is_framed_with_content_length(self):
        replies = [self.site.raw(b"GET /missing HTTP/1.0\r\n\r\n"),
                   self.site.raw(b"POST /news.html HTTP/1.0\r\nContent-Length: 0\r\n\r\n"),
                   self.site.raw(b"BREW /news.html HTTP/1.0\r\n\r\n"),
                   self.site.raw(b"GET /\r\n\r\n"),
                   self.site.raw(b"GET /vendor/plugins/getskin.php?action=downskin&skin_id=none HTTP/1.0\r\n\r\n")]
        for data, status in zip(replies, (404, 405, 501, 400, 404)):
            with self.subTest(status=status):
                head, _, body = data.partition(b"\r\n\r\n")
                self.assertTrue(head.startswith(b"HTTP/1.1 %d " % status), head)
                self.assertEqual(int(re.search(rb"Content-Length: (\d+)", head).group(1)), len(body))
        self.assertIn(b"Allow: GET, HEAD", replies[1])

    def test_a_chunked_post_expecting_continue(self):
        user, token = self.site.session("demo")
        body = b"action=mydisk&folder_id=0&goback=0&username=" + user + b"&password=" + token
        data = self.site.raw(b"POST /" + CLIENT.encode() + b"client_main.php HTTP/1.1\r\nExpect: 100-continue\r\n"
                             b"Transfer-Encoding: chunked\r\n\r\n%x\r\n" % len(body) + body + b"\r\n0\r\n\r\n")
        self.assertTrue(data.startswith(b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n"), data[:80])
        self.assertIn(gbk("文档|0|文件夹|1|"), data)


class PagesTest(SiteTestCase):
    site_options = ("--big-file-mib", "1")

    def passport(self, query: bytes):
        return self.site.request("GET", CLIENT.encode() + b"passport.php?" + base64.b64encode(query))

    def test_passport_shows_who_is_signed_in(self):
        user, token = self.site.session("张三")
        sign = hashlib.md5(b"passportlogin" + user + token).hexdigest().upper().encode()
        status, headers, body = self.passport(b"action=passportlogin&username=" + user + b"&password=" + token
                                              + b"&sign=" + sign)
        self.assertEqual(status, 200)
        self.assertEqual(headers["content-type"], "text/html; charset=gbk")
        self.assertIn(gbk("欢迎回来，张三"), body)

    def test_passport_refusals(self):
        user, token = self.site.session("demo")
        sign = hashlib.md5(b"passportlogin" + user + token).hexdigest().encode()
        cases = {
            "lower-case sign": (self.passport(b"action=passportlogin&username=demo&password=" + token + b"&sign=" + sign), 403),
            "wrong token": (self.passport(b"action=passportlogin&username=demo&password=" + b"1" * 32 + b"&sign="
                                          + hashlib.md5(b"passportlogindemo" + b"1" * 32).hexdigest().upper().encode()), 403),
            "no sign": (self.passport(b"action=passportlogin&username=demo&password=" + token), 403),
            "not Base64": (self.site.request("GET", CLIENT + "passport.php?%%%"), 400),
            "another action": (self.passport(b"action=login&username=demo&password=" + token), 400),
        }
        for case, ((status, _, body), expected) in cases.items():
            with self.subTest(case=case):
                self.assertEqual(status, expected)
                self.assertIn(gbk("通行证验证失败"), body)

    def test_account_pages(self):
        for action, marker in (("register", "注册新帐号"), ("forget_pwd", "找回密码")):
            with self.subTest(action=action):
                status, _, body = self.site.request("GET", "account.php?action=" + action)
                self.assertEqual(status, 200)
                self.assertIn(gbk(marker), body)
        self.assertEqual(self.site.request("GET", "account.php?action=delete")[0], 404)

    def test_file_pages_show_the_file_and_count_views(self):
        user, token = self.site.session("demo")
        rows = self.site.listing(user, token, 0)[1]
        readme = self.find(rows, "readme.txt")
        status, _, body = self.site.request("GET", f"file-{readme[4].decode()}.html")
        self.assertEqual(status, 200)
        self.assertIn(b"readme.txt", body)
        self.site.request("HEAD", f"file-{readme[4].decode()}.html")
        after = self.find(self.site.listing(user, token, 0)[1], "readme.txt")
        self.assertEqual(int(after[6]), int(readme[6]) + 1)
        self.assertEqual(self.site.request("GET", "file-999999.html")[0], 404)
        self.assertEqual(self.site.request("GET", f"file-{self.find(rows, '文档')[4].decode()}.html")[0], 404)


class SkinServerTest(SiteTestCase):
    site_options = ("--big-file-mib", "1")

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.package = bytes(range(256)) * 40
        with open(os.path.join(cls.site.info["skins_dir"], "Azure.skn"), "wb") as f:
            f.write(cls.package)
        with open(os.path.join(cls.site.info["skins_dir"], "Azure.jpg"), "wb") as f:
            f.write(b"\xff\xd8\xff\xe0preview\xff\xd9")

    def skin(self, query: str, headers=None):
        base = self.site.info["skin_url"].split(str(self.site.http_port), 1)[1]
        data = self.site.exchange(f"GET {base}plugins/getskin.php?{query} HTTP/1.0\r\n".encode()
                                  + b"".join(f"{k}: {v}\r\n".encode() for k, v in (headers or {}).items()) + b"\r\n")
        return data

    def test_packages_and_previews_are_served_with_ranges(self):
        status, headers, body = self.skin("action=downskin&skin_id=Azure")
        self.assertEqual((status, body), (200, self.package))
        status, headers, body = self.skin("action=downskin&skin_id=Azure", {"Range": "bytes=5121-10240"})
        self.assertEqual((status, headers["content-range"]), (206, "bytes 5121-10239/10240"))
        self.assertEqual(body, self.package[5121:])
        status, headers, body = self.skin("action=downimg&skin_id=Azure")
        self.assertEqual((status, headers["content-type"]), (200, "image/jpeg"))

    def test_unknown_or_escaping_names_are_404(self):
        for query in ("action=downskin&skin_id=Jade", "action=downimg&skin_id=Nope", "action=downskin&skin_id=",
                      "action=downskin&skin_id=../skins/Azure", "action=downskin&skin_id=..",
                      "action=downskin&skin_id=Azure.skn%00"):
            with self.subTest(query=query):
                self.assertEqual(self.skin(query)[0], 404)
        self.assertEqual(self.skin("action=list&skin_id=Azure")[0], 400)

    def test_vendor_home_page_shows_the_client_version(self):
        base = self.site.info["skin_url"].split(str(self.site.http_port), 1)[1]
        status, _, body = self.site.exchange(f"GET {base}?cl_ver=2.2 HTTP/1.0\r\n\r\n".encode())
        self.assertEqual(status, 200)
        self.assertIn(gbk("v2.2"), body)


class RequestLogTest(SiteTestCase):
    site_options = ("--big-file-mib", "1")

    def test_each_request_is_logged_with_its_exact_body_and_status(self):
        body = b"action=login&username=" + gbk("张三") + b"&password=" + md5_lower("zhang san 88").encode()
        self.site.post("client_main.php", body)
        self.site.request("GET", "no-such-page")
        entries = self.site.log_entries()
        login, missing = entries[-2], entries[-1]
        self.assertEqual(login["method"], "POST")
        self.assertEqual(login["path"], "/" + CLIENT + "client_main.php")
        self.assertEqual(bytes.fromhex(login["body_hex"]), body)
        self.assertEqual(login["body"], body.decode("gbk"))
        self.assertEqual(login["status"], 200)
        self.assertIn(["User-Agent", "quellix-client"], login["headers"])
        self.assertEqual((missing["method"], missing["path"], missing["status"]), ("GET", "/no-such-page", 404))


if __name__ == "__main__":
    unittest.main()

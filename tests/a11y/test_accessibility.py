"""The running client read through the accessibility bus, as a screen
reader reads it: the client runs on its own Xvfb display against the demo
site with the AT-SPI bridge on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1), and the
test finds windows, buttons and lists by role and name, logs in, opens a
folder with the keyboard and times a listing of 100,000 rows, and a download
queue of 10,000 rows coming back at login, shown and cleared.

Run under `dbus-run-session` (ctest does): the accessibility bus is started
here with at-spi-bus-launcher. QUELLIX_PROGRAM_DIR names the built program
folder, which is copied so the test's files stay apart."""

import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import pyatspi

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PROGRAM_DIR = os.environ.get("QUELLIX_PROGRAM_DIR", os.path.join(SOURCE_DIR, "build", "quellix"))
BIG_ROWS = 100000
QUEUE_ROWS = 10000
# Generous: the listing takes well under a second; row-by-row announcing
# took minutes.
BIG_LISTING_BOUND_S = 30


def wait_for(condition, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


def find(node, predicate, depth=30):
    """The first node under `node` (itself included) that satisfies
    `predicate`; lists and tables are not searched row by row."""
    try:
        if predicate(node):
            return node
        if depth == 0 or node.getRoleName() in ("table", "tree", "tree table", "list"):
            return None
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                found = find(child, predicate, depth - 1)
                if found is not None:
                    return found
    except Exception:  # a node that went away while we walked
        return None
    return None


def role_name(role, name):
    return lambda n: n.getRoleName() == role and n.name == name


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


class ClientThroughAccessibility(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quellix-a11y-")
        cls.processes = []
        try:
            cls._start()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def _spawn(cls, args, **kwargs):
        process = subprocess.Popen(args, **kwargs)
        cls.processes.append(process)
        return process

    @classmethod
    def _start(cls):
        # An X display of our own: Xvfb picks a free number and reports it.
        read_end, write_end = os.pipe()
        cls._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                   pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, closefd=True) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not report a display")
        os.environ["DISPLAY"] = ":" + display
        # The accessibility bus, on the session bus dbus-run-session gave us:
        # asking for its address starts it (D-Bus activation) and returns
        # once it is there, and asking the registry for the desktop starts
        # the registry on it. The client registers with that registry when it
        # starts; a registry still starting under load could miss it.
        # What D-Bus starts gets the display from the session bus: the
        # registry moves the pointer and presses keys on it.
        subprocess.run(["dbus-update-activation-environment", "DISPLAY"], check=True, timeout=60)
        subprocess.run(["dbus-send", "--session", "--print-reply", "--reply-timeout=60000",
                        "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                       check=True, stdout=subprocess.DEVNULL, timeout=90)
        if not wait_for(lambda: _desktop_answers(), 60, step=0.2):
            raise RuntimeError("the accessibility registry did not answer")

        site = cls._spawn(["/usr/bin/python3", os.path.join(SOURCE_DIR, "demo", "demo_site.py"),
                           "--big-folder", str(BIG_ROWS), "--big-file-mib", "1"],
                          stdout=subprocess.PIPE, text=True)
        ready = json.loads(site.stdout.readline())
        cls.account = ready["accounts"][0]

        program = os.path.join(cls.work, "program")
        shutil.copytree(PROGRAM_DIR, program, copy_function=_link_or_copy,
                        ignore=shutil.ignore_patterns("quellix.cfg", "settings.cfg", "skins", "Downloads"))
        subprocess.run([os.path.join(program, "quellix-tool"), "site-config", ready["site_url"],
                        ready["site_name"], ready["skin_url"], "-o", os.path.join(program, "quellix.cfg")],
                       check=True, stdout=subprocess.DEVNULL)
        _write_download_queue(os.path.join(program, "downloads.queue"), ready["site_url"], cls.account["name"],
                              os.path.join(program, "Downloads") + "/")
        runtime = os.path.join(cls.work, "runtime")  # the single-instance lock lives here
        os.mkdir(runtime, 0o700)
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                   QTWEBENGINE_DISABLE_SANDBOX="1", XDG_RUNTIME_DIR=runtime, LC_ALL="C.UTF-8")
        log_path = os.path.join(cls.work, "client.log")
        with open(log_path, "wb") as log:
            client = cls._spawn([os.path.join(program, "quellix")], env=env, stdout=log, stderr=subprocess.STDOUT)

        desktop = pyatspi.Registry.getDesktop(0)
        cls.app = wait_for(lambda: find(desktop, role_name("application", "quellix"), depth=1), 60)
        if cls.app is None:
            with open(log_path, "rb") as log:
                output = log.read()[-2000:].decode("utf-8", "replace")
            state = "running" if client.poll() is None else f"ended with {client.returncode}"
            raise RuntimeError(f"the client did not appear on the accessibility bus ({state}); it wrote:\n{output}")

    @classmethod
    def tearDownClass(cls):
        for process in reversed(cls.processes):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            if process.stdout:
                process.stdout.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def window(self, predicate, timeout=30):
        def look():
            for i in range(self.app.childCount):
                child = self.app.getChildAtIndex(i)
                if child is not None and showing(child) and find(child, predicate):
                    return child
            return None
        found = wait_for(look, timeout)
        self.assertIsNotNone(found)
        return found

    def test_1_login_window_names_its_fields_and_logs_in(self):
        login = self.window(role_name("push button", "登 录"))
        self.assertEqual(login.name, "网盘用户登录")
        user = find(login, role_name("text", "网盘帐号"))
        password = find(login, role_name("password text", "登录密码"))
        self.assertIsNotNone(user)
        self.assertIsNotNone(password)
        # The saved login's boxes are named; without a ticked "记住密码",
        # "自动登录" waits for it.
        remember = find(login, role_name("check box", "记住密码"))
        automatic = find(login, role_name("check box", "自动登录"))
        self.assertIsNotNone(remember)
        self.assertIsNotNone(automatic)
        self.assertFalse(automatic.getState().contains(pyatspi.STATE_ENABLED))
        user.queryEditableText().setTextContents(self.account["name"])
        password.queryEditableText().setTextContents(self.account["password"])
        find(login, role_name("push button", "登 录")).queryAction().doAction(0)

        main = self.window(role_name("page tab", "上传队列"))
        type(self).main = main
        for name in ("网盘根目录", "返回上级", "添加文件", "添加目录", "上传文件"):
            self.assertIsNotNone(find(main, role_name("push button", name)), name)
        self.assertIsNotNone(find(main, role_name("page tab", "我的网盘")))
        self.assertIsNotNone(find(main, role_name("progress bar", "当前进度")))
        listing = find(main, role_name("tree", "网盘文件列表"))
        self.assertIsNotNone(listing)
        table = listing.queryTable()
        self.assertEqual([table.getColumnDescription(c) for c in range(table.nColumns)],
                         ["文件名称", "文件大小", "文件类型", "创建时间", "浏览数", "下载数", "ID"])
        # The root listing arrives after the window shows.
        names = wait_for(lambda: [table.getAccessibleAt(r, 0).name for r in range(listing.queryTable().nRows)]
                         if listing.queryTable().nRows > 1 else None, 30)
        self.assertIn("大目录", names)
        self.assertIn("readme.txt", names)

    def test_2_a_big_folder_opened_by_keyboard_is_listed_at_once(self):
        main = self.main
        listing = find(main, role_name("tree", "网盘文件列表"))
        table = listing.queryTable()
        row = [table.getAccessibleAt(r, 0).name for r in range(table.nRows)].index("大目录")
        # A click on the row gives the window the keyboard (there is no
        # window manager on the display to do it) and selects the row.
        x, y, width, height = table.getAccessibleAt(row, 0).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")
        self.assertTrue(wait_for(lambda: listing.queryTable().isRowSelected(row), 10))
        self.assertTrue(wait_for(lambda: listing.getState().contains(pyatspi.STATE_FOCUSED), 10))
        started = time.monotonic()
        pyatspi.Registry.generateKeyboardEvent(0xff0d, None, pyatspi.KEY_SYM)  # Return
        rows = wait_for(lambda: listing.queryTable().nRows == BIG_ROWS, BIG_LISTING_BOUND_S, step=0.01)
        elapsed = time.monotonic() - started
        print(f"\n{BIG_ROWS} rows listed {elapsed:.2f} s after Enter (request, reply and fill)")
        self.assertTrue(rows, f"{listing.queryTable().nRows} rows after {BIG_LISTING_BOUND_S} s")
        table = listing.queryTable()
        self.assertEqual(table.getAccessibleAt(BIG_ROWS - 1, 0).name, f"文件 {BIG_ROWS:06d}.txt")


    def test_3_a_download_queue_of_10000_rows_is_shown_and_cleared_at_once(self):
        # The queue file holds 10,000 paused downloads of the account: they
        # came back with the login, while the bridge was on.
        main = self.main
        queue = find(main, role_name("tree", "下载文件列表"))
        tab = find(main, role_name("page tab", "下载队列"))
        x, y, width, height = tab.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        started = time.monotonic()
        pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")
        self.assertTrue(wait_for(lambda: showing(queue) and queue.queryTable().nRows == QUEUE_ROWS, 30, step=0.01))
        print(f"\n{QUEUE_ROWS} download rows shown {time.monotonic() - started:.2f} s after the tab was clicked")
        table = queue.queryTable()
        self.assertEqual(table.getAccessibleAt(QUEUE_ROWS - 1, 0).name, f"队列文件 {QUEUE_ROWS:05d}.bin")
        self.assertEqual(table.getAccessibleAt(0, 4).name, "已暂停")
        # All rows selected, then Delete: they have no partial file, so
        # nothing is asked.
        x, y, width, height = table.getAccessibleAt(0, 0).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")
        self.assertTrue(wait_for(lambda: queue.queryTable().isRowSelected(0), 10))
        subprocess.run(["xdotool", "key", "ctrl+a"], check=True, timeout=30)
        self.assertTrue(wait_for(lambda: queue.queryTable().isRowSelected(QUEUE_ROWS - 1), 30, step=0.01))
        started = time.monotonic()
        pyatspi.Registry.generateKeyboardEvent(0xffff, None, pyatspi.KEY_SYM)  # Delete
        self.assertTrue(wait_for(lambda: queue.queryTable().nRows == 0, 30, step=0.01))
        print(f"{QUEUE_ROWS} download rows cleared {time.monotonic() - started:.2f} s after Delete")


def _write_download_queue(path, site_url, account, folder):
    """A queue file of QUEUE_ROWS paused downloads of the account, as the
    client leaves one behind."""
    from urllib.parse import quote

    def field(text):
        return quote(text.encode("utf-8") if isinstance(text, str) else text, safe="")

    lines = ["quellix-queue 1"]
    for i in range(1, QUEUE_ROWS + 1):
        lines.append(" ".join([field(site_url.encode("gbk")), field(account.encode("gbk")), str(9000000 + i),
                               field(f"队列文件 {i:05d}.bin"), field(folder), "", "1000", field("1000B"), "paused"]))
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def _desktop_answers():
    try:
        pyatspi.Registry.getDesktop(0).childCount
        return True
    except Exception:  # the registry is still starting
        return False


def _link_or_copy(source, target):
    try:
        os.link(source, target)
    except OSError:
        shutil.copy2(source, target)


if __name__ == "__main__":
    unittest.main()

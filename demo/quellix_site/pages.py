"""The site's web pages: small, self-contained GBK HTML with inline style."""

from __future__ import annotations

from html import escape

FONT = '"Microsoft YaHei", "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif'

STYLE = """
body { margin: 0; font-family: %s; font-size: 14px; color: #2b3440; background: #eef2f7; }
a { color: #1f6fd1; text-decoration: none; } a:hover { text-decoration: underline; }
.top { background: linear-gradient(90deg, #1f5fbf, #2f8fe0); color: #fff; padding: 18px 32px; }
.top h1 { margin: 0; font-size: 22px; font-weight: 600; letter-spacing: 1px; }
.top p { margin: 4px 0 0; opacity: .85; }
.main { max-width: 760px; margin: 24px auto; padding: 0 16px; }
.card { background: #fff; border-radius: 8px; box-shadow: 0 1px 4px rgba(20,40,80,.12); padding: 20px 24px; margin-bottom: 18px; }
.card h2 { margin: 0 0 12px; font-size: 17px; color: #1f5fbf; }
table.info { border-collapse: collapse; width: 100%%; }
table.info th { text-align: left; width: 110px; color: #6a7686; font-weight: normal; padding: 6px 0; }
table.info td { padding: 6px 0; }
.button { display: inline-block; background: #2f8fe0; color: #fff; border-radius: 4px; padding: 7px 18px; }
.note { color: #6a7686; font-size: 13px; }
.bad { color: #c0392b; }
input { border: 1px solid #c8d2de; border-radius: 4px; padding: 6px 8px; width: 220px; }
.foot { text-align: center; color: #9aa5b1; font-size: 12px; margin: 30px 0; }
""" % FONT


def page(title: str, body: str, style: str = STYLE) -> bytes:
    html = ('<!DOCTYPE html>\n<html lang="zh-CN"><head><meta charset="gbk">'
            f"<title>{escape(title)}</title><style>{style}</style></head>\n<body>{body}</body></html>\n")
    return html.encode("gbk", errors="xmlcharrefreplace")


def _frame(site_name: str, subtitle: str, content: str) -> str:
    return (f'<div class="top"><h1>{escape(site_name)}</h1><p>{escape(subtitle)}</p></div>'
            f'<div class="main">{content}</div>'
            '<div class="foot">Quellix 演示网盘 · 仅供本机测试使用</div>')


def index(site_name: str, site_url: str, accounts) -> bytes:
    rows = "".join(f"<tr><th>{escape(a.name)}</th><td>密码：{escape(a.password)}</td></tr>" for a in accounts)
    content = (
        '<div class="card"><h2>欢迎使用</h2><p>这是一个运行在本机的网盘站点，'
        "用来演示和测试 Quellix 桌面客户端：登录、浏览目录、上传（FTP 断点续传）、分段下载和皮肤切换。</p>"
        f'<p><a class="button" href="{escape(site_url)}about.html">关于本站</a></p></div>'
        f'<div class="card"><h2>演示帐号</h2><table class="info">{rows}</table></div>'
        '<div class="card"><h2>帐号服务</h2>'
        f'<p><a href="{escape(site_url)}account.php?action=register">注册帐号</a> · '
        f'<a href="{escape(site_url)}account.php?action=forget_pwd">忘记密码</a></p></div>')
    return page(site_name, _frame(site_name, "个人文件存储与分享", content))


def message(site_name: str, title: str, text: str) -> bytes:
    content = f'<div class="card"><h2>{escape(title)}</h2><p>{escape(text)}</p></div>'
    return page(title, _frame(site_name, title, content))


def passport(site_name: str, site_url: str, account_name: str, files: int, folders: int, used: str) -> bytes:
    content = (
        f'<div class="card"><h2>欢迎回来，{escape(account_name)}</h2>'
        "<p>您已通过客户端通行证登录本站。</p>"
        '<table class="info">'
        f"<tr><th>当前用户</th><td>{escape(account_name)}</td></tr>"
        f"<tr><th>文件数</th><td>{files}</td></tr>"
        f"<tr><th>文件夹数</th><td>{folders}</td></tr>"
        f"<tr><th>已用空间</th><td>{escape(used)}</td></tr></table>"
        f'<p><a class="button" href="{escape(site_url)}">进入网站首页</a></p></div>')
    return page(f"{site_name} - 用户中心", _frame(site_name, "用户中心", content))


def passport_refused(site_name: str, reason: str) -> bytes:
    content = (f'<div class="card"><h2 class="bad">通行证验证失败</h2><p>{escape(reason)}</p>'
               '<p class="note">请在客户端中重新登录后再打开此链接。</p></div>')
    return page(f"{site_name} - 通行证", _frame(site_name, "用户中心", content))


def register(site_name: str, site_url: str) -> bytes:
    content = (
        '<div class="card"><h2>注册新帐号</h2>'
        '<p class="note">演示站点不开放注册，请使用首页列出的演示帐号登录。</p>'
        '<table class="info">'
        '<tr><th>用户名</th><td><input name="username" disabled></td></tr>'
        '<tr><th>登录密码</th><td><input type="password" name="password" disabled></td></tr>'
        '<tr><th>电子邮箱</th><td><input name="email" disabled></td></tr></table>'
        f'<p><a class="button" href="{escape(site_url)}">返回首页</a></p></div>')
    return page(f"{site_name} - 注册帐号", _frame(site_name, "注册帐号", content))


def forget_password(site_name: str, site_url: str) -> bytes:
    content = (
        '<div class="card"><h2>找回密码</h2>'
        "<p>请输入注册时填写的电子邮箱，我们会把重设密码的链接发送给您。</p>"
        '<p><input name="email" placeholder="name@example.cn" disabled></p>'
        '<p class="note">演示站点不发送邮件；演示帐号的密码列在首页。</p>'
        f'<p><a class="button" href="{escape(site_url)}">返回首页</a></p></div>')
    return page(f"{site_name} - 找回密码", _frame(site_name, "找回密码", content))


def file_info(site_name: str, node, size_text: str) -> bytes:
    content = (
        f'<div class="card"><h2>{escape(node.name)}</h2><table class="info">'
        f"<tr><th>文件大小</th><td>{escape(size_text)}（{node.size} 字节）</td></tr>"
        f"<tr><th>文件类型</th><td>{escape(node.kind)} 文件</td></tr>"
        f"<tr><th>上传时间</th><td>{escape(node.created)}</td></tr>"
        f"<tr><th>分享者</th><td>{escape(node.owner)}</td></tr>"
        f"<tr><th>浏览次数</th><td>{node.views}</td></tr>"
        f"<tr><th>下载次数</th><td>{node.downloads}</td></tr></table>"
        '<p class="note">请使用 Quellix 客户端登录后下载此文件。</p></div>')
    return page(f"{node.name} - {site_name}", _frame(site_name, "文件分享", content))


NEWS_STYLE = """
html, body { margin: 0; height: 53px; overflow: hidden; font-family: %s; }
body { background: linear-gradient(180deg, #f7fbff, #e3eefb); border-top: 1px solid #b9cfe8; box-sizing: border-box; }
.strip { display: flex; align-items: center; height: 51px; padding: 0 14px; }
.badge { flex: none; background: #e8590c; color: #fff; font-size: 12px; border-radius: 3px; padding: 3px 8px; margin-right: 12px; }
.track { flex: 1; overflow: hidden; white-space: nowrap; }
.items { display: inline-block; padding-left: 100%%; animation: run 28s linear infinite; font-size: 13px; color: #24405f; }
.items span { margin-right: 48px; }
@keyframes run { from { transform: translateX(0); } to { transform: translateX(-100%%); } }
""" % FONT


def news() -> bytes:
    items = ["新版客户端支持断点续传，上传中断后点击“续传文件”即可继续。",
             "分段下载已上线：大文件下载速度提升一倍。",
             "三款全新界面皮肤可在“选项 → 更换皮肤”中免费使用。",
             "系统维护通知：本周日 02:00-04:00 暂停上传服务。"]
    spans = "".join(f"<span>{escape(item)}</span>" for item in items)
    body = f'<div class="strip"><div class="badge">公告</div><div class="track"><div class="items">{spans}</div></div></div>'
    return page("网盘公告", body, NEWS_STYLE)


ABOUT_STYLE = """
body { margin: 0; font-family: %s; font-size: 13px; color: #2b3440; background: #fff; }
.head { background: linear-gradient(90deg, #1f5fbf, #2f8fe0); color: #fff; padding: 14px 18px; }
.head h1 { margin: 0; font-size: 18px; } .head p { margin: 3px 0 0; opacity: .85; font-size: 12px; }
.body { padding: 10px 18px; } ul { margin: 6px 0; padding-left: 20px; } li { margin: 3px 0; }
.note { color: #6a7686; font-size: 12px; }
""" % FONT


def about(site_name: str) -> bytes:
    body = (f'<div class="head"><h1>{escape(site_name)}</h1><p>个人文件存储与分享服务</p></div>'
            '<div class="body"><p>本客户端为本站专用版本，提供：</p><ul>'
            "<li>批量上传与断点续传</li><li>分段并行下载</li>"
            "<li>文件链接一键复制</li><li>多款界面皮肤</li></ul>"
            '<p class="note">客服邮箱：support@demo.quellix.invalid　工作时间：9:00-18:00</p></div>')
    return page(f"关于 {site_name}", body, ABOUT_STYLE)


def vendor_home(version: str) -> bytes:
    text = f"您正在使用的客户端版本：v{version}" if version else "感谢您使用 Quellix 客户端。"
    content = (f'<div class="card"><h2>技术支持</h2><p>{escape(text)}</p>'
               "<p>皮肤下载、使用帮助与问题反馈请联系 Quellix Team。</p></div>")
    return page("Quellix Team 技术支持", _frame("Quellix Team", "客户端技术支持与皮肤中心", content))

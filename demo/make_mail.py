#!/usr/bin/env python3
"""Writes the demo's sample mail into demo/mail/ (run once; the results are kept
in the repository). Every text is the project's own."""
import base64
import email.utils
import quopri
from email.header import Header
from pathlib import Path

OUT = Path(__file__).resolve().parent / "mail"
TO = "demo@glimra.example"


def hdr(text, charset="utf-8"):
    return Header(text, charset).encode()


def write(name, lines, body: bytes):
    head = "\r\n".join(lines).encode("ascii") + b"\r\n\r\n"
    (OUT / name).write_bytes(head + body)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def main():
    OUT.mkdir(exist_ok=True)
    # 1. ISO-2022-JP, the classic Japanese mail.
    body = crlf("デモ太郎さま\n\nグリムラメールのデモへようこそ。\nこのメールは ISO-2022-JP で書かれています。\n"
                "ツールバーの「受信」でメールを受け取り、「着信履歴」で読み返せます。\n\n― グリムラ開発チーム\n")
    write("01-iso2022jp.eml", [
        "From: " + hdr("グリムラ開発チーム", "iso-2022-jp") + " <team@glimra.example>",
        "To: " + TO,
        "Subject: " + hdr("ようこそ、グリムラメールへ", "iso-2022-jp"),
        "Date: Mon, 7 Dec 2026 09:00:00 +0900",
        "Message-ID: <welcome.1@glimra.example>",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=ISO-2022-JP",
        "Content-Transfer-Encoding: 7bit",
    ], body.encode("iso2022_jp"))
    # 2. Shift_JIS in 8 bits, as older clients send it.
    body = crlf("お疲れさまです。\n\n来週の定例会は、会議室Ｂ（３階）で１４時からです。\n資料は前日までにお送りします。\n"
                "①議事録の確認　②予算　③その他\n\n山田\n")
    write("02-shiftjis.eml", [
        "From: " + hdr("山田 花子") + " <hanako@glimra.example>",
        "To: " + TO,
        "Subject: " + hdr("定例会のお知らせ"),
        "Date: Mon, 7 Dec 2026 13:15:00 +0900",
        "Message-ID: <meeting.2@glimra.example>",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=Shift_JIS",
        "Content-Transfer-Encoding: 8bit",
    ], body.encode("cp932"))
    # 3. UTF-8 in base64, with characters outside CP932.
    body = crlf("こんにちは！\n\n写真展の案内です。会場は𠮷野家の隣のギャラリーです。\n"
                "入場無料、12月20日（日）まで。🎨\n\n佐藤\n")
    write("03-utf8-base64.eml", [
        "From: " + hdr("佐藤 次郎") + " <jiro@glimra.example>",
        "To: " + TO,
        "Subject: " + hdr("写真展のご案内"),
        "Date: Tue, 8 Dec 2026 10:30:00 +0900",
        "Message-ID: <photo.3@glimra.example>",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=UTF-8",
        "Content-Transfer-Encoding: base64",
    ], crlf(base64.encodebytes(body.encode("utf-8")).decode("ascii")).encode("ascii"))
    # 4. An attachment with a Japanese file name.
    text = crlf("見積書をお送りします。ご確認ください。\n\n鈴木\n")
    sheet = crlf("品名,数量,単価\nりんご,10,120\nみかん,20,80\n").encode("cp932")
    fname = "見積書.csv"
    parts = [
        b"--SEP",
        b"Content-Type: text/plain; charset=UTF-8",
        b"Content-Transfer-Encoding: 8bit",
        b"",
        text.encode("utf-8"),
        b"--SEP",
        b"Content-Type: text/csv; charset=Shift_JIS; name=\"" + hdr(fname).encode("ascii") + b"\"",
        b"Content-Disposition: attachment; filename*=UTF-8''" + "".join(
            "%%%02X" % b for b in fname.encode("utf-8")).encode("ascii"),
        b"Content-Transfer-Encoding: base64",
        b"",
        crlf(base64.encodebytes(sheet).decode("ascii")).encode("ascii"),
        b"--SEP--",
        b"",
    ]
    write("04-attachment.eml", [
        "From: " + hdr("鈴木 一郎") + " <ichiro@glimra.example>",
        "To: " + TO,
        "Subject: " + hdr("見積書の送付（添付あり）"),
        "Date: Tue, 8 Dec 2026 16:45:00 +0900",
        "Message-ID: <quote.4@glimra.example>",
        "MIME-Version: 1.0",
        "Content-Type: multipart/mixed; boundary=\"SEP\"",
    ], b"\r\n".join(parts))
    # 5. HTML only.
    html = crlf("<html><body><h1>冬のセール</h1><p>全品<b>２割引</b>です。</p>"
                "<ul><li>手袋</li><li>マフラー</li></ul><p>グリムラ商店</p></body></html>\n")
    write("05-html-only.eml", [
        "From: " + hdr("グリムラ商店") + " <shop@glimra.example>",
        "To: " + TO,
        "Subject: " + hdr("冬のセールのお知らせ"),
        "Date: Wed, 9 Dec 2026 08:00:00 +0900",
        "Message-ID: <sale.5@glimra.example>",
        "MIME-Version: 1.0",
        "Content-Type: text/html; charset=UTF-8",
        "Content-Transfer-Encoding: quoted-printable",
    ], crlf(quopri.encodestring(html.encode("utf-8")).decode("ascii")).encode("ascii"))
    # 6. A long mail: more than the store's 32000-byte body field.
    lines = ["長いメールの見本です。保存されるのは先頭の約32000バイトで、全文は添付フォルダに .eml として残ります。", ""]
    for i in range(1, 901):
        lines.append(f"{i:03d} 行目：ホタルが夜空を舞い、星がまたたく静かな夜のお話です。")
    lines.append("― ここが最後の行です ―")
    write("06-long.eml", [
        "From: " + hdr("長文 さん") + " <long@glimra.example>",
        "To: " + TO,
        "Subject: " + hdr("とても長いメール"),
        "Date: Wed, 9 Dec 2026 12:00:00 +0900",
        "Message-ID: <long.6@glimra.example>",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=UTF-8",
        "Content-Transfer-Encoding: 8bit",
    ], crlf("\n".join(lines) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()

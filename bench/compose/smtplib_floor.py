#!/usr/bin/python3
"""The floor of the bulk-send benchmark: Python's smtplib sends the same mail
(a Japanese text body and the attachment) to count recipients over one
connection, one transaction each. Prints the seconds taken."""
import smtplib
import sys
import time
from email.message import EmailMessage


def main():
    host, port, count, attachment = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    data = open(attachment, 'rb').read()
    start = time.perf_counter()
    with smtplib.SMTP(host, port) as smtp:
        for i in range(count):
            msg = EmailMessage()
            msg['From'] = 'me@example.jp'
            msg['To'] = 'user%d@example.jp' % (i + 1)
            msg['Subject'] = 'お知らせ'
            msg.set_content('皆様へ\nいつもお世話になっております。\n')
            msg.add_attachment(data, maintype='application', subtype='octet-stream', filename='資料.bin')
            smtp.send_message(msg)
    print('%.6f' % (time.perf_counter() - start))


if __name__ == '__main__':
    main()

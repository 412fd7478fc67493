#!/usr/bin/python3
"""Parses one stored message with Python's standard email package and prints
what a reader sees as JSON: headers decoded, each part's type, charset,
transfer encoding, file name, and its text or the size and SHA-256 of its
bytes. An independent check of the messages our own code builds."""
import email
import email.policy
import hashlib
import json
import sys


def main():
    raw = open(sys.argv[1], 'rb').read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    out = {
        'headers': [[k, str(v)] for k, v in msg.items()],
        'raw_headers': [[k, v] for k, v in msg.raw_items()],
        'content_type': msg.get_content_type(),
        'defects': [type(d).__name__ for part in msg.walk() for d in part.defects],
        'parts': [],
    }
    for part in msg.walk():
        if part.is_multipart():
            continue
        info = {
            'content_type': part.get_content_type(),
            'charset': part.get_content_charset(),
            'cte': part.get('Content-Transfer-Encoding'),
            'disposition': part.get_content_disposition(),
            'filename': part.get_filename(),
        }
        if part.get_content_maintype() == 'text' and part.get_content_disposition() != 'attachment':
            info['text'] = part.get_content()
        else:
            data = part.get_payload(decode=True)
            info['size'] = len(data)
            info['sha256'] = hashlib.sha256(data).hexdigest()
        out['parts'].append(info)
    print(json.dumps(out, ensure_ascii=True))


if __name__ == '__main__':
    main()

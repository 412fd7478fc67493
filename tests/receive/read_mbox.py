#!/usr/bin/env python3
"""Reads an mboxrd file with Python's own mailbox and email modules and prints,
as JSON, one object per message: its decoded fields, its text and a digest of
its bytes."""
import email
import email.policy
import hashlib
import json
import mailbox
import re
import sys

messages = []
box = mailbox.mbox(sys.argv[1], create=False)
for key in box.keys():
    raw = re.sub(rb'(?m)^>(>*From )', rb'\1', box.get_bytes(key))
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    sender = msg['from']
    body = msg.get_body(('plain',))
    messages.append({
        'subject': str(msg['subject'] or ''),
        'from': [[a.display_name, a.addr_spec] for a in sender.addresses] if sender else [],
        'date': str(msg['date'] or ''),
        'message_id': str(msg['message-id'] or ''),
        'text': body.get_content() if body is not None else '',
        'sha256': hashlib.sha256(raw).hexdigest(),
    })
json.dump(messages, sys.stdout, ensure_ascii=False)

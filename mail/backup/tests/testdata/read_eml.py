"""Reads backup .eml files with Python's email package and prints one JSON
line per file: subject, the address headers as (name, address) pairs, the
other headers, text and HTML bodies, and each attachment's name, type and
SHA-256. A file that does not parse prints an "error" member."""
import email
import email.policy
import hashlib
import json
import sys


def describe(path):
    with open(path, 'rb') as f:
        raw = f.read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    out = {'file': path, 'subject': str(msg['subject'] or ''), 'date': str(msg['date'] or ''),
           'text': None, 'html': None, 'attachments': [], 'defects': len(msg.defects)}
    for name in ('message-id', 'in-reply-to', 'references'):
        out[name] = str(msg[name] or '')
    for name in ('from', 'to', 'cc', 'bcc', 'reply-to'):
        header = msg[name]
        out[name] = [[a.display_name, a.addr_spec] for a in header.addresses] if header is not None else []
    for kind in ('plain', 'html'):
        part = msg.get_body(preferencelist=(kind,))
        if part is not None and part.get_content_type() == 'text/' + kind and not part.get_filename():
            out['text' if kind == 'plain' else 'html'] = part.get_content().replace('\r\n', '\n')
    for part in msg.iter_attachments():
        entry = {'filename': part.get_filename(), 'type': part.get_content_type()}
        if part.get_content_type() == 'message/rfc822':
            inner = part.get_payload(0)
            entry['inner_subject'] = str(inner['subject'])
            entry['inner_body'] = inner.get_content().replace('\r\n', '\n')
        else:
            data = part.get_payload(decode=True) or b''
            entry['sha256'] = hashlib.sha256(data).hexdigest()
        out['attachments'].append(entry)
    if msg.is_multipart() and not raw.rstrip().endswith(b'--'):
        out['error'] = 'multipart without its closing boundary'
    return out


for path in sys.argv[1:]:
    try:
        print(json.dumps(describe(path)))
    except Exception as e:  # noqa: BLE001 - any failure means "does not parse"
        print(json.dumps({'file': path, 'error': repr(e)}))

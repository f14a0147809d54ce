#!/usr/bin/env python3
"""Writes an archive of COUNT articles as mbox files under OUT, made of copies of the
corpus's mbox files: copy k > 0 rewrites every Message-ID (and the References and In-Reply-To
that name them) to "<id-part.ck@host>" and adds k * 1,000,000 to the article numbers of
Xref, so each copy is new to the index and replies stay within their copy.
Usage: scale-corpus.py MBOX_FOLDER OUT COUNT"""
import os
import re
import sys

source, out, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
os.makedirs(out, exist_ok=True)
files = sorted(f for f in os.listdir(source) if f.endswith(".mbox"))
messages = []  # (group file, [message bytes])
for name in files:
    data = open(os.path.join(source, name), "rb").read()
    parts = re.split(rb"(?m)^(?=From \S+ )", data)
    messages.append((name, [p for p in parts if p.startswith(b"From ")]))

ids = re.compile(rb"<([^<>@\s]+)@([^<>\s]+)>")
xref = re.compile(rb"(?m)^(Xref: \S+)((?: \S+:\d+)+)")


id_headers = re.compile(rb"(?mi)^(message-id|references|in-reply-to):.*(?:\n[ \t].*)*")


def rewrite(message, k):
    head, sep, body = message.partition(b"\n\n")
    # Only the identifiers: the copies of an article must look the same on a result page.
    head = id_headers.sub(lambda h: ids.sub(
        lambda m: b"<" + m.group(1) + b".c%d@" % k + m.group(2) + b">", h.group(0)), head)
    head = xref.sub(lambda m: m.group(1) + re.sub(
        rb":(\d+)", lambda n: b":%d" % (int(n.group(1)) + k * 1000000), m.group(2)), head)
    return head + sep + body


written, k = 0, 0
while written < count:
    for name, group in messages:
        with open(os.path.join(out, "c%03d-%s" % (k, name)), "wb") as f:
            for message in group:
                if written >= count:
                    break
                f.write(message if k == 0 else rewrite(message, k))
                written += 1
        if written >= count:
            break
    k += 1
print(written)

#!/usr/bin/python3
"""A loopback room service that misbehaves in the content of its replies.

kibchat-sim covers transport faults (resets, statuses, empty, cut or mistyped JSON, slow
replies). This server covers what it cannot send: bodies of 100 MB, polls with 100 000
entries, megabyte texts, control characters and markup, any poll delay, a cursor that
jumps backwards. It speaks the same four requests and writes the same request log:
"MS METHOD TARGET STATUS [NOTE]", MS since start, flushed per line.

Usage: faultsrv.py [--port N] --log FILE [--rate R] [--next N] [--fault KIND=FAULT[,first=N]]
  KIND   lookup | join | catalogue | poll | all
  FAULT  huge:MB       HTTP 200 announcing MB mebibytes, streamed until the client hangs up
                       (the NOTE says how many bytes went out)
         many:N        a poll reply with N chat entries (NOTE: body size)
         bigtext:BYTES poll entries whose text and name are BYTES bytes of UTF-8
         hostile       poll entries full of control characters, bidi marks and markup
         next:V        the poll reply's "next" is V (any 32-bit integer)
         back:K        the poll reply's "from" is the request's FROM minus K
         spam:K        of every K poll entries one is a normal one and the others are lines
                       a filter can catch: from the user "SpamBot", or holding "微信"; 0: all
                       of them (NOTE: how many normal ones, kept=N)
         repeats:MB    a normal poll reply followed by about MB mebibytes of one key repeated,
                       each time with an array of small arrays (NOTE: body size)
  first=N  only the first N requests of that kind (default: every one)
Only 127.0.0.1 is served; the first stdout line is "listening 127.0.0.1:PORT".
"""

import argparse
import json
import re
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ROOM_ID = 4242
GROUP = f"grp{ROOM_ID}"
BACKLOG = 10
MAX_PER_REPLY = 1000
START = time.monotonic()

CATALOGUE = [
    {"id": 1, "name": "flower", "title": "鲜花", "moneyCost": 0},
    {"id": 2, "name": "rose", "title": "玫瑰", "moneyCost": 5},
]

# Shown literally these are white and blue text; taken as markup they would paint pure green
# (the test counts green pixels), show a picture, or break the line layout.
HOSTILE_TEXTS = [
    '<span style="background-color:#00ff00">GREENBG</span>',
    '<table bgcolor="#00ff00" width="100%"><tr><td>TABLE</td></tr></table>',
    '<font color="#00ff00" size="7">FONT</font> <b>b</b> <i>i</i>',
    '<img src="images/buttons/icon_locked.png" width="200" height="200">',
    '<a href="http://127.0.0.1:9/">link</a> <script>alert(1)</script> &lt;&amp;&gt;',
    "".join(chr(c) for c in range(0, 32)) + "\x7f" + "".join(chr(c) for c in range(0x80, 0xa0)),
    "\u202eRIGHT-TO-LEFT OVERRIDE\u202c \u200f\u200e\u061c \u2066\u2067\u2068\u2069 \ufeff",
    "\u202b\u05e9\u05dc\u05d5\u05dd \u0645\u0631\u062d\u0628\u0627 \u202a\u202d\u202c",
    "e" + "\u0301" * 3000,
    "\ud800 lone \udfff surrogates \U0001f600",
    "\x1b[31mANSI\x1b[0m \r\n\t\v\f \u2028\u2029 line separators",
]
HOSTILE_NAMES = ['<font color="#00ff00">NAME</font>', "\u202eemaN", "\x00\x07", "<b>x</b>"]


def now_ms():
    return int((time.monotonic() - START) * 1000)


class Rule:
    def __init__(self, text):
        m = re.fullmatch(r"(lookup|join|catalogue|poll|all)=([a-z]+)(?::(-?\d+))?(?:,first=(\d+))?",
                         text)
        if not m:
            raise ValueError(f"bad fault rule: {text}")
        self.kind, self.fault = m.group(1), m.group(2)
        self.value = int(m.group(3)) if m.group(3) is not None else None
        self.first = int(m.group(4)) if m.group(4) is not None else None
        needs_value = {"huge", "many", "bigtext", "next", "back", "repeats", "spam"}
        if (self.fault in needs_value) != (self.value is not None) or \
                self.fault not in needs_value | {"hostile"}:
            raise ValueError(f"bad fault rule: {text}")
        self.seen = 0

    def fires(self, kind):
        if self.kind not in ("all", kind):
            return False
        self.seen += 1
        return self.first is None or self.seen <= self.first


class State:
    def __init__(self, rate, next_delay, rules, log_path):
        self.rate = rate
        self.next = next_delay
        self.rules = rules
        self.lock = threading.Lock()
        self.log = open(log_path, "a", encoding="utf-8")

    def head(self):
        # Messages arrive evenly at the rate; a new group already has a few behind it.
        return BACKLOG + int((time.monotonic() - START) * self.rate)

    def pick(self, kind):
        with self.lock:
            chosen = None
            for rule in self.rules:
                if rule.fires(kind) and chosen is None:
                    chosen = rule
            return chosen

    def write(self, target, status, note="", at=None):
        # `at`: when the request arrived, for replies whose sending takes a while.
        with self.lock:
            when = now_ms() if at is None else at
            self.log.write(f"{when} GET {target} {status}{(' ' + note) if note else ''}\n")
            self.log.flush()


def chat_entry(mid, content, name, grade=20):
    entry = {"type": "chat", "msg": {"content": content, "user": {"username": name, "grade": grade}}}
    if mid is not None:  # the overlay reads no id; a flood leaves it out to stay small
        entry["id"] = mid
    return entry


def spam_entry(mid):
    if mid % 2:
        return chat_entry(mid, f"第{mid}条 spam", "SpamBot", 3)
    return chat_entry(mid, f"加微信{mid}领奖", f"观众{mid % 50}", 3)


def is_spam(entry):
    msg = entry["msg"]
    return msg["user"]["username"] == "SpamBot" or "微信" in msg.get("content", "")


def normal_entry(mid):
    if mid % 7 == 0:
        return {"id": mid, "type": "gift",
                "msg": {"itemType": "rose", "number": 1 + mid % 5,
                        "user": {"username": f"观众{mid % 50}", "grade": mid % 30}}}
    return chat_entry(mid, f"第{mid}条消息 hello", f"观众{mid % 50}", mid % 30)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "faultsrv"
    state = None  # set in main

    def log_message(self, *args):  # the request log replaces the default stderr lines
        pass

    def send_json(self, obj, note=""):
        body = json.dumps(obj, separators=(",", ":")).encode("utf-8")
        self.send_body(body, note)

    def send_body(self, body, note="", status=200):
        self.send_response(status)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.state.write(self.path, status, note)

    def send_huge(self, mebibytes):
        arrived = now_ms()
        total = mebibytes << 20
        self.send_response(200)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.send_header("Content-Length", str(total))
        self.end_headers()
        chunk = (b'{"next":1,"from":1,"msgs":[' + b'{"type":"chat","msg":{"content":"' +
                 b"x" * 65000).ljust(1 << 16, b"x")
        sent = 0
        try:
            while sent < total:
                piece = chunk[: min(len(chunk), total - sent)]
                self.wfile.write(piece)
                sent += len(piece)
            note = f"sent={sent} complete"
        except OSError:  # the client hung up: how far it let us get is the point
            note = f"sent={sent} hangup"
        self.close_connection = True
        self.state.write(self.path, 200, note, at=arrived)

    def do_GET(self):
        st = self.state
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        poll = re.fullmatch(r"/chatroom/msgs/([^/]+)/(-?\d{1,18})/(-?\d{1,18})", url.path)
        if url.path == "/room/getinfo":
            kind = "lookup"
        elif url.path == "/item/getallitems":
            kind = "catalogue"
        elif url.path == "/chatroom/joinroom":
            kind = "join"
        elif poll:
            kind = "poll"
        else:
            self.send_body(b'{"error":"not found"}', status=404)
            return
        rule = st.pick(kind)
        if rule and rule.fault == "huge":
            self.send_huge(rule.value)
            return
        if kind == "lookup":
            name = query.get("domain", [""])[0]
            self.send_json({"BaseRoomInfo": {"Id": ROOM_ID, "Domain": name, "Name": name},
                            "OnlineCount": 1234, "IsBroadcasting": True})
        elif kind == "catalogue":
            self.send_json(CATALOGUE)
        elif kind == "join":
            self.send_json({"group": GROUP, "roomId": ROOM_ID})
        else:
            self.answer_poll(urllib.parse.unquote(poll.group(1)), int(poll.group(2)), rule)

    def answer_poll(self, group, start, rule):
        st = self.state
        if group != GROUP:
            self.send_body(b'{"error":"not found"}', status=404)
            return
        head = st.head()
        first = start if 0 < start <= head else max(0, head - BACKLOG)
        last = min(head, first + MAX_PER_REPLY)
        reply = {"next": st.next, "from": last,
                 "msgs": [normal_entry(i) for i in range(first + 1, last + 1)]}
        fault = rule.fault if rule else None
        if fault == "many":
            reply["msgs"] = [chat_entry(None, f"m{i}", "u", 1) for i in range(rule.value)]
        elif fault == "bigtext":
            unit = "长消息 long text "  # blanks let it wrap; CJK makes it multi-byte
            text = (unit * (rule.value // len(unit.encode()) + 1)).encode()[: rule.value]
            text = text.decode("utf-8", "ignore")
            reply["msgs"] = [chat_entry(last + 1, text, text[:1000], 30),
                             chat_entry(last + 2, text, "大文本", 5)]
        elif fault == "hostile":
            reply["msgs"] = [chat_entry(last + i, t, HOSTILE_NAMES[i % len(HOSTILE_NAMES)], 25)
                             for i, t in enumerate(HOSTILE_TEXTS)]
        elif fault == "spam":
            every = rule.value
            reply["msgs"] = [normal_entry(i) if every and i % every == 0 else spam_entry(i)
                             for i in range(first + 1, last + 1)]
        elif fault == "next":
            reply["next"] = rule.value
        elif fault == "back":
            reply["from"] = start - rule.value
        body = json.dumps(reply, separators=(",", ":")).encode("utf-8")
        if fault == "repeats":
            # Qt's parser keeps the last value of a repeated key and never frees the others.
            block = b',"pad":[[0]' + b",[0]" * 16383 + b"]"
            body = body[:-1] + block * max(1, (rule.value << 20) // len(block)) + b"}"
        note = f"next={reply['next']} from={reply['from']} msgs={len(reply['msgs'])}"
        if fault == "spam":
            note += f" kept={sum(1 for m in reply['msgs'] if not is_spam(m))}"
        if fault:
            note += f" fault={fault} bytes={len(body)}"
        self.send_body(body, note)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log", required=True)
    parser.add_argument("--rate", type=float, default=20.0)
    parser.add_argument("--next", type=int, default=1)
    parser.add_argument("--fault", action="append", default=[])
    args = parser.parse_args()
    try:
        rules = [Rule(text) for text in args.fault]
    except ValueError as error:
        print(f"faultsrv: {error}", file=sys.stderr)
        return 2
    Handler.state = State(args.rate, args.next, rules, args.log)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    print(f"listening 127.0.0.1:{server.server_address[1]}", flush=True)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())

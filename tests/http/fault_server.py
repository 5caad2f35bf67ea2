#!/usr/bin/env python3
"""A loopback translation server for the HTTP engine's tests.

Usage: fault_server.py MODE [--api apy|libretranslate] [--tls CERT KEY]

Prints its port on the first line of stdout, then serves until killed. It
lists one pair (eng-spa, or en->es) and translates by upper-casing; with the
Apertium API it analyses a word as a noun and a verb (a word starting "zz"
as unknown). MODE spoils the translate answers (error500 also the analysis):

  ok         good answers
  error500   HTTP 500
  badjson    a body that is not JSON
  wronglen   Content-Length larger than the body, then the connection closes
  huge       a 100 MB body
  drip       one byte every half second
  stall      reads the request and never answers
  count      LibreTranslate: one translation fewer than texts

Each request is logged to stderr as "REQ <path> <texts>", so a test can
count requests and texts per request, and a LibreTranslate key as "KEY <key>".
"""
import json
import socket
import ssl
import sys
import threading
import time
import urllib.parse

mode = sys.argv[1]
api = "apy"
tls = None
args = sys.argv[2:]
while args:
    if args[0] == "--api":
        api = args[1]
        args = args[2:]
    elif args[0] == "--tls":
        tls = (args[1], args[2])
        args = args[3:]
    else:
        sys.exit("unknown argument " + args[0])


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    method, path, _ = lines[0].split(" ", 2)
    length = 0
    for line in lines[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() == "content-length":
            length = int(value.strip())
    while len(body) < length:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        body += chunk
    return method, path, body.decode("utf-8")


def reply(conn, status, body, length=None):
    data = body.encode("utf-8") if isinstance(body, str) else body
    head = "HTTP/1.1 %d X\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n" % (
        status, len(data) if length is None else length)
    conn.sendall(head.encode("latin-1") + data)


def pairs():
    if api == "apy":
        return json.dumps({"responseData": [{"sourceLanguage": "eng", "targetLanguage": "spa"}],
                           "responseStatus": 200})
    return json.dumps([{"code": "en", "name": "English", "targets": ["es"]}])


def texts_of(body):
    if api == "apy":
        return [urllib.parse.parse_qs(body, keep_blank_values=True).get("q", [""])[0]]
    request = json.loads(body)
    if "api_key" in request:
        print("KEY", request["api_key"], file=sys.stderr, flush=True)
    return request["q"]


def translated(texts):
    out = [t.upper() for t in texts]
    if api == "apy":
        return json.dumps({"responseData": {"translatedText": out[0]}, "responseStatus": 200})
    if mode == "count":
        out = out[:-1]
    return json.dumps({"translatedText": out})


def serve(conn):
    try:
        while True:
            req = read_request(conn)
            if req is None:
                return
            method, path, body = req
            if path.startswith("/listPairs") or path.startswith("/languages"):
                print("REQ", path, 0, file=sys.stderr, flush=True)
                reply(conn, 200, pairs())
                continue
            if path.startswith("/analyse"):
                print("REQ", path, 1, file=sys.stderr, flush=True)
                word = urllib.parse.parse_qs(body, keep_blank_values=True).get("q", [""])[0]
                if api != "apy":
                    reply(conn, 404, '{"error": "no such call"}')
                elif mode == "error500":
                    reply(conn, 500, '{"error": "broken"}')
                elif word.startswith("zz"):
                    reply(conn, 200, json.dumps([["%s/*%s" % (word, word), word]]))
                else:
                    low = word.lower()
                    reply(conn, 200, json.dumps([["%s/%s<n><sg>/%s<vblex><inf>" % (word, low, low), word]]))
                continue
            texts = texts_of(body)
            print("REQ", path, len(texts), file=sys.stderr, flush=True)
            if mode in ("ok", "count"):
                reply(conn, 200, translated(texts))
            elif mode == "error500":
                reply(conn, 500, '{"error": "broken"}')
            elif mode == "badjson":
                reply(conn, 200, "{not json")
            elif mode == "wronglen":
                reply(conn, 200, translated(texts)[:5], length=1000)
                return
            elif mode == "huge":
                conn.sendall(b"HTTP/1.1 200 X\r\nContent-Length: 104857600\r\n\r\n")
                block = b" " * 65536
                for _ in range(1600):
                    conn.sendall(block)
            elif mode == "drip":
                conn.sendall(b"HTTP/1.1 200 X\r\nContent-Length: 1000\r\n\r\n")
                for _ in range(1000):
                    conn.sendall(b" ")
                    time.sleep(0.5)
            elif mode == "stall":
                time.sleep(3600)
    except (OSError, ssl.SSLError):
        return
    finally:
        conn.close()


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    context = None
    if tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*tls)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        if context:
            try:
                conn = context.wrap_socket(conn, server_side=True)
            except (OSError, ssl.SSLError):
                conn.close()
                continue
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


main()

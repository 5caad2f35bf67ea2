#!/usr/bin/env python3
"""Forwards HTTP requests to a translation server and records each POST
body, one JSON string a line, so the same requests can be sent again:
record_proxy.py TARGET_URL RECORD_FILE (prints its port, serves until
killed)."""
import http.server
import json
import sys
import urllib.request

target, record = sys.argv[1], open(sys.argv[2], "a")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def forward(self, body):
        request = urllib.request.Request(target + self.path, data=body, method=self.command)
        if self.headers.get("Content-Type"):
            request.add_header("Content-Type", self.headers["Content-Type"])
        with urllib.request.urlopen(request) as answer:
            data = answer.read()
            self.send_response(answer.status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        self.forward(None)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        record.write(json.dumps(body.decode("utf-8")) + "\n")
        record.flush()
        self.forward(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()

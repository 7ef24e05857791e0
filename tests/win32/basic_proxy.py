#!/usr/bin/env python3
"""A loopback HTTP proxy for the Wine tests that wants Basic credentials.

Usage: basic_proxy.py FILE USER:PASSWORD
Every request without the expected Proxy-Authorization gets a 407; a request
with it gets the bytes of FILE. It prints "port N" once listening, and one
line per request: the request line and the Proxy-Authorization it carried.
"""
import base64
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer

body = open(sys.argv[1], "rb").read()
expected = "Basic " + base64.b64encode(sys.argv[2].encode("cp1252")).decode("ascii")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        given = self.headers.get("Proxy-Authorization", "")
        print(f"{self.requestline} | {given}", flush=True)
        if given != expected:
            page = b"<html>407</html>"
            self.send_response(407)
            self.send_header("Proxy-Authenticate", 'Basic realm="loopback"')
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = HTTPServer(("127.0.0.1", 0), Handler)
print(f"port {server.server_address[1]}", flush=True)
server.serve_forever()

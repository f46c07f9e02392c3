#!/usr/bin/env python3
"""A small update server on 127.0.0.1 for the tests and for trying the window.

Serves the files of ROOT. Prints the port on its first line of output, then
appends every request (method, path, headers) as one JSON line to ROOT/../requests.log.

A file NAME may have a side file NAME.how with one setting a line:
    nolength           send no Content-Length (the body ends with the connection)
    cut=N              announce the whole size but close after N bytes
    chunk=N delay=S    send N bytes at a time, sleeping S seconds between them
    size=N             send N zero bytes in place of the file's content
"""
import http.server
import json
import os
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    root = "."

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(os.path.join(self.root, "..", "requests.log"), "a") as log:
            log.write(json.dumps({"method": "GET", "path": self.path,
                                  "headers": dict(self.headers.items())}) + "\n")
        path = os.path.normpath(os.path.join(self.root, self.path.lstrip("/")))
        if not path.startswith(os.path.abspath(self.root)) or not os.path.isfile(path):
            self.send_error(404)
            return
        how = {}
        if os.path.isfile(path + ".how"):
            for line in open(path + ".how").read().split():
                key, _, value = line.partition("=")
                how[key] = value
        body = open(path, "rb").read()
        size = int(how.get("size", len(body)))
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if "nolength" not in how:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        if "size" in how:
            block = bytes(65536)
            try:
                for start in range(0, size, len(block)):
                    self.wfile.write(block[:min(len(block), size - start)])
            except OSError:
                pass  # the client gave up, as it should on a file too large
            return
        if "cut" in how:
            body = body[:int(how["cut"])]
        chunk = int(how.get("chunk", len(body) or 1))
        delay = float(how.get("delay", 0))
        for start in range(0, len(body), chunk):
            self.wfile.write(body[start:start + chunk])
            self.wfile.flush()
            if delay:
                time.sleep(delay)


def main():
    Handler.root = os.path.abspath(sys.argv[1])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""A web server on 127.0.0.1 for the Windows platform tests. Writes its port to PORT_FILE.
  /file.bin      100,000 bytes (byte i is i mod 251), with their length
  /unsized.bin   5,000 such bytes, without a length (the connection's end ends them)
  /missing       404
  /moved         302 to /file.bin
  /short         announces 1,000 bytes, sends 10 and closes
  /stall         announces 1,000 bytes, sends 10 and then nothing for a minute"""
import http.server
import socketserver
import sys
import time


def body(n):
    return bytes(i % 251 for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/file.bin":
            data = body(100_000)
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        elif self.path == "/unsized.bin":
            self.send_response(200)
            self.end_headers()
            self.wfile.write(body(5000))
        elif self.path == "/moved":
            self.send_response(302)
            self.send_header("Location", "/file.bin")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif self.path in ("/short", "/stall"):
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(body(10))
            self.wfile.flush()
            if self.path == "/stall":
                time.sleep(60)
        else:
            self.send_error(404)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[1], "w") as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()

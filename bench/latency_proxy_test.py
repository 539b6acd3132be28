#!/usr/bin/env python3
"""The latency proxy in front of a small HTTP/1.1 server on loopback: bodies come through
byte for byte, keep-alive requests share one connection, and upstreams off loopback are
refused."""

import http.client
import http.server
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PROXY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "latency_proxy.py")
# Every byte value, and more than one read of the proxy.
BODIES = {"/small": b"x", "/large": bytes(i * 7 % 256 for i in range(200 * 1024))}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        body = BODIES.get(self.path)
        if body is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def wait_for_file(path, seconds):
    deadline = time.monotonic() + seconds
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            raise AssertionError(f"{path} did not appear")
        time.sleep(0.02)
    with open(path) as f:
        return f.read()


class LatencyProxyTest(unittest.TestCase):
    def setUp(self):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        self.dir.cleanup()

    def start_proxy(self, upstream):
        port_file = os.path.join(self.dir.name, "port")
        stats_file = os.path.join(self.dir.name, "stats")
        proxy = subprocess.Popen(
            [sys.executable, PROXY, "--upstream", upstream, "--rtt-ms", "10",
             "--max-seconds", "60", "--port-file", port_file, "--stats-file", stats_file],
            stdout=subprocess.DEVNULL)
        return proxy, int(wait_for_file(port_file, 10)), stats_file

    def test_keep_alive_requests_share_one_connection_and_bodies_are_exact(self):
        proxy, port, stats_file = self.start_proxy(f"127.0.0.1:{self.server.server_port}")
        try:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            for path in ("/large", "/small", "/large"):
                connection.request("GET", path)
                response = connection.getresponse()
                self.assertEqual(response.status, 200)
                self.assertEqual(response.read(), BODIES[path], path)
            connection.close()
        finally:
            proxy.send_signal(signal.SIGTERM)
            self.assertEqual(proxy.wait(10), 0)
        stats = dict(line.split() for line in wait_for_file(stats_file, 1).splitlines())
        self.assertEqual(stats["connections"], "1")
        self.assertEqual(stats["most_at_once"], "1")
        self.assertGreater(int(stats["bytes_down"]), 2 * len(BODIES["/large"]))

    def test_upstreams_off_loopback_are_refused(self):
        for upstream in ("192.0.2.1:80", "10.0.0.1:8080", "example.org:80", "127.0.0.1",
                         "127.0.0.1:0"):
            with self.subTest(upstream=upstream):
                result = subprocess.run([sys.executable, PROXY, "--upstream", upstream],
                                        capture_output=True, timeout=10)
                self.assertEqual(result.returncode, 2)
                self.assertIn(b"--upstream", result.stderr)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""A slow network between a client and a server on loopback, for the benchmarks.

Accepts connections on 127.0.0.1 and forwards each to a loopback upstream. A new connection
becomes usable one round trip after it was accepted (the handshake), and every chunk read from
either side is passed on half a round trip after it arrived: a delay line, in order, the delay
counted per chunk from its arrival, so a stream of chunks costs half a round trip once, not once
per chunk.

    latency_proxy.py --upstream 127.0.0.1:PORT [--rtt-ms MS] [--max-seconds S]
                     [--port-file FILE] [--stats-file FILE]

Prints the port it listens on (and writes it to --port-file). On SIGTERM or SIGINT it writes
what it counted to --stats-file ("name value" lines: connections, most_at_once, bytes_up,
bytes_down) and exits 0; after --max-seconds it does the same and exits 3, so a client that hangs
cannot keep it alive. An upstream outside 127.0.0.0/8 and ::1 is refused (exit 2).
"""

import argparse
import asyncio
import collections
import ipaddress
import os
import signal
import socket
import sys

# Bytes held in one direction before reading from its sender pauses: a fast sender is slowed
# down rather than buffered without end.
HELD_BYTES = 4 * 1024 * 1024
# The event loop waits in whole milliseconds, rounded up: a chunk whose time comes within half
# of one is released, so the delays come out right on average instead of half a millisecond late.
EARLY = 0.0005


class Stats:
    def __init__(self):
        self.connections = 0
        self.open = 0
        self.most_at_once = 0
        self.bytes_up = 0
        self.bytes_down = 0

    def lines(self):
        return (f"connections {self.connections}\nmost_at_once {self.most_at_once}\n"
                f"bytes_up {self.bytes_up}\nbytes_down {self.bytes_down}\n")


def no_delay(transport):
    # Each chunk goes out when its time comes, not when the kernel has gathered enough.
    sock = transport.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


class DelayLine:
    """One direction: every chunk fed in is written to the other side `delay` seconds after it
    arrived, in order; the end of the stream too. One timer per direction, armed for the oldest
    chunk only, so a stream costs one timer at a time whatever its length."""

    def __init__(self, link, delay):
        self.link = link
        self.delay = delay
        self.passed = 0      # bytes passed on
        self.held = collections.deque()
        self.held_bytes = 0
        self.timer = None
        self.source = None   # the transport read from, paused while too much is held
        self.target = None   # the transport written to
        self.ended = False   # the end was fed in
        self.done = False    # the end was passed on, or the target is gone
        self.paused_for = set()

    def feed(self, data):
        loop = asyncio.get_running_loop()
        self.held.append((loop.time() + self.delay, data))
        self.held_bytes += len(data)
        if self.held_bytes > HELD_BYTES:
            self.pause("held")
        self.arm()

    def feed_end(self):
        if not self.ended:
            self.ended = True
            self.held.append((asyncio.get_running_loop().time() + self.delay, None))
            self.arm()

    def arm(self):
        if self.timer is None and self.held and self.target is not None and not self.done:
            self.timer = asyncio.get_running_loop().call_at(self.held[0][0] - EARLY,
                                                            self.release)

    def release(self):
        # The timer fired for the oldest chunk; those due by now go with it.
        self.timer = None
        now = asyncio.get_running_loop().time() + EARLY
        first = True
        while self.held and not self.done and (first or self.held[0][0] <= now):
            first = False
            _, data = self.held.popleft()
            if data is None:
                if self.target.can_write_eof():
                    self.target.write_eof()
                else:
                    self.target.close()
                self.finish()
                return
            self.held_bytes -= len(data)
            self.target.write(data)
            self.passed += len(data)
        if self.held_bytes <= HELD_BYTES // 2:
            self.resume("held")
        self.arm()

    def target_gone(self):
        self.held.clear()
        self.finish()

    def finish(self):
        if self.timer is not None:
            self.timer.cancel()
            self.timer = None
        self.done = True
        self.link.check_done()

    def pause(self, reason):
        if not self.paused_for and self.source is not None and not self.source.is_closing():
            self.source.pause_reading()
        self.paused_for.add(reason)

    def resume(self, reason):
        if reason in self.paused_for:
            self.paused_for.discard(reason)
            if not self.paused_for and self.source is not None and not self.source.is_closing():
                self.source.resume_reading()


class Side(asyncio.Protocol):
    """One end of a link: what it reads goes into `out`; `back` writes to it."""

    def __init__(self, out, back, made=None):
        self.out = out
        self.back = back
        self.made = made
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport
        no_delay(transport)
        if self.made is not None:
            self.made()

    def data_received(self, data):
        self.out.feed(data)

    def eof_received(self):
        self.out.feed_end()
        return True  # keep the other half open for what is still to come

    def connection_lost(self, exc):
        self.out.feed_end()
        self.back.target_gone()

    def pause_writing(self):
        self.back.pause("writer")

    def resume_writing(self):
        self.back.resume("writer")


class Link:
    """A client's connection and its own connection to the upstream."""

    def __init__(self, proxy):
        self.proxy = proxy
        stats = proxy.stats
        self.up = DelayLine(self, proxy.rtt / 2)
        self.down = DelayLine(self, proxy.rtt / 2)
        self.client = Side(self.up, self.down, self.client_made)
        self.server = None
        self.closed = False
        stats.connections += 1
        stats.open += 1
        stats.most_at_once = max(stats.most_at_once, stats.open)
        proxy.links.add(self)

    def client_made(self):
        # Nothing is read from the client before the handshake's round trip is over.
        self.client.transport.pause_reading()
        self.proxy.loop.call_later(self.proxy.rtt, self.connect)

    def connect(self):
        if self.closed:
            return
        self.server = Side(self.down, self.up)
        host, port = self.proxy.upstream
        task = self.proxy.loop.create_task(
            self.proxy.loop.create_connection(lambda: self.server, host, port))
        task.add_done_callback(self.connected)

    def connected(self, task):
        if task.cancelled() or task.exception() is not None:
            if not task.cancelled():
                print(f"latency_proxy: upstream {self.proxy.upstream[0]}:"
                      f"{self.proxy.upstream[1]}: {task.exception()}", file=sys.stderr)
            self.close()
            return
        if self.closed:
            self.server.transport.close()
            return
        self.up.source, self.up.target = self.client.transport, self.server.transport
        self.down.source, self.down.target = self.server.transport, self.client.transport
        self.up.arm()
        self.down.arm()
        if not self.up.ended:
            self.client.transport.resume_reading()

    def check_done(self):
        if self.up.done and self.down.done:
            self.close()

    def close(self):
        if self.closed:
            return
        self.closed = True
        for line in (self.up, self.down):
            if line.timer is not None:
                line.timer.cancel()
                line.timer = None
            line.done = True
        for side in (self.client, self.server):
            if side is not None and side.transport is not None:
                side.transport.close()
        stats = self.proxy.stats
        stats.open -= 1
        stats.bytes_up += self.up.passed
        stats.bytes_down += self.down.passed
        self.proxy.links.discard(self)


class Proxy:
    def __init__(self, loop, upstream, rtt):
        self.loop = loop
        self.upstream = upstream
        self.rtt = rtt
        self.stats = Stats()
        self.links = set()

    def accept(self):
        return Link(self).client


def write_atomically(path, text):
    # Readers poll for the file: they see it whole or not at all.
    temporary = f"{path}.{os.getpid()}.tmp"
    with open(temporary, "w") as f:
        f.write(text)
    os.replace(temporary, path)


def loopback_upstream(text):
    host, sep, port = text.rpartition(":")
    host = host.strip("[]")
    try:
        address = ipaddress.ip_address(host)
        number = int(port)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not ADDRESS:PORT with a numeric address: {text}")
    if not sep or not address.is_loopback or not 0 < number < 65536:
        raise argparse.ArgumentTypeError(f"not a loopback address and port: {text}")
    return str(address), number


async def serve(args):
    loop = asyncio.get_running_loop()
    proxy = Proxy(loop, args.upstream, args.rtt_ms / 1000.0)
    server = await loop.create_server(proxy.accept, "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    print(port, flush=True)
    if args.port_file:
        write_atomically(args.port_file, f"{port}\n")

    stop = asyncio.Event()
    for signum in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signum, stop.set)
    status = 0
    try:
        await asyncio.wait_for(stop.wait(), args.max_seconds)
    except asyncio.TimeoutError:
        print(f"latency_proxy: stopped after {args.max_seconds:g} s", file=sys.stderr)
        status = 3
    server.close()
    # Connections still open are cut rather than waited for.
    for link in list(proxy.links):
        link.close()
    if args.stats_file:
        write_atomically(args.stats_file, proxy.stats.lines())
    return status


def main():
    parser = argparse.ArgumentParser(description="Delays traffic to a loopback server.")
    parser.add_argument("--upstream", required=True, type=loopback_upstream,
                        help="ADDRESS:PORT of the server, on loopback")
    parser.add_argument("--rtt-ms", type=float, default=10.0,
                        help="the round trip in milliseconds (default 10)")
    parser.add_argument("--max-seconds", type=float, default=600.0,
                        help="stop after this long whatever happens (default 600)")
    parser.add_argument("--port-file", help="write the listening port here")
    parser.add_argument("--stats-file", help="write the counts here at the end")
    args = parser.parse_args()
    if args.rtt_ms < 0 or args.max_seconds <= 0:
        parser.error("--rtt-ms must be >= 0 and --max-seconds > 0")
    sys.exit(asyncio.run(serve(args)))


if __name__ == "__main__":
    main()

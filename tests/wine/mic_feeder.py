#!/usr/bin/python3
"""Feeds the virtual microphone in real time (32,000 bytes per second of 16 kHz mono s16le).

usage: mic_feeder.py FIFO CONTROL_DIR

Like a real microphone it plays whether or not anybody records: silence flows until a test puts
CONTROL_DIR/request (by a rename) holding the name of a raw PCM file in CONTROL_DIR, or
"silence:SECONDS"; that sound is played once from the next 20 ms on, replacing whatever was
still playing, and then CONTROL_DIR/done is written with the number of the request. Audio that
the source does not take at once is lost (the pipe holds no more than a few milliseconds), so a
recording never receives stale sound. Set MIC_FEEDER_LOG to a file to trace the requests.
"""
import errno
import fcntl
import os
import sys
import time

CHUNK = 640  # 20 ms; below PIPE_BUF, so each write is all or nothing
F_SETPIPE_SZ = 1031


def trace(message):
    path = os.environ.get("MIC_FEEDER_LOG")
    if path:
        with open(path, "a") as f:
            f.write("%.3f %s\n" % (time.monotonic(), message))


def main(fifo_path, control):
    fifo = os.open(fifo_path, os.O_WRONLY | os.O_NONBLOCK)
    try:
        fcntl.fcntl(fifo, F_SETPIPE_SZ, 4096)
    except OSError:
        pass
    request = os.path.join(control, "request")
    queue = bytearray()
    requests = 0
    playing = False
    start = time.monotonic()
    sent = 0
    while True:
        if os.path.exists(request):
            try:
                with open(request) as f:
                    name = f.read().strip()
                os.remove(request)
            except OSError:
                name = ""
            if name:
                requests += 1
                if name.startswith("silence:"):
                    queue = bytearray(int(float(name[8:]) * 32000) // 2 * 2)
                else:
                    with open(os.path.join(control, name), "rb") as f:
                        queue = bytearray(f.read())
                playing = True
                trace("request %d %r, %d bytes" % (requests, name, len(queue)))
        data = bytes(queue[:CHUNK])
        del queue[:CHUNK]
        if len(data) < CHUNK:
            data += bytes(CHUNK - len(data))
        try:
            os.write(fifo, data)
        except BlockingIOError:
            pass  # nobody records right now
        except OSError as e:
            if e.errno == errno.EPIPE:
                return
            raise
        if playing and not queue:
            playing = False
            trace("done %d" % requests)
            with open(os.path.join(control, "done.tmp"), "w") as f:
                f.write(str(requests))
            os.replace(os.path.join(control, "done.tmp"), os.path.join(control, "done"))
        sent += 1
        now = time.monotonic()
        delay = start + sent * 0.02 - now
        if delay > 0:
            time.sleep(delay)
        elif delay < -0.06:
            # Fell behind (a busy machine): carry on from now rather than catch up in a burst.
            start = now - sent * 0.02


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])

#!/usr/bin/python3
"""Feeds the virtual microphone in real time (32,000 bytes per second of 16 kHz mono s16le).

usage: mic_feeder.py FIFO CONTROL_DIR

Silence flows until a test puts CONTROL_DIR/request (by a rename) holding the name of a raw PCM file in
CONTROL_DIR (or "silence:SECONDS"); that sound is played once, then CONTROL_DIR/done is written
with the number of the request and silence flows again.
"""
import os
import sys
import time

CHUNK = 640  # 20 ms


def main(fifo_path, control):
    fifo = os.open(fifo_path, os.O_WRONLY)
    queue = bytearray()
    played = 0
    playing = False
    start = time.monotonic()
    sent = 0
    request = os.path.join(control, "request")
    while True:
        if os.path.exists(request):
            try:
                with open(request) as f:
                    name = f.read().strip()
                os.remove(request)
            except OSError:
                name = ""
            if name.startswith("silence:"):
                queue += bytes(int(float(name[8:]) * 32000) // 2 * 2)
                playing = True
            elif name:
                with open(os.path.join(control, name), "rb") as f:
                    queue += f.read()
                playing = True
        data = bytes(queue[:CHUNK])
        del queue[:CHUNK]
        if len(data) < CHUNK:
            data += bytes(CHUNK - len(data))
        if playing and not queue:
            played += 1
            playing = False
            with open(os.path.join(control, "done.tmp"), "w") as f:
                f.write(str(played))
            os.replace(os.path.join(control, "done.tmp"), os.path.join(control, "done"))
        try:
            os.write(fifo, data)
        except BrokenPipeError:
            return
        sent += 1
        now = time.monotonic()
        delay = start + sent * 0.02 - now
        if delay > 0:
            time.sleep(delay)
        elif delay < -0.06:
            # Fell behind (a busy machine): carry on from now rather than catch up in a burst,
            # which the source would deliver faster than real time.
            start = now - sent * 0.02


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])

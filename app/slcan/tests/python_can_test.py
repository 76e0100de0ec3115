"""python-can's slcan interface against vorelan-slcan on the board simulator.

  python_can_test.py --slcan PROGRAM --boardsim PROGRAM --work SCRATCH_DIR

The simulator runs at the wire's pace at 19200 bit/s and logs what the cell
transmits; vorelan-slcan serves its cell. The client opens at 125 kbit/s,
sends 20 frames that the bus log must show exactly, receives 20 frames put on
the simulator's bus in their order, and has a 29-bit frame refused. Both
programs end on SIGTERM / quit with status 0. Every wait is bounded.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
import unittest

import can

ARGS = None


def wait_until(condition, what, bound=60.0):
    deadline = time.monotonic() + bound
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


def candump_frames(path):
    """(identifier, remote, data or length) of each line of a candump log."""
    frames = []
    with open(path) as log:
        for line in log:
            ident, body = line.split()[2].split("#")
            if body.startswith("R"):
                frames.append((int(ident, 16), True, int(body[1:] or "0")))
            else:
                frames.append((int(ident, 16), False, bytes.fromhex(body)))
    return frames


class PythonCanClient(unittest.TestCase):
    def setUp(self):
        shutil.rmtree(ARGS.work, ignore_errors=True)
        os.makedirs(ARGS.work)
        self.board_link = os.path.join(ARGS.work, "board")
        self.can_link = os.path.join(ARGS.work, "can-board")
        self.tx_log = os.path.join(ARGS.work, "tx.log")
        self.board = subprocess.Popen([ARGS.boardsim, "--link", self.board_link, "--tx-log", self.tx_log, "--quiet"],
                                      stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(self.board_link), "the simulator's link")
        self.slcan_err = open(os.path.join(ARGS.work, "slcan.err"), "w+")
        self.slcan = subprocess.Popen([ARGS.slcan, "--port", self.board_link, "--link", self.can_link],
                                      stdout=subprocess.DEVNULL, stderr=self.slcan_err)
        wait_until(lambda: os.path.exists(self.can_link) or self.slcan.poll() is not None, "vorelan-slcan's link")
        self.assertIsNone(self.slcan.poll(), self.errors())

    def tearDown(self):
        for process in (self.slcan, self.board):
            if process.poll() is None:
                process.kill()
                process.wait()
        self.slcan_err.close()

    def errors(self):
        self.slcan_err.seek(0)
        return self.slcan_err.read()

    def inject(self, message):
        body = "R%d" % message.dlc if message.is_remote_frame else message.data.hex().upper()
        self.board.stdin.write(b"frame %03X#%s\n" % (message.arbitration_id, body.encode()))
        self.board.stdin.flush()

    def test_sends_receives_and_is_refused_a_29_bit_frame(self):
        bus = can.Bus(interface="slcan", channel=self.can_link, bitrate=125000, sleep_after_open=0)
        try:
            frames = [can.Message(arbitration_id=i * 0x7FF // 17, is_extended_id=False, data=bytes(range(i, i + i % 9)))
                      for i in range(18)]
            frames.append(can.Message(arbitration_id=0x7FF, is_extended_id=False, data=bytes(8 * [0xFF])))
            frames.append(can.Message(arbitration_id=0x2A5, is_extended_id=False, is_remote_frame=True, dlc=5))
            for message in frames:
                bus.send(message)
            expected = [(m.arbitration_id, m.is_remote_frame, m.dlc if m.is_remote_frame else bytes(m.data))
                        for m in frames]
            wait_until(lambda: len(candump_frames(self.tx_log)) >= len(frames), "20 frames on the bus")
            self.assertEqual(candump_frames(self.tx_log), expected)

            # Buffer 1 sends; buffers 2 and 3 receive: two frames on the bus at a time.
            for pair in range(0, len(frames), 2):
                for message in frames[pair:pair + 2]:
                    self.inject(message)
                for message in frames[pair:pair + 2]:
                    received = bus.recv(10)  # skips the answers to the sends
                    self.assertIsNotNone(received, "no frame within 10 s")
                    self.assertEqual((received.arbitration_id, received.is_remote_frame, received.dlc,
                                      bytes(received.data)),
                                     (message.arbitration_id, message.is_remote_frame, message.dlc,
                                      b"" if message.is_remote_frame else bytes(message.data)))

            bus.flush()
            bus.send(can.Message(arbitration_id=0x1234567, is_extended_id=True, data=b"\x01"))
            bus.serialPortOrig.timeout = 10
            self.assertEqual(bus.serialPortOrig.read(1), b"\a")

            # The board goes away: BEL to every command until it is back.
            def answer(command):
                bus.serialPortOrig.write(command)
                first = bus.serialPortOrig.read(1)
                return first if first in (b"\a", b"") else first + bus.serialPortOrig.read_until(b"\r")
            bus.serialPortOrig.timeout = 2
            self.board.stdin.write(b"vanish\n")
            self.board.stdin.flush()
            wait_until(lambda: answer(b"V\r") == b"\a", "BEL while the board is gone")
            self.board.stdin.write(b"reappear\n")
            self.board.stdin.flush()
            wait_until(lambda: answer(b"V\r") == b"V0111\r", "the bridge back with the board")
        finally:
            bus.shutdown()
        self.assertEqual(len(candump_frames(self.tx_log)), len(frames))  # the 29-bit frame never went out
        self.slcan.send_signal(signal.SIGTERM)
        self.assertEqual(self.slcan.wait(30), 0, self.errors())
        self.assertFalse(os.path.lexists(self.can_link))
        self.board.stdin.write(b"quit\n")
        self.board.stdin.flush()
        self.assertEqual(self.board.wait(30), 0)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--slcan", required=True)
    parser.add_argument("--boardsim", required=True)
    parser.add_argument("--work", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)

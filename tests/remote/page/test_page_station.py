"""The page in Chromium against the real program: zorvik-panel --headless, and the panel's
window (offscreen), serving remote control on 127.0.0.1, talmek-sim as the box on the serial
link (a pseudo-terminal) and on the LAN (loopback UDP). Two pages are open at once; presses, API commands, refusals, the
alarm and the program stopping and starting again are checked on both."""

import json
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pagedriver import Page, PHONE  # noqa: E402

NAMES = ["Beam 40m", "Yagi 20m", "Yagi", "Vertical", "Beverage NE", "Dipole 80m"]
RECEIVE_ONLY = 5


def program(variable):
    path = os.environ.get(variable)
    if not path or not os.access(path, os.X_OK):
        sys.exit(f"{variable} must name the built program (ctest sets it): {path!r}")
    return path


class Lines:
    """A process's output read line by line on a thread of its own, waited on with bounds."""

    def __init__(self, stream, name):
        self.lines = []
        self.name = name
        self.changed = threading.Condition()
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            with self.changed:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self.changed.notify_all()
        stream.close()

    def wait(self, pattern, start=0, timeout=5.0):
        """The first line from index start matching pattern (a regular expression), and its match."""
        expression = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for line in self.lines[start:]:
                    found = expression.search(line)
                    if found:
                        return found
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError(f"{self.name} did not print /{pattern}/ within {timeout} s; "
                                         f"it printed: {self.lines[-20:]}")
                self.changed.wait(left)

    def count(self):
        with self.changed:
            return len(self.lines)


class Simulator:
    def __init__(self, link):
        arguments = [program("TALMEK_SIM"), "--hex"] + (["--pty"] if link == "serial" else ["--udp", "0"])
        self.process = subprocess.Popen(arguments, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        self.out = Lines(self.process.stdout, "talmek-sim")
        if link == "serial":
            self.pty = self.out.wait(r"^PTY (\S+)").group(1)
        else:
            self.udp_port = int(self.out.wait(r"^UDP 127\.0\.0\.1:(\d+)").group(1))

    def console(self, line):
        start = self.out.count()
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()
        self.out.wait("^OK " + re.escape(line) + "$", start)

    def state(self):
        start = self.out.count()
        self.process.stdin.write(b"state\n")
        self.process.stdin.flush()
        line = self.out.wait(r"^STATE ", start).string
        return {k: int(v) for k, v in re.findall(r"(\w+)=(-?\d+)", line)}

    def wait_state(self, key, value, timeout=3.0):
        """Asks for the state again after each frame the panel sends, until key has value."""
        deadline = time.monotonic() + timeout
        seen = None
        while True:
            seen = self.state().get(key)
            if seen == value:
                return
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"the box's {key} is {seen}, not {value}, after {timeout} s")
            self.out.wait(r"^RX ", self.out.count(), timeout=left)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)


def free_tcp_port():
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


class Station:
    """zorvik-panel copied into a folder of its own, its settings.ini beside it: the headless
    mode told by its command line to serve on a free port, or the window (window=True) told
    by the settings file, as an operator sets it up."""

    def __init__(self, sim, link, names=NAMES, keys=None, window=False):
        self.window = window
        self.dir = tempfile.mkdtemp(prefix="zorvik-page-")
        self.program = os.path.join(self.dir, "zorvik-panel")
        shutil.copy2(program("ZORVIK_PANEL"), self.program)
        keys = dict(keys or {}, ID="DL0ZRC Station A", **{f"RXONLY_{RECEIVE_ONLY}": "true"})
        keys.update({f"K{n + 1}_1": name for n, name in enumerate(names)})
        if window:
            keys.update({"REMOTE": "local", "REMOTE_PORT": str(free_tcp_port())})
        if link == "serial":
            keys.update({"serialMode": "2", "comport": sim.pty})
        else:
            keys.update({"serialMode": "1", "IP": "127.0.0.1", "PORT": str(sim.udp_port)})
        with open(os.path.join(self.dir, "settings.ini"), "w", encoding="utf-8") as settings:
            settings.write("[General]\n" + "".join(f"{k}={v}\n" for k, v in keys.items()))
        self.up = "LAN link up: the box answers" if link == "lan" else "The box answers"
        self.process = None
        self.port = 0

    def start(self, port=0):
        if self.window:
            self.start_window()
            return
        environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        self.process = subprocess.Popen([self.program, "--headless", "--remote", "local", "--remote-port", str(port)],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                        env=environment, cwd=self.dir)
        self.log = Lines(self.process.stderr, "zorvik-panel --headless")
        self.port = int(self.log.wait(r"Remote control on http://127\.0\.0\.1:(\d+)/", timeout=10).group(1))
        self.log.wait(re.escape(self.up), timeout=10)
        self.url = f"http://127.0.0.1:{self.port}/"

    def start_window(self):
        """The panel's window, offscreen, connecting at once; serving once its API answers
        with the box answering."""
        with open(os.path.join(self.dir, "settings.ini"), encoding="utf-8") as settings:
            self.port = int(re.search(r"^REMOTE_PORT=(\d+)$", settings.read(), re.M).group(1))
        self.url = f"http://127.0.0.1:{self.port}/"
        self.process = subprocess.Popen([self.program, "--connect"], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                        env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), cwd=self.dir)
        self.log = Lines(self.process.stderr, "zorvik-panel")
        deadline = time.monotonic() + 15
        seen = None
        while time.monotonic() < deadline:
            try:
                status, state = self.request("GET", "/api/v1/state")
                seen = (status, state)
                if status == 200 and state["link"]["boxAnswering"]:
                    return
            except OSError as error:  # not listening yet
                seen = error
            try:
                code = self.process.wait(0.1)  # the pause between tries, and the panel's end
                raise AssertionError(f"the panel ended with {code}: {self.log.lines[-10:]}")
            except subprocess.TimeoutExpired:
                pass
        raise AssertionError(f"the panel did not serve with the box answering within 15 s: {seen}")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
                raise AssertionError("the station did not stop on SIGTERM within 10 s")
        return self.process.returncode if self.process else None

    def request(self, method, path, body=None):
        """An API call as a script makes it: (status, JSON answer)."""
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.url.rstrip("/") + path, data=data, method=method)
        if data is not None:
            request.add_header("Content-Type", "application/json")
        try:
            with urllib.request.urlopen(request, timeout=5) as answer:
                return answer.status, json.loads(answer.read() or b"null")
        except urllib.error.HTTPError as error:
            return error.code, json.loads(error.read() or b"null")

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


class StationPages:
    """The cases, run once per link and program by the classes below."""
    link = None
    window = False

    @classmethod
    def setUpClass(cls):
        cls.sim = Simulator(cls.link)
        cls.station = Station(cls.sim, cls.link, window=cls.window)
        cls.pages = []
        try:
            cls.station.start()
            cls.pages = [Page(PHONE), Page(PHONE)]
            for page in cls.pages:
                page.open(cls.station.url)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for page in cls.pages:
            page.quit()
        cls.station.cleanup()
        cls.sim.stop()

    def setUp(self):
        # Each case starts from a quiet box: nothing transmits, no split, both channels released.
        for c in (1, 2):
            self.sim.console(f"tx {c} off")
        for page in self.pages:
            page.wait(lambda p: p.text("conn") == "online", "the page is online", timeout=10)
            page.wait(lambda p: "on" not in p.classes("ch1-send") and "on" not in p.classes("ch2-send"),
                      "neither channel transmits", timeout=3)
        # Only what needs undoing is sent, and the box is seen to have done it, so that no
        # command is still on its way when a case begins.
        status, state = self.station.request("GET", "/api/v1/state")
        self.assertEqual(status, 200, state)
        for channel in state["channels"]:
            c = channel["number"]
            if channel["split"]:
                status, answer = self.station.request("DELETE", f"/api/v1/channels/{c}/split")
                self.assertEqual(status, 200, answer)
                self.sim.wait_state(f"split{c}", 0)
            if channel["antenna"] is not None:
                status, answer = self.station.request("PUT", f"/api/v1/channels/{c}/antenna", {"antenna": "release"})
                self.assertEqual(status, 200, answer)
                self.sim.wait_state(f"antenna{c}", 15)
        for page in self.pages:
            page.wait(lambda p: p.selected(1) == [] and p.selected(2) == [], "both channels released", timeout=3)

    def on_both(self, condition, message, timeout=1.0):
        for n, page in enumerate(self.pages, 1):
            page.wait(condition, f"page {n}: {message}", timeout)

    def test_a_press_reaches_the_box_and_shows_on_both_pages(self):
        first, second = self.pages
        first.button("ch1-ant3").click()
        pressed = time.monotonic()
        self.on_both(lambda p: p.selected(1) == [3], "channel 1 shows Ant 3 within 1 s of the press")
        self.assertLess(time.monotonic() - pressed, 1.0)
        self.sim.wait_state("antenna1", 2)
        self.on_both(lambda p: "Channel 1: Ant 3 (Yagi)" in p.announced(), "the change is announced")
        self.assertIn("held", second.classes("ch1-ant3"))
        self.assertEqual(first.text("ch1-reason"), "")

        # A split chosen on the second page, by SPLIT, RX, TX.
        second.button("ch2-split").click()
        second.wait(lambda p: p.text("ch2-hint") != "", "SPLIT asks for the RX antenna")
        second.button("ch2-ant6").click()
        second.button("ch2-ant2").click()
        self.on_both(lambda p: p.selected(2) == [2, 6] and "on" in p.classes("ch2-split"),
                     "channel 2's split RX Ant 6, TX Ant 2 shows")
        self.sim.wait_state("split2", 1)
        first.button("ch2-split").click()
        self.on_both(lambda p: "on" not in p.classes("ch2-split"), "split off shows")

    def test_a_command_through_the_api_shows_on_both_pages(self):
        started = time.monotonic()
        status, answer = self.station.request("PUT", "/api/v1/channels/2/antenna", {"antenna": 4})
        self.assertEqual(status, 200, answer)
        self.on_both(lambda p: p.selected(2) == [4], "channel 2 shows Ant 4")
        self.assertLess(time.monotonic() - started, 1.5)
        self.on_both(lambda p: "Channel 2: Ant 4 (Vertical)" in p.announced(), "the change is announced")
        self.sim.wait_state("antenna2", 3)

    def refused_beside_the_button(self, channel, antenna, code):
        """The API's refusal of a selection, and the page showing the same reason by the button."""
        status, answer = self.station.request("PUT", f"/api/v1/channels/{channel}/antenna", {"antenna": antenna})
        self.assertIn(status, (422, 423), answer)
        self.assertEqual(answer["error"]["code"], code)
        reason = answer["error"]["message"]
        self.assertTrue(reason)
        page = self.pages[0]
        button = f"ch{channel}-ant{antenna}"
        page.button(button).click()
        page.wait(lambda p: p.text(f"ch{channel}-reason") == reason, f"the reason {reason!r} shows", timeout=2)
        self.assertEqual(page.button(button).get_attribute("aria-describedby"), f"ch{channel}-reason")
        self.assertTrue(page.visible(f"ch{channel}-reason"))
        page.wait(lambda p: reason in p.announced(), "the refusal is announced", timeout=2)
        self.assertNotIn(antenna, page.selected(channel))

    def test_a_receive_only_refusal_shows_its_reason(self):
        self.refused_beside_the_button(1, RECEIVE_ONLY, "receive_only")
        self.assertIn("receive-only", self.pages[1].classes(f"ch1-ant{RECEIVE_ONLY}"))
        self.sim.wait_state("antenna1", 15)

    def test_the_transmitting_refusal_shows_its_reason(self):
        self.sim.console("tx 1 on")
        self.on_both(lambda p: "on" in p.classes("ch1-send"), "SEND lights while channel 1 transmits", timeout=2)
        self.refused_beside_the_button(1, 2, "transmitting")
        self.sim.wait_state("antenna1", 15)

    def test_the_alarm_shows(self):
        self.sim.console(f"select 1 {RECEIVE_ONLY}")
        self.on_both(lambda p: p.selected(1) == [RECEIVE_ONLY], "the box's own selection shows", timeout=2)
        self.assertEqual(self.pages[0].text("alarm"), "")
        self.sim.console("tx 1 on")
        self.on_both(lambda p: "receive-only" in p.text("alarm") and p.visible("alarm"), "the alarm shows", timeout=2)
        self.assertIn("Channel 1", self.pages[1].text("alarm"))
        self.assertIn("alarm", self.pages[1].classes(f"ch1-ant{RECEIVE_ONLY}"))
        self.sim.console("tx 1 off")
        self.on_both(lambda p: p.text("alarm") == "", "the alarm ends", timeout=2)

    def test_zz_offline_when_the_station_stops_and_back_when_it_starts(self):
        status, answer = self.station.request("PUT", "/api/v1/channels/1/antenna", {"antenna": 6})
        self.assertEqual(status, 200, answer)
        self.on_both(lambda p: p.selected(1) == [6], "channel 1 shows Ant 6")
        self.sim.wait_state("antenna1", 5)  # the box has it, so the restarted station reads it back
        port = self.station.port
        self.assertEqual(self.station.stop(), 0, "the station's exit code on SIGTERM")
        self.on_both(lambda p: p.text("conn") == "offline", "offline within 2 s of the station stopping", timeout=2)
        self.on_both(lambda p: "offline" in p.announced(), "offline is announced", timeout=2)
        self.assertTrue(self.pages[0].disabled("ch1-ant1"))
        self.station.start(port)
        # The first try comes 1 s after the close, then 2 s, 4 s...
        self.on_both(lambda p: p.text("conn") == "online", "online again", timeout=12)
        self.on_both(lambda p: p.selected(1) == [6] and not p.disabled("ch1-ant1"), "the state again")
        # The restarted station counts its revisions anew: its changes still show.
        status, answer = self.station.request("PUT", "/api/v1/channels/1/antenna", {"antenna": 2})
        self.assertEqual(status, 200, answer)
        self.on_both(lambda p: p.selected(1) == [2], "a change after the restart shows")


class HeadlessSerial(StationPages, unittest.TestCase):
    link = "serial"


class HeadlessLan(StationPages, unittest.TestCase):
    link = "lan"


class PanelSerial(StationPages, unittest.TestCase):
    link = "serial"
    window = True


class PanelLan(StationPages, unittest.TestCase):
    link = "lan"
    window = True


if __name__ == "__main__":
    unittest.main(verbosity=2)

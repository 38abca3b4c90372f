"""The page's own behaviour in Chromium against a scripted station: its files served from a
folder on 127.0.0.1, the WebSocket and fetch replaced before the page's script runs, so that
each case sets exactly what the station says (sign-in, access, lock, refusals, a dropped
connection) and reads what the page sent."""

import copy
import functools
import http.server
import os
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pagedriver import Page, PHONE  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

PAGE_DIR = os.environ.get("ZORVIK_PAGE_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "src", "remote", "page")

NAMES = ["Beam 40m", "Yagi 20m", "Yagi", "Vertical", "Beverage NE", "Dipole 80m"]


def station_state(**changes):
    state = {
        "revision": 1, "id": "DL0ZRC Station A",
        "link": {"kind": "lan", "connected": True, "boxAnswering": True, "pingMs": 3},
        "locked": False,
        "antennas": [{"number": n + 1, "name": NAMES[n], "receiveOnly": n == 4} for n in range(6)],
        "channels": [{"number": c, "antenna": None, "transmitting": False, "split": None, "band": None,
                      "follow": "off", "alarm": None} for c in (1, 2)],
    }
    state.update(changes)
    return state


# Stands in for the station in the page: fake.session is what GET /api/v1/session answers,
# fake.signIn(token) what POST answers; sockets open at once (or fail while fake.refuse) and
# greet with hello and fake.state; what the page sends is kept in fake.sent.
FAKE = r"""
(() => {
  const fake = window.__fake = {
    session: {status: 200, access: 'control'}, tokens: {}, refuse: false,
    state: null, sent: [], requests: [], opened: [], socket: null,
  };
  // Nothing is answered until the case has set the fake up (fake.go()).
  fake.ready = new Promise((resolve) => { fake.go = resolve; });
  const answer = (status, body) => new Response(status === 204 ? null : JSON.stringify(body),
      {status, headers: {'Content-Type': 'application/json'}});
  window.fetch = async (path, options) => {
    await fake.ready;
    const method = (options && options.method) || 'GET';
    const body = options && options.body ? JSON.parse(options.body) : null;
    fake.requests.push({method, path: String(path), body,
                        type: options && options.headers ? options.headers['Content-Type'] : null});
    if (path === '/api/v1/session' && method === 'POST') {
      const access = fake.tokens[body.token];
      if (!access)
        return answer(401, {error: {code: 'unauthorized', message: 'Wrong token'}});
      fake.session = {status: 200, access};
      return answer(204);
    }
    if (path === '/api/v1/session')
      return fake.session.status === 200 ? answer(200, {access: fake.session.access})
          : answer(fake.session.status, {error: {code: 'unauthorized', message: 'Sign in first'}});
    return answer(404, {error: {code: 'not_found', message: 'Not found'}});
  };
  class FakeSocket {
    constructor(url) {
      this.url = url;
      this.readyState = 0;
      fake.opened.push({url, at: performance.now()});
      setTimeout(() => {
        if (fake.refuse) {
          this.readyState = 3;
          if (this.onclose) this.onclose({code: 1006});
          return;
        }
        fake.socket = this;
        this.readyState = 1;
        if (this.onopen) this.onopen({});
        this.deliver({type: 'hello', access: fake.session.access});
        if (fake.state) this.deliver({type: 'state', state: fake.state});
      }, 10);
    }
    deliver(message) {
      if (this.readyState === 1 && this.onmessage) this.onmessage({data: JSON.stringify(message)});
    }
    send(text) { fake.sent.push(JSON.parse(text)); }
    close() {
      if (this.readyState === 3) return;
      this.readyState = 3;
      if (fake.socket === this) fake.socket = null;
      if (this.onclose) this.onclose({code: 1000});
    }
  }
  window.WebSocket = FakeSocket;
  fake.push = (state) => { fake.state = state; if (fake.socket) fake.socket.deliver({type: 'state', state}); };
  fake.answer = (message) => fake.socket.deliver(message);
  fake.drop = () => fake.socket && fake.socket.close();
})();
"""


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PageAgainstFake(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        handler = functools.partial(Quiet, directory=os.path.abspath(PAGE_DIR))
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        cls.thread = threading.Thread(target=cls.server.serve_forever, daemon=True)
        cls.thread.start()
        cls.url = f"http://127.0.0.1:{cls.server.server_address[1]}/index.html"
        cls.page = Page(PHONE, FAKE)

    @classmethod
    def tearDownClass(cls):
        cls.page.quit()
        cls.server.shutdown()
        cls.server.server_close()

    def load(self, state=None, access="control", fragment="", session=200, tokens=None):
        self.page.open("about:blank")
        self.page.open(self.url + fragment)
        self.page.js("__fake.state = arguments[0]; __fake.session = {status: arguments[1], access: arguments[2]};"
                     "__fake.tokens = arguments[3]; __fake.go();", state, session, access, tokens or {})

    def start(self, state, access="control"):
        # The page asks for its session on load; the fake is set before the first socket opens.
        self.load(state, access)
        self.page.wait(lambda p: p.js("return __fake.socket !== null"), "the socket opened")
        self.page.wait(lambda p: p.text("ch1-ant1-name") == NAMES[0], "the antennas are drawn")

    def sent(self):
        return self.page.js("return __fake.sent")

    def push(self, state):
        self.page.js("__fake.push(arguments[0])", state)

    def test_signs_in_with_the_fragment_and_drops_it(self):
        self.load(station_state(), fragment="#token=s3cr%2Bt", session=401, tokens={"s3cr+t": "control"})
        self.page.wait(lambda p: p.js("return __fake.requests.some((r) => r.method === 'POST')"),
                       "the page posted the token")
        post = self.page.js("return __fake.requests.find((r) => r.method === 'POST')")
        self.assertEqual(post["path"], "/api/v1/session")
        self.assertEqual(post["body"], {"token": "s3cr+t"})
        self.assertEqual(post["type"], "application/json")
        self.assertEqual(self.page.js("return location.hash"), "", "the token stays in the address")
        self.assertNotIn("s3cr", self.page.js("return location.href"))
        self.page.wait(lambda p: p.text("conn") == "online", "the page came online after signing in")
        self.assertFalse(self.page.visible("signin"))

    def test_sign_in_form_when_the_station_asks_for_a_token(self):
        self.load(station_state(), session=401, tokens={"right": "control"})
        self.page.wait(lambda p: p.visible("signin"), "the sign-in form shows on 401")
        self.assertEqual(self.page.js("return document.activeElement.id"), "token")
        field = self.page.button("token")
        field.send_keys("wrong", Keys.ENTER)
        self.page.wait(lambda p: p.text("signin-error") == "Wrong token", "the refusal's reason shows")
        self.assertTrue(self.page.visible("signin"))
        field.clear()
        field.send_keys("right", Keys.ENTER)
        self.page.wait(lambda p: p.text("conn") == "online", "signed in, the page comes online")
        self.assertFalse(self.page.visible("signin"))
        self.assertEqual(self.page.js("return __fake.requests.filter((r) => r.method === 'POST')"
                                      ".map((r) => r.body.token)"), ["wrong", "right"])

    def test_draws_the_panels_looks_and_announces_changes(self):
        state = station_state()
        self.start(state)
        self.assertEqual(self.page.text("station-id"), "DL0ZRC Station A")
        self.assertIn("on", self.page.classes("power"))
        self.assertIn("receive-only", self.page.classes("ch1-ant5"))
        self.assertTrue(self.page.visible("ch1-ant5-rxonly"))
        self.assertFalse(self.page.visible("ch1-ant4-rxonly"))

        state = copy.deepcopy(state)
        state["revision"] = 2
        state["channels"][0].update(antenna=3, band="20m", follow="rigctld")
        self.push(state)
        self.page.wait(lambda p: p.selected(1) == [3], "channel 1 shows Ant 3 selected")
        self.assertIn("held", self.page.classes("ch1-ant3"))
        self.assertEqual(self.page.pressed("ch1-ant1"), "false")
        self.assertEqual(self.page.text("ch1-band"), "20m")
        self.assertEqual(self.page.text("ch1-follow"), "follows rigctld")
        self.page.wait(lambda p: "Channel 1: Ant 3 (Yagi)" in p.announced(), "the change is announced")

        # A split: RX orange-bordered and TX white, swapped while transmitting, SPLIT red.
        state = copy.deepcopy(state)
        state["revision"] = 3
        state["channels"][0].update(antenna=5, split={"rx": 5, "tx": 3})
        self.push(state)
        self.page.wait(lambda p: p.selected(1) == [3, 5], "both split antennas pressed")
        self.assertIn("highlight", self.page.classes("ch1-ant5"))
        self.assertIn("held", self.page.classes("ch1-ant3"))
        self.assertEqual(self.page.text("ch1-ant5-role"), "RX")
        self.assertEqual(self.page.text("ch1-ant3-role"), "TX")
        self.assertIn("on", self.page.classes("ch1-split"))
        self.assertEqual(self.page.pressed("ch1-split"), "true")
        self.page.wait(lambda p: "Channel 1: split, RX Ant 5 (Beverage NE), TX Ant 3 (Yagi)" in p.announced(),
                       "the split is announced")

        state = copy.deepcopy(state)
        state["revision"] = 4
        state["channels"][0]["transmitting"] = True
        self.push(state)
        self.page.wait(lambda p: "on" in p.classes("ch1-send"), "SEND lights while transmitting")
        self.assertIn("highlight", self.page.classes("ch1-ant3"))
        self.assertIn("held", self.page.classes("ch1-ant5"))
        self.page.wait(lambda p: "Channel 1 transmitting" in p.announced(), "transmitting is announced")
        self.assertEqual(self.page.text("alarm"), "")

        # Transmitting on the receive-only antenna: the alarm, as an alert, on that button.
        alarm = "Channel 2 is transmitting on receive-only Ant 5 (Beverage NE)!"
        state = copy.deepcopy(state)
        state["revision"] = 5
        state["channels"][1].update(antenna=5, transmitting=True, alarm=alarm)
        self.push(state)
        self.page.wait(lambda p: p.text("alarm") == alarm, "the alarm shows")
        self.assertEqual(self.page.js("return document.getElementById('alarm').getAttribute('role')"), "alert")
        self.assertIn("alarm", self.page.classes("ch2-ant5"))
        self.assertNotIn("alarm", self.page.classes("ch1-ant5"))
        state = copy.deepcopy(state)
        state["revision"] = 6
        state["channels"][1].update(transmitting=False, alarm=None)
        self.push(state)
        self.page.wait(lambda p: p.text("alarm") == "" and not p.visible("alarm"), "the alarm ends")

        # An older answer never draws over a newer state.
        stale = copy.deepcopy(state)
        stale["revision"] = 2
        stale["channels"][0].update(antenna=1, split=None)
        self.push(stale)
        self.push(state)
        self.assertEqual(self.page.selected(1), [3, 5])

    def test_commands_refusals_and_split_by_keyboard(self):
        state = station_state()
        state["channels"][0]["antenna"] = 2
        self.start(state)
        self.page.button("ch1-ant3").click()
        self.page.wait(lambda p: len(p.js("return __fake.sent")) == 1, "the press went out")
        command = self.sent()[0]
        self.assertEqual({k: command[k] for k in ("op", "channel", "antenna")},
                         {"op": "select", "channel": 1, "antenna": 3})
        reason = "Channel 1 is transmitting: remote switching waits until it stops"
        self.page.js("__fake.answer({type: 'result', id: arguments[0], status: 423,"
                     "error: {code: 'transmitting', message: arguments[1]}})", command["id"], reason)
        self.page.wait(lambda p: p.text("ch1-reason") == reason, "the refusal's reason shows")
        self.assertTrue(self.page.visible("ch1-reason"))
        # Beside the button: in its group, under its row, and the button described by it.
        self.assertEqual(self.page.js("return document.getElementById('ch1-reason').parentNode.getAttribute('role')"),
                         "group")
        self.assertEqual(self.page.button("ch1-ant3").get_attribute("aria-describedby"), "ch1-reason")
        below = self.page.js("const b = document.getElementById('ch1-ant3').getBoundingClientRect();"
                             "const r = document.getElementById('ch1-reason').getBoundingClientRect();"
                             "return r.top >= b.bottom && r.top - b.bottom < 40;")
        self.assertTrue(below, "the reason is not right under the pressed button")
        self.page.wait(lambda p: reason in p.announced(), "the refusal is announced")
        self.assertEqual(self.page.selected(1), [2], "a refused press changed the look")

        # The keyboard alone: Tab to SPLIT, Enter, then RX and TX chosen with Space.
        self.page.js("document.getElementById('ch1-release').focus()")
        self.page.driver.switch_to.active_element.send_keys(Keys.TAB)
        self.assertEqual(self.page.js("return document.activeElement.id"), "ch1-split")
        self.page.driver.switch_to.active_element.send_keys(Keys.ENTER)
        self.page.wait(lambda p: p.text("ch1-hint").startswith("Choose the RX position"), "asks for the RX antenna")
        self.assertEqual(self.page.pressed("ch1-split"), "true")
        self.assertEqual(self.page.text("ch1-reason"), "", "an old reason stays")
        self.page.button("ch1-ant5").send_keys(Keys.SPACE)
        self.page.wait(lambda p: p.text("ch1-hint") == "Choose the TX position:", "asks for the TX antenna")
        self.page.button("ch1-ant3").send_keys(Keys.SPACE)
        self.page.wait(lambda p: len(p.js("return __fake.sent")) == 2, "the split went out")
        split = self.sent()[1]
        self.assertEqual({k: split[k] for k in ("op", "channel", "rx", "tx")},
                         {"op": "split", "channel": 1, "rx": 5, "tx": 3})
        self.assertEqual(self.page.text("ch1-hint"), "")
        state = copy.deepcopy(state)
        state["revision"] = 2
        state["channels"][0].update(antenna=5, split={"rx": 5, "tx": 3})
        self.page.js("__fake.answer({type: 'result', id: arguments[0], status: 200, state: arguments[1]})",
                     split["id"], state)
        self.page.wait(lambda p: p.selected(1) == [3, 5], "the answer's state is drawn")

        # SPLIT on an active split switches it off; Escape cancels choosing.
        self.page.button("ch1-split").click()
        self.page.wait(lambda p: len(p.js("return __fake.sent")) == 3, "split off went out")
        self.assertEqual({k: self.sent()[2][k] for k in ("op", "channel")}, {"op": "splitOff", "channel": 1})
        self.page.button("ch2-split").click()
        self.page.wait(lambda p: p.text("ch2-hint") != "", "channel 2 asks for the RX antenna")
        self.page.button("ch2-split").send_keys(Keys.ESCAPE)
        self.page.wait(lambda p: p.text("ch2-hint") == "" and p.pressed("ch2-split") == "false",
                       "Escape cancels choosing")
        self.page.button("ch2-release").click()
        self.page.wait(lambda p: len(p.js("return __fake.sent")) == 4, "release went out")
        self.assertEqual({k: self.sent()[3][k] for k in ("op", "channel")}, {"op": "release", "channel": 2})
        ids = [m["id"] for m in self.sent()]
        self.assertEqual(len(set(ids)), len(ids), "command ids repeat")

    def test_view_only_and_lock_disable_the_buttons(self):
        self.start(station_state(), access="view")
        self.page.wait(lambda p: p.visible("viewonly"), "the view-only note shows")
        self.assertTrue(self.page.disabled("ch1-ant1") and self.page.disabled("ch2-split")
                        and self.page.disabled("ch1-release"))
        self.start(station_state(locked=True))
        self.page.wait(lambda p: p.visible("locked"), "the lock shows")
        self.assertEqual(self.page.text("locked"), "Remote switching locked by the operator")
        self.assertFalse(self.page.visible("viewonly"))
        self.assertTrue(self.page.disabled("ch1-ant3"))
        state = station_state(locked=False, revision=2)
        self.push(state)
        self.page.wait(lambda p: not p.disabled("ch1-ant3"), "unlocked, the buttons work again")
        self.page.wait(lambda p: "Remote switching unlocked" in p.announced(), "the unlock is announced")

    def test_offline_and_reconnecting_with_growing_pauses(self):
        self.start(station_state())
        self.page.wait(lambda p: p.text("conn") == "online", "online")
        # The box falls silent: offline, said and shown, buttons off.
        self.push(station_state(revision=2, link={"kind": "serial", "connected": True, "boxAnswering": False,
                                                   "pingMs": None}))
        self.page.wait(lambda p: p.text("conn") == "offline", "offline when the box falls silent", timeout=2)
        self.assertEqual(self.page.text("conn-detail"), "The box does not answer")
        self.assertNotIn("on", self.page.classes("power"))
        self.assertTrue(self.page.disabled("ch1-ant1"))
        self.page.wait(lambda p: "offline" in p.announced(), "offline is announced", timeout=2)
        self.push(station_state(revision=3))
        self.page.wait(lambda p: p.text("conn") == "online", "online again when the box answers", timeout=2)

        # The connection drops and stays refused: offline at once, tries after 1, 2, 4 s.
        self.page.js("__fake.refuse = true; __fake.drop();")
        self.page.wait(lambda p: p.text("conn") == "offline", "offline when the socket closes", timeout=2)
        self.assertEqual(self.page.text("conn-detail"), "No connection to the station")
        self.page.wait(lambda p: "offline" in p.announced(), "offline is announced", timeout=2)
        first = self.page.js("return __fake.opened.length")
        self.page.wait(lambda p: p.js("return __fake.opened.length") >= first + 3, "three more tries", timeout=12)
        times = self.page.js("return __fake.opened.slice(-4).map((o) => o.at)")
        pauses = [(b - a) / 1000 for a, b in zip(times, times[1:])]
        for pause, wanted in zip(pauses, (1, 2, 4)):
            self.assertTrue(wanted * 0.9 <= pause <= wanted + 1.0, f"pauses between tries: {pauses}")
        # Let in again: the full state comes back, drawn though a restarted station counts
        # its revisions from the start again.
        state = station_state(revision=1)
        state["channels"][0]["antenna"] = 2
        self.page.js("__fake.refuse = false; __fake.state = arguments[0]", state)
        self.page.wait(lambda p: p.text("conn") == "online", "back online", timeout=10)
        self.page.wait(lambda p: p.selected(1) == [2], "the new connection's state is drawn", timeout=1)
        self.page.wait(lambda p: "Channel 1: Ant 2 (Yagi 20m)" in p.announced(), "what changed meanwhile is said")

    def test_a_station_turning_the_page_away_says_why(self):
        self.load(station_state(), session=403)
        self.page.wait(lambda p: p.text("conn-detail") == "Sign in first", "the station's reason shows")
        self.assertEqual(self.page.text("conn"), "offline")
        self.assertFalse(self.page.visible("signin"))
        self.assertEqual(self.page.js("return __fake.opened.length"), 0, "a socket was opened anyway")

    def test_fits_a_phone_and_a_desktop(self):
        self.start(station_state())
        for size, mobile in (((360, 640), True), (PHONE, True), ((1280, 800), False)):
            self.page.resize(size, mobile)
            self.page.wait(lambda p: p.js("return window.innerWidth") == size[0], f"the window is {size}")
            overflow = self.page.js("return document.documentElement.scrollWidth - document.documentElement.clientWidth")
            self.assertLessEqual(overflow, 0, f"horizontal scrolling at {size}")
            small = self.page.js(
                "return Array.from(document.querySelectorAll('button')).filter((b) => b.offsetParent)"
                ".map((b) => [b.id, b.getBoundingClientRect()]).filter(([, r]) => r.width < 44 || r.height < 44)"
                ".map(([id, r]) => id + ' ' + r.width + 'x' + r.height)")
            self.assertEqual(small, [], f"touch targets under 44 px at {size}")
        self.page.resize(PHONE)


if __name__ == "__main__":
    unittest.main(verbosity=2)

"""Headless Chromium (Debian's chromium) driven over its DevTools protocol
(Debian's python3-websocket): load a page, collect what its console says,
evaluate script, click where a person would, take a screenshot.

Chromium runs as a child of the test with a fresh profile, no sandbox (tests
run as root), nothing in the background that would reach for the network, and
its debugging port chosen by itself on the loopback address (written to the
profile's DevToolsActivePort), so that tests side by side never meet."""

import base64
import json
import os
import shutil
import signal
import subprocess
import time
import urllib.request

import websocket

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-extensions", "--remote-debugging-address=127.0.0.1",
         "--remote-debugging-port=0", "--window-size=1280,900"]
START_SECONDS = 60


def chromium_program():
    return shutil.which("chromium") or shutil.which("chromium-browser")


class Chromium:
    def __init__(self, profile):
        program = chromium_program()
        if program is None:
            raise RuntimeError("chromium is not installed (scripts/install-deps installs it)")
        profile.mkdir(parents=True, exist_ok=True)
        self.process = subprocess.Popen(
            [program, *FLAGS, f"--user-data-dir={profile}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.events = []
        self._next_id = 0
        try:
            port = self._debugging_port(profile / "DevToolsActivePort")
            self.socket = websocket.create_connection(self._page_socket(port),
                                                      timeout=START_SECONDS)
        except BaseException:
            self.close()
            raise

    def _debugging_port(self, active_port):
        deadline = time.monotonic() + START_SECONDS
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"chromium ended with {self.process.returncode} on start")
            lines = active_port.read_text().split("\n") if active_port.exists() else []
            if lines and lines[0].strip().isdigit():
                return int(lines[0])
            time.sleep(0.1)
        raise RuntimeError("chromium opened no debugging port")

    def _page_socket(self, port):
        deadline = time.monotonic() + START_SECONDS
        while time.monotonic() < deadline:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as r:
                pages = [t for t in json.load(r) if t.get("type") == "page"]
            if pages:
                return pages[0]["webSocketDebuggerUrl"]
            time.sleep(0.1)
        raise RuntimeError("chromium shows no page")

    def send(self, method, **params):
        """Calls a DevTools method and returns its result; the events that
        arrive meanwhile are kept in self.events."""
        self._next_id += 1
        self.socket.send(json.dumps({"id": self._next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self._next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.events.append(message)

    def wait_for(self, event):
        deadline = time.monotonic() + START_SECONDS
        while not any(e.get("method") == event for e in self.events):
            if time.monotonic() > deadline:
                raise RuntimeError(f"no {event} from chromium")
            self.events.append(json.loads(self.socket.recv()))

    def load(self, url):
        for domain in ("Page", "Runtime", "Log"):
            self.send(f"{domain}.enable")
        self.send("Page.navigate", url=url)
        self.wait_for("Page.loadEventFired")

    def console_problems(self):
        """What the page's console and the browser's log said as errors or
        warnings, and any exception the page's script threw."""
        problems = []
        for event in self.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "warning",
                                                                              "assert"):
                problems.append(params)
            elif method == "Runtime.exceptionThrown":
                problems.append(params)
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") in (
                    "error", "warning"):
                problems.append(params["entry"])
        return problems

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def click(self, selector):
        """A left click at the middle of the element, as the mouse gives it."""
        box = self.evaluate(
            f"(() => {{ const e = document.querySelector({json.dumps(selector)});"
            "e.scrollIntoView(); const r = e.getBoundingClientRect();"
            "return [r.x + r.width / 2, r.y + r.height / 2]; })()")
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left",
                      clickCount=1)

    def screenshot(self, path):
        data = self.send("Page.captureScreenshot", format="png", captureBeyondViewport=True)
        path.write_bytes(base64.b64decode(data["data"]))

    def close(self):
        socket = getattr(self, "socket", None)
        if socket is not None:
            socket.close()
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()

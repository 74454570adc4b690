"""Client of the Orlik panel console (standard library only).

Every process that loads the platform serves its simulated panel on a Unix
socket in the device root, ``<root>/.board/console-<pid>.sock``, in
line-delimited JSON. This module attaches to one and drives it:

    with orlik_panel.attach(root) as panel:        # the newest panel process
        panel.subscribe("pin")
        panel.drive("HW-Q3", 1)
        event = panel.next_event("pin", timeout=5)
        panel.adc(2, 1.65)
        panel.screen("/tmp/screen.png")

Each command is a method (its keyword arguments are the request's fields);
``call(cmd, **fields)`` sends any request. A refused command raises
``PanelError`` with the endpoint's reason.
"""

import json
import os
import select
import socket
import time

__all__ = ["Panel", "PanelError", "attach", "panel_processes"]


class PanelError(Exception):
    """The panel refused a command (or could not be reached)."""


def _pid_of(name):
    if not (name.startswith("console-") and name.endswith(".sock")):
        return 0
    digits = name[len("console-"):-len(".sock")]
    return int(digits) if digits.isdigit() and int(digits) > 0 else 0


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except PermissionError:
        return True
    except OSError:
        return False


def _start_time(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
        return int(stat[stat.rindex(")") + 2:].split()[19])
    except (OSError, ValueError, IndexError):
        return 0


def _root(root):
    return root or os.environ.get("ORLIK_ROOT") or "orlik-root"


def panel_processes(root=None):
    """Live panel processes of a device root, oldest first (sockets of
    processes that are gone are ignored)."""
    folder = os.path.join(_root(root), ".board")
    try:
        names = os.listdir(folder)
    except OSError:
        return []
    pids = [p for p in (_pid_of(n) for n in names) if p and _alive(p)]
    return sorted(pids, key=_start_time)


def socket_path(root, pid):
    return os.path.join(_root(root), ".board", "console-%d.sock" % pid)


class Panel:
    """One connection to a panel process's console."""

    def __init__(self, path, timeout=30.0):
        self.path = path
        self.timeout = timeout
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            self._sock.connect(path)
        except OSError as e:
            self._sock.close()
            raise PanelError("cannot connect to %s: %s" % (path, e)) from e
        self._buffer = b""
        self._events = []
        self._id = 0

    def close(self):
        self._sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _line(self, timeout):
        deadline = None if timeout is None else time.monotonic() + timeout
        while b"\n" not in self._buffer:
            wait = None if deadline is None else max(0.0, deadline - time.monotonic())
            if wait == 0.0 or not select.select([self._sock], [], [], wait)[0]:
                return None
            chunk = self._sock.recv(65536)
            if not chunk:
                raise PanelError("the panel process closed the connection")
            self._buffer += chunk
        line, self._buffer = self._buffer.split(b"\n", 1)
        return json.loads(line)

    def call(self, cmd, **fields):
        """Sends one request and returns its result; raises PanelError when
        the panel refuses it."""
        self._id += 1
        request = dict(fields, cmd=cmd, id=self._id)
        self._sock.sendall(json.dumps(request).encode() + b"\n")
        while True:
            reply = self._line(self.timeout)
            if reply is None:
                raise PanelError("no reply to %s" % cmd)
            if "event" in reply:
                self._events.append(reply)
                continue
            if not reply.get("ok"):
                raise PanelError(reply.get("error", "refused"))
            return reply.get("result", {})

    def next_event(self, kind=None, timeout=10.0):
        """The next event (of a kind, others dropped), None after timeout."""
        deadline = time.monotonic() + timeout
        while True:
            while self._events:
                event = self._events.pop(0)
                if kind is None or event.get("event") == kind:
                    return event
            line = self._line(max(0.0, deadline - time.monotonic()))
            if line is None:
                return None
            if "event" in line:
                self._events.append(line)

    # The commands, one method each.
    def info(self):
        return self.call("info")

    def pins(self, port=None):
        return self.call("pins", **({"port": port} if port else {}))["pins"]

    def get(self, pin):
        return self.call("get", pin=pin)["level"]

    def drive(self, pin, level):
        return self.call("drive", pin=pin, level=int(level))

    def release(self, pin):
        return self.call("release", pin=pin)

    def adc(self, channel, volts=None):
        return self.call("adc", channel=channel, **({} if volts is None else {"volts": volts}))

    def battery(self, volts=None):
        return self.call("battery", **({} if volts is None else {"volts": volts}))

    def supply(self, on=None):
        return self.call("supply", **({} if on is None else {"on": bool(on)}))

    def counter(self, module, action=None, **fields):
        return self.call("counter", module=module, **({"action": action} if action else {}), **fields)

    def pwm(self):
        return self.call("pwm")["outputs"]

    def dac(self):
        return self.call("dac")["outputs"]

    def bus(self, name, clear=False):
        return self.call("bus", bus=name, clear=clear)

    def decoder(self):
        return self.call("decoder")

    def camera(self, input=None, source=None):
        fields = {} if input is None else {"input": input, "source": source}
        return self.call("camera", **fields)

    def sound(self):
        return self.call("sound")

    def screen(self, path=None):
        return self.call("screen", **({} if path is None else {"path": os.path.abspath(path)}))

    def tap(self, x, y, action=None):
        """Touches the screen at (x, y): down and up, or only "down" or "up"."""
        return self.call("tap", x=int(x), y=int(y), **({"action": action} if action else {}))

    def messages(self):
        return self.call("messages")["messages"]

    def power(self):
        return self.call("power")

    def subscribe(self, *events):
        return self.call("subscribe", events=list(events) or ["all"])["events"]

    def unsubscribe(self, *events):
        return self.call("unsubscribe", events=list(events) or ["all"])["events"]


def attach(root=None, pid=None, timeout=30.0):
    """Connects to a panel process of the root: pid, else the newest one."""
    if pid is None:
        pids = panel_processes(root)
        if not pids:
            raise PanelError("no panel process in %s" % os.path.join(_root(root), ".board"))
        pid = pids[-1]
    return Panel(socket_path(root, pid), timeout)

"""Testing a panel application from outside, with the Python client.

Starts the application in a process of its own on a private device root,
drives one of its inputs through the console and checks what the application
did. Runs under pytest, or as a plain script (python3 test_orlik_panel.py).

PANEL_APP is a panel application that prints "ready", then "port XX" for each
byte its port D watch delivers and answers "adc N" and "window ..." (a window
that reports its mouse messages) on its input; FERROX_LIB is
the hardware library it loads.
"""

import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import orlik_panel


class App:
    def __init__(self, root):
        env = dict(os.environ, ORLIK_ROOT=root)
        self.proc = subprocess.Popen([os.environ["PANEL_APP"], os.environ["FERROX_LIB"]], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        # One thread reads the output line by line: waiting on the pipe itself
        # would miss lines already taken into the reader's buffer.
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line)
        self.lines.put(None)

    def expect(self, prefix, timeout=10.0):
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                break
            if line is None:
                self.lines.put(None)  # the output has ended for every later wait too
                break
            if line.startswith(prefix):
                return line.strip()
        raise AssertionError("the application never said %r" % prefix)

    def ask(self, request, prefix):
        self.proc.stdin.write(request + "\n")
        self.proc.stdin.flush()
        return self.expect(prefix)

    def stop(self):
        """Ends the application; it must exit cleanly."""
        self.proc.stdin.close()
        assert self.proc.wait(timeout=60) == 0, "the application's exit status"


def run_with_app(check):
    root = tempfile.mkdtemp(prefix="orlik-py-")
    app = App(root)
    try:
        app.expect("ready", timeout=30.0)  # a sanitizer build on a busy machine starts slowly
        with orlik_panel.attach(root) as panel:
            check(app, panel)
    finally:
        app.stop()
        shutil.rmtree(root, ignore_errors=True)


def test_driven_input_reaches_the_applications_port_queue():
    def check(app, panel):
        assert panel.info()["pid"] == app.proc.pid
        panel.subscribe("pin")
        # Port D's inputs are pulled up (0xFF); HW-Q5 is its bit 5.
        panel.drive("HW-Q5", 0)
        assert app.expect("port DF") == "port DF"
        event = panel.next_event("pin", timeout=5)
        assert (event["pin"], event["level"]) == ("HW-Q5", 0)
        assert panel.get("HW-Q5") == 0
        panel.release("HW-Q5")
        assert app.expect("port FF") == "port FF"
    run_with_app(check)


def test_analogue_input_reads_back_through_the_application():
    def check(app, panel):
        panel.adc(3, 3.3)
        assert app.ask("adc 3", "adc 3 ") == "adc 3 4095"
        try:
            panel.adc(9, 1.0)
        except orlik_panel.PanelError as e:
            assert "0-7" in str(e)
        else:
            raise AssertionError("channel 9 accepted")
    run_with_app(check)



def test_a_tap_reaches_the_applications_window():
    def check(app, panel):
        assert app.ask("window w 200 100 100 50 0 0 255", "window") == "window w"
        panel.tap(210, 130)
        assert app.expect("mouse") == "mouse w down 10 30"
        assert app.expect("mouse") == "mouse w up 10 30"
        try:
            panel.tap(-1, 5)
        except orlik_panel.PanelError as e:
            assert "off the" in str(e)
        else:
            raise AssertionError("a tap off the screen accepted")
    run_with_app(check)

if __name__ == "__main__":
    tests = [(n, f) for n, f in sorted(globals().items()) if n.startswith("test_") and callable(f)]
    failed = 0
    for name, test in tests:
        try:
            test()
            print("ok", name)
        except Exception as e:  # report every failure, then the count
            failed += 1
            print("FAILED", name, repr(e))
    print("%d passed, %d failed" % (len(tests) - failed, failed))
    sys.exit(1 if failed else 0)

#!/usr/bin/python3
"""A screen reader's view of harbex, end to end: the real program under
Xvfb with a session bus and the AT-SPI registry, a pseudo-terminal linked as
COM61. It finds the port's tree item through AT-SPI, double-clicks it where
the reader says it is, reads what the far end writes from the terminal view,
checks that the lamps and buttons say what they are, and sees the window
say so when the far end hangs up.

Usage: AtSpiTerminalTest.py HARBEX_BINARY. Exits 77 (skipped) with a message
when Xvfb, dbus or AT-SPI are not installed.
"""
import os
import pty
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import tty

SKIP = 77
COM = 61
FAR_END_TEXT = "hello from the far end"


def skip(why):
    print(f"AtSpiTerminalTest: skipped: {why}")
    sys.exit(SKIP)


def wait_for(what, probe, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}")


def main():
    harbex = sys.argv[1]
    launcher = "/usr/libexec/at-spi-bus-launcher"
    for tool in ("Xvfb", "xdpyinfo", "dbus-daemon", "xdotool"):
        if not shutil.which(tool):
            skip(f"{tool} is not installed (scripts/setup-deps)")
    if not os.path.exists(launcher):
        skip("at-spi2-core is not installed (scripts/setup-deps)")
    try:
        import pyatspi  # noqa: F401  (system Python, python3-pyatspi)
    except ImportError:
        skip("python3-pyatspi is not installed (scripts/setup-deps)")

    processes = []
    root = tempfile.mkdtemp(prefix="harbex-atspi-")
    try:
        master, slave = pty.openpty()
        tty.setraw(slave)
        os.makedirs(os.path.join(root, "dosdevices"))
        os.symlink(os.ttyname(slave), os.path.join(root, "dosdevices", f"com{COM}"))
        os.close(slave)

        # Xvfb picks a free display and names it once it takes connections. It
        # must not reset when its last client leaves (the AT-SPI launcher, the
        # check below): a connection during a reset is refused, and a Qt
        # program refused its display aborts in its platform plugin.
        ready, told = os.pipe()
        processes.append(subprocess.Popen(["Xvfb", "-displayfd", str(told), "-screen", "0",
                                           "1280x800x24", "-nolisten", "tcp", "-noreset"],
                                          pass_fds=(told,), stderr=subprocess.DEVNULL))
        os.close(told)
        with os.fdopen(ready) as answer:
            display = ":" + answer.readline().strip()
        if display == ":":
            raise AssertionError("Xvfb did not start")
        # harbex starts once the server answers a client.
        wait_for(f"Xvfb on {display}", lambda: subprocess.run(
            ["xdpyinfo", "-display", display], capture_output=True).returncode == 0)
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], capture_output=True, text=True, check=True)
        address, bus_pid = bus.stdout.split()[:2]
        env = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address,
                   QUOR_HOST_ROOT=root, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   XDG_RUNTIME_DIR=root)
        env.pop("QT_QPA_PLATFORM", None)
        os.environ.update(DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address)
        processes.append(subprocess.Popen([launcher, "--launch-immediately"], env=env,
                                          stderr=subprocess.DEVNULL))
        time.sleep(1)
        errors = open(os.path.join(root, "harbex.err"), "w+")
        program = subprocess.Popen([harbex], env=env, stdout=subprocess.DEVNULL, stderr=errors)
        processes.append(program)
        import pyatspi

        def find(root_object, predicate):
            return pyatspi.findDescendant(root_object, predicate) if root_object else None

        def application():
            desktop = pyatspi.Registry.getDesktop(0)
            for app in desktop:
                if app and app.name == "harbex":
                    return app
            return None

        def started():
            if program.poll() is not None:
                raise AssertionError(f"harbex exited with {program.returncode}: "
                                     f"{open(errors.name).read()[-2000:]}")
            return application()

        app = wait_for("harbex on the accessibility bus", started)
        # The detail panels' captions label their values.
        captions = pyatspi.findAllDescendants(app, lambda o: o.getRole() == pyatspi.ROLE_LABEL
                                              and (o.name or "").endswith(":"))
        assert captions, "no captions in the main window"
        for caption in captions:
            assert any(r.getRelationType() == pyatspi.RELATION_LABEL_FOR
                       for r in caption.getRelationSet()), f"{caption.name} labels nothing"
        node = wait_for(f"the tree item COM{COM}",
                        lambda: find(app, lambda o: o.name == f"COM{COM}"))
        # Open the terminal window as a user does: a double click on the port
        # node, where the screen reader says it is.
        x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(x + width // 2), str(y + height // 2),
                        "click", "--repeat", "2", "--delay", "80", "1"], env=env, check=True)
        view = wait_for("the terminal view", lambda: find(
            app, lambda o: o.getRole() == pyatspi.ROLE_TERMINAL))

        os.write(master, (FAR_END_TEXT + "\r\n").encode())
        text = view.queryText()
        wait_for("the far end's text in the terminal view",
                 lambda: FAR_END_TEXT in text.getText(0, -1))
        print(f"AtSpiTerminalTest: the terminal view reads {text.getText(0, -1).splitlines()[0]!r}")

        window = view.parent
        while window and f"COM{COM}" not in (window.name or ""):
            window = window.parent
        assert window, "the terminal window is not named after its port"
        for line in ("CTS", "DSR", "CD", "RI", "RTS", "DTR"):
            lamp = find(window, lambda o, line=line: o.name == line)
            assert lamp, f"no lamp named {line}"
            assert lamp.description in ("on", "off"), f"lamp {line} says {lamp.description!r}"
        for caption in ("Test", "Clear", "Properties"):
            assert find(window, lambda o, c=caption: o.getRole() == pyatspi.ROLE_PUSH_BUTTON
                        and (o.name or "").strip() == c), f"no button named {caption}"

        # The far end hangs up: the window says so.
        os.close(master)
        master = None
        wait_for("the disconnected caption", lambda: "(disconnected)" in (window.name or ""))
        lamp = find(window, lambda o: o.name == "CTS")
        wait_for("the lamps to go out", lambda: lamp.description == "not available")
        print("AtSpiTerminalTest: 1 passed, 0 failed")
        return 0
    finally:
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
        if "bus_pid" in locals():
            try:
                os.kill(int(bus_pid), signal.SIGTERM)
            except OSError:
                pass
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

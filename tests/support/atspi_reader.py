"""Reads an application's windows as a screen reader does, through the accessibility bus (AT-SPI) that
AT_SPI_BUS_ADDRESS (or the session bus) names, and presses their buttons through its action interface. It runs as the
application's user: the toolkit answers no other. Imported, it reads the nodes that show (application, texts, find,
click). As a program, python3 - APPLICATION BUTTON... < atspi_reader.py answers each new window
of APPLICATION with the next BUTTON (the last one for every further window), after it printed as one JSON line what
the window showed: {"texts": [...], "buttons": [...]}."""
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def children(node):
    return [child for child in map(node.get_child_at_index, range(max(node.get_child_count(), 0))) if child]


def descendants(node):
    for child in children(node):
        yield child
        yield from descendants(child)


def windows(application):
    """The windows that the application named `application` shows now, read afresh."""
    for app in children(Atspi.get_desktop(0)):
        app.clear_cache()
        if app.get_name() == application:
            return children(app)
    return []


def read(window):
    nodes = list(descendants(window))
    return {"texts": [node.get_name() for node in nodes if node.get_role() == Atspi.Role.LABEL and node.get_name()],
            "buttons": [node.get_name() for node in nodes if node.get_role() == Atspi.Role.PUSH_BUTTON]}


def click(node):
    node.do_action(next(i for i in range(node.get_n_actions()) if node.get_action_name(i) == "click"))


def press(window, button):
    click(next(node for node in descendants(window)
               if node.get_role() == Atspi.Role.PUSH_BUTTON and node.get_name() == button))


def application(name, timeout=20):
    """The running application of that name, once it shows on the bus; None after timeout seconds."""
    Atspi.init()
    deadline = time.monotonic() + timeout
    while (app := next((app for app in children(Atspi.get_desktop(0)) if app.get_name() == name), None)) is None:
        if time.monotonic() > deadline:
            return None
        time.sleep(0.05)
    return app


def showing(node):
    """Every node below node that is on the screen, in the order a reader moves through them; read afresh."""
    node.clear_cache()
    for child in children(node):
        if child.get_state_set().contains(Atspi.StateType.SHOWING):
            yield child
            yield from showing(child)


def texts(node):
    """The texts of the labels below node that show."""
    return [child.get_name() for child in showing(node) if child.get_role() == Atspi.Role.LABEL]


def find(node, role, name=None):
    """The first node below node that shows, has the role ("push button", as a reader says it) and, when given, the
    name."""
    return next((child for child in showing(node) if child.get_role_name() == role and name in (None, child.get_name())),
                None)


if __name__ == "__main__":
    Atspi.init()
    application, buttons, answered = sys.argv[1], sys.argv[2:], set()
    while True:  # until stopped
        window = next((window for window in windows(application) if window.path not in answered), None)
        if window is None:
            time.sleep(0.05)
            continue
        answered.add(window.path)
        print(json.dumps(read(window)), flush=True)
        press(window, buttons[min(len(answered), len(buttons)) - 1])

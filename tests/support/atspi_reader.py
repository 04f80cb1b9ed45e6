"""A window as a screen reader reads it: through the accessibility bus (AT-SPI), whose address the session bus of
DBUS_SESSION_BUS_ADDRESS gives. Import this module once that variable names the test's own bus."""
import pyatspi

from tidewell_world import wait_until


def application(name, timeout=20):
    """The running application of that name, once it shows on the bus."""
    def found():
        return next((app for app in pyatspi.Registry.getDesktop(0) if app and app.name == name), None)
    return wait_until(found, timeout)


def showing(node):
    """Every node below node that is on the screen, in the order a reader moves through them; read afresh."""
    node.clear_cache()
    for child in node:
        if child is not None and child.getState().contains(pyatspi.STATE_SHOWING):
            yield child
            yield from showing(child)


def texts(node):
    """The texts of the labels below node that show."""
    return [child.name for child in showing(node) if child.getRoleName() == "label"]


def find(node, role, name=None):
    """The first node below node that shows, has the role ("push button", as a reader says it) and, when given, the
    name."""
    return next((child for child in showing(node) if child.getRoleName() == role and name in (None, child.name)), None)


def press(button):
    button.do_action(0)

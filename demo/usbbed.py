"""An emulated USB bus for the demo, the end-to-end tests and the benchmark (umockdev
through GObject introspection).

    bed = UsbTestbed()
    deck = bed.add_device(product_id=0x1234, release=0x0123, product="Deck Unit 2",
                          manufacturer="Quenlar", serial="A1B2")
    agent = subprocess.Popen([...], env={**os.environ, **bed.env()})
    bed.remove_device(deck)
    bed.close()

The process must run under umockdev-wrapper: only then do programs it starts see the
emulated /sys and /dev, and only then do uevents reach their libudev monitors. One
testbed per process at a time.

Each device is a usb_device record with the binary `descriptors` attribute that libusb
reads, the text attributes and properties the kernel provides, and a device node whose
usbfs ioctls are answered by a handler: control-IN GET_DESCRIPTOR(string) requests get
the device's string descriptors, everything else stalls. umockdev serves attached handlers
on a worker thread with a main loop of its own, so they keep answering while the caller's
thread blocks (sleeps, waits for a child, polls a log file); a handler only needs the GIL,
which every blocking call releases.
"""
import errno
import os
import struct
import threading

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import GLib, UMockdev  # noqa: E402

VENDOR_ID = 0x3A7C

# A reply for a string index that makes the control request fail with a stall (-EPIPE).
STALL = object()
# A reply for a string index that never comes, as from a device whose firmware hangs: the
# request stays pending until the client discards it, and is then handed back cancelled.
NO_ANSWER = object()

_USBDEVFS_SUBMITURB = 0x8038550A
_USBDEVFS_DISCARDURB = 0x0000550B
_USBDEVFS_REAPURB = 0x4008550C
_USBDEVFS_REAPURBNDELAY = 0x4008550D
_USBDEVFS_GET_CAPABILITIES = 0x8004551A

_URB_TYPE_CONTROL = 2
_URB_SIZE = 56            # struct usbdevfs_urb on 64-bit Linux
_URB_STATUS = 4
_URB_BUFFER = 16
_URB_BUFFER_LENGTH = 24
_URB_ACTUAL_LENGTH = 28
_SETUP_SIZE = 8


def string_descriptor(text):
    """A string descriptor (bLength, type 3, UTF-16LE units) for text."""
    units = text.encode("utf-16-le")
    return bytes([min(2 + len(units), 255), 3]) + units


class UsbDevice:
    """One emulated device. `requests` lists the setup packets (8 bytes each) of the control
    requests it received; `opened` counts how often its node was opened."""

    def __init__(self, bed, busnum, devnum, port, vendor_id, product_id, release, device_class,
                 indices, strings, replies, openable):
        self.bed = bed
        self.busnum = busnum
        self.devnum = devnum
        self.port = port
        self.vendor_id = vendor_id
        self.product_id = product_id
        self.release = release
        self.device_class = device_class
        self.indices = indices          # (manufacturer, product, serial) string indices
        self.strings = strings          # attribute name -> text, for the sysfs attributes
        self.replies = replies          # string index -> bytes or STALL
        self.openable = openable
        self.name = f"{busnum}-{port}"
        self.syspath = f"/sys/devices/pci0000:00/0000:00:14.0/usb{busnum}/{self.name}"
        self.devnode = f"/dev/bus/usb/{busnum:03d}/{devnum:03d}"
        self.handler = None
        self._lock = threading.Lock()
        self._requests = []
        self._opened = 0

    @property
    def requests(self):
        with self._lock:
            return list(self._requests)

    @property
    def opened(self):
        with self._lock:
            return self._opened

    def _note_request(self, setup):
        with self._lock:
            self._requests.append(setup)

    def _note_open(self):
        with self._lock:
            self._opened += 1

    def reply_for(self, setup):
        """(status, data) for a control-IN request: status 0 or -EPIPE."""
        request_type, request, value, index, length = struct.unpack("<BBHHH", setup)
        if request_type != 0x80 or request != 6 or value >> 8 != 3:
            return -errno.EPIPE, b""
        reply = self.replies.get(value & 0xFF, STALL)
        if reply is STALL:
            return -errno.EPIPE, b""
        if reply is NO_ANSWER:
            return NO_ANSWER, b""
        return 0, bytes(reply[:length])

    def descriptors(self):
        """Device descriptor, then one configuration with one audio control interface."""
        manufacturer, product, serial = self.indices
        device = struct.pack("<BBHBBBBHHHBBBB", 18, 1, 0x0200, self.device_class, 0, 0, 64,
                             self.vendor_id, self.product_id, self.release,
                             manufacturer, product, serial, 1)
        config = struct.pack("<BBHBBBBB", 9, 2, 18, 1, 1, 0, 0x80, 50)
        interface = struct.pack("<BBBBBBBBB", 9, 4, 0, 0, 0, 1, 1, 0, 0)
        return device + config + interface

    def record(self):
        """The umockdev record: properties, text attributes, descriptors, device node."""
        def text(value):
            return value.replace("\\", "\\\\").replace("\n", "\\n") + "\\n"

        lines = [
            f"P: {self.syspath[len('/sys'):]}",
            f"E: DEVNAME={self.devnode}",
            "E: DEVTYPE=usb_device",
            "E: DRIVER=usb",
            "E: SUBSYSTEM=usb",
            f"E: BUSNUM={self.busnum:03d}",
            f"E: DEVNUM={self.devnum:03d}",
            f"E: PRODUCT={self.vendor_id:x}/{self.product_id:x}/{self.release:x}",
            "E: MAJOR=189",
            f"E: MINOR={(self.busnum - 1) * 128 + self.devnum - 1}",
            f"A: busnum={self.busnum}\\n",
            f"A: devnum={self.devnum}\\n",
            f"A: idVendor={self.vendor_id:04x}\\n",
            f"A: idProduct={self.product_id:04x}\\n",
            f"A: bcdDevice={self.release:04x}\\n",
            f"A: bDeviceClass={self.device_class:02x}\\n",
            "A: bNumConfigurations=1\\n",
            "A: bConfigurationValue=1\\n",
            "A: speed=480\\n",
        ]
        # Bytes go as they are (binary, in hex): text the kernel read from a device need not be UTF-8.
        lines += [f"H: {name}={value.hex()}0a" if isinstance(value, bytes) else f"A: {name}={text(value)}"
                  for name, value in self.strings.items()]
        lines.append(f"H: descriptors={self.descriptors().hex()}")
        if self.openable:
            lines.insert(1, f"N: {self.devnode[len('/dev/'):]}")
        return "\n".join(lines) + "\n"


class _UsbfsHandler(UMockdev.IoctlBase):
    """Answers the usbfs ioctls of one device node, on umockdev's worker thread."""

    def __init__(self, device):
        super().__init__()
        self.device = device
        self.done = []   # completed URBs (IoctlData), handed back by the next reap
        self.held = {}   # URBs left unanswered (IoctlData), by their address in the client

    def do_client_connected(self, client):
        self.device._note_open()

    def do_handle_ioctl(self, client):
        try:
            result, error = self._ioctl(client)
        except Exception as exc:  # a broken handler must not leave the client hanging
            self.device.bed._note_error(f"{self.device.name}: {exc!r}")
            result, error = -1, errno.EIO
        client.complete(result, error)
        return True

    def _ioctl(self, client):
        request = client.get_request()
        arg = client.get_arg()
        if request == _USBDEVFS_GET_CAPABILITIES:
            arg.resolve(0, 4).update(0, struct.pack("<I", 0))
            return 0, 0
        if request == _USBDEVFS_SUBMITURB:
            return self._submit(arg.resolve(0, _URB_SIZE))
        if request in (_USBDEVFS_REAPURBNDELAY, _USBDEVFS_REAPURB):
            if not self.done:
                return -1, errno.EAGAIN
            arg.resolve(0, 8).set_ptr(0, self.done.pop(0))
            return 0, 0
        if request == _USBDEVFS_DISCARDURB:
            return self._discard(int.from_bytes(bytes(arg.retrieve()), "little"))
        return -1, errno.ENOTTY

    def _submit(self, urb):
        raw = bytes(urb.retrieve())
        urb_type, endpoint = raw[0], raw[1]
        (buffer_length,) = struct.unpack_from("<i", raw, _URB_BUFFER_LENGTH)
        if urb_type != _URB_TYPE_CONTROL or endpoint & 0x7F != 0 or buffer_length < _SETUP_SIZE:
            return -1, errno.EINVAL
        buffer = urb.resolve(_URB_BUFFER, buffer_length)
        setup = bytes(buffer.retrieve())[:_SETUP_SIZE]
        self.device._note_request(setup)
        status, data = self.device.reply_for(setup)
        if status is NO_ANSWER:
            self.held[urb.client_addr] = urb
            return 0, 0
        data = data[:buffer_length - _SETUP_SIZE]
        if data:
            buffer.update(_SETUP_SIZE, data)
        self._complete(urb, status, len(data))
        return 0, 0

    def _discard(self, address):
        """As the kernel does: a pending URB comes back from the next reap as cancelled, one
        that is no longer pending cannot be discarded."""
        urb = self.held.pop(address, None)
        if urb is None:
            return -1, errno.EINVAL
        self._complete(urb, -errno.ENOENT, 0)
        return 0, 0

    def _complete(self, urb, status, actual_length):
        urb.update(_URB_STATUS, struct.pack("<i", status))
        urb.update(_URB_ACTUAL_LENGTH, struct.pack("<i", actual_length))
        self.done.append(urb)


class UsbTestbed:
    """A umockdev testbed with a USB bus. Use as a context manager or call close()."""

    def __init__(self):
        if "libumockdev-preload" not in os.environ.get("LD_PRELOAD", ""):
            raise RuntimeError("UsbTestbed needs the test to run under umockdev-wrapper")
        self._testbed = UMockdev.Testbed.new()
        self._devices = []
        self._next_devnum = {}
        self._errors = []
        self._errors_lock = threading.Lock()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def root(self):
        return self._testbed.get_root_dir()

    @property
    def devices(self):
        return list(self._devices)

    def errors(self):
        """Exceptions raised inside the ioctl handlers so far, as text."""
        with self._errors_lock:
            return list(self._errors)

    def _note_error(self, text):
        with self._errors_lock:
            self._errors.append(text)

    def env(self):
        """Environment entries a child process needs to live on this bus."""
        env = {"UMOCKDEV_DIR": self.root}
        if os.environ.get("LD_PRELOAD"):
            env["LD_PRELOAD"] = os.environ["LD_PRELOAD"]
        asan = os.environ.get("ASAN_OPTIONS", "")
        if "verify_asan_link_order" not in asan:
            # The umockdev preload comes before a sanitized child's runtime.
            env["ASAN_OPTIONS"] = ":".join(filter(None, [asan, "verify_asan_link_order=0"]))
        return env

    def add_device(self, product_id, release=0x0100, product=None, manufacturer=None, serial=None,
                   vendor_id=VENDOR_ID, device_class=0, *, busnum=1, port=None, replies=None, openable=True):
        """Plugs in a device and returns it; an "add" uevent follows once it is complete.

        The manufacturer, product and serial strings get indices 1, 2 and 3, or 0 when
        None; bytes stand for raw sysfs text alone (no string descriptor). Index 0 answers the language table (US English). replies maps a string index to the raw bytes to send (cut to the request's length)
        or to STALL, replacing the default reply. port defaults to the lowest free port of
        the bus. openable=False leaves the device without a usable node, as for a user
        without access to it: opening fails, the sysfs text attributes remain."""
        if port is None:
            taken = {d.port for d in self._devices if d.busnum == busnum}
            port = next(p for p in range(1, 256) if p not in taken)
        devnum = self._next_devnum.get(busnum, 2)
        self._next_devnum[busnum] = devnum + 1
        texts = {"manufacturer": manufacturer, "product": product, "serial": serial}
        indices = tuple(0 if text is None else index for index, text in enumerate(texts.values(), 1))
        strings = {name: text for name, text in texts.items() if text is not None}
        answers = {index: string_descriptor(text) for index, text in zip(indices, texts.values())
                   if index and isinstance(text, str)}
        answers[0] = bytes([4, 3]) + struct.pack("<H", 0x0409)
        answers.update(replies or {})
        device = UsbDevice(self, busnum, devnum, port, vendor_id, product_id, release, device_class,
                           indices, strings, answers, openable)
        if openable:
            device.handler = _UsbfsHandler(device)
            self._testbed.attach_ioctl(device.devnode, device.handler)
        else:
            # A folder where the node belongs: open() fails even for root, and the real
            # /dev is never reached.
            os.makedirs(self.root + device.devnode, exist_ok=True)
        self._testbed.add_from_string(device.record())
        self._devices.append(device)
        return device

    def uevent(self, device, action="add"):
        """Sends one more uevent for a device that is still attached (as a re-trigger)."""
        self._testbed.uevent(device.syspath, action)

    def remove_device(self, device):
        """Unplugs a device: the "remove" uevent first, then the device goes.

        It leaves the bus's device list before the event (umockdev builds the event from
        the device's folder, which must still be there), so that a rescan woken by the
        event cannot find it any more."""
        os.unlink(f"{self.root}/sys/bus/usb/devices/{device.name}")
        self._testbed.uevent(device.syspath, "remove")
        self._testbed.remove_device(device.syspath)
        self._release(device)
        self._devices.remove(device)

    def _release(self, device):
        if device.handler is not None:
            try:
                self._testbed.detach_ioctl(device.devnode)
            except GLib.Error:
                pass
            device.handler = None
        elif os.path.isdir(self.root + device.devnode):
            os.rmdir(self.root + device.devnode)

    def close(self):
        """Removes every device (without uevents) and the testbed."""
        if self._testbed is None:
            return
        for device in self._devices:
            self._testbed.remove_device(device.syspath)
            self._release(device)
        self._devices = []
        self._testbed = None

"""The USB scan on libusb against an emulated bus: what reaches the device lists."""
import json
import os
import subprocess

import pytest

from usbbed import STALL, UsbTestbed

PROBE = os.path.join(os.environ.get("TIDEWELL_BUILD_DIR", ""), "bin", "usb_scan_probe")


@pytest.fixture
def bed():
    with UsbTestbed() as testbed:
        yield testbed
        assert testbed.errors() == []


def scan(bed, home):
    env = {**os.environ, **bed.env(), "HOME": str(home)}
    out = subprocess.run([PROBE], env=env, check=True, capture_output=True, timeout=60)
    return json.loads(out.stdout)


def text(value):
    return None if value is None else bytes(value)


def summary(slots):
    return [(s["productId"], s["revision"], text(s["serial"])) for s in slots]


def test_units_hubs_other_vendors_and_scan_order(bed, tmp_path):
    # Ports out of order, a second bus: the scan goes by bus, then port.
    b = bed.add_device(0x1234, 0x0110, "Deck", "Quenlar", "B", busnum=1, port=3)
    c = bed.add_device(0x1234, 0x0102, "Deck", "Quenlar", "C", busnum=2, port=1)
    a = bed.add_device(0x2000, 0x0100, "Mixer", "Quenlar", "A", busnum=1, port=1)
    hub = bed.add_device(0x0001, 0x0100, "Hub", "Quenlar", device_class=9, busnum=1, port=2)
    other = bed.add_device(0x1234, 0x0100, "Alien", "Other", "X", vendor_id=0x1D6B, busnum=1, port=4)

    result = scan(bed, tmp_path)

    assert result["counted"] == 3
    assert summary(result["scanned"]) == [(0x2000, 0x0100, b"A"), (0x1234, 0x0110, b"B"), (0x1234, 0x0102, b"C")]
    assert summary(result["allUnits"]) == summary(result["scanned"])
    assert summary(result["perProduct"]) == [(0x2000, 0x0100, b"A"), (0x1234, 0x0102, b"C")]
    first = result["scanned"][0]
    assert (text(first["manufacturer"]), text(first["product"])) == (b"Quenlar", b"Mixer")
    assert hub.opened == 0 and other.opened == 0
    assert hub.requests == [] and other.requests == []
    # Three scans (raw, per product, all units), each opens every listed unit once.
    assert a.opened == b.opened == c.opened == 3


def test_string_replies_decoded_from_the_bytes_transferred(bed, tmp_path):
    full = "".join(chr(0x41 + k % 26) for k in range(70))
    bed.add_device(0x1001, product="Caf\u00e9 \u3042", serial=None)
    bed.add_device(0x1002, manufacturer="Quenlar", product="Stalled", serial="S1",
                   replies={2: STALL, 3: b"\x04\x03Z"})
    bed.add_device(0x1003, manufacturer="Quenlar", product="Short", serial="S2", replies={2: b"\x06\x03"})
    bed.add_device(0x1004, manufacturer="Quenlar", product=full, serial="S3")

    slots = scan(bed, tmp_path)["scanned"]

    # Manufacturer index 0 reads the language table 0x0409: one character, 0x09.
    assert text(slots[0]["manufacturer"]) == b"\x09"
    assert text(slots[0]["product"]) == b"Caf\xe9 \x42"
    assert slots[0]["serial"] is None
    assert slots[1]["product"] is None
    assert text(slots[1]["serial"]) == b"Z"        # 3 bytes: one character
    assert slots[2]["product"] is None             # 2 bytes: nothing
    assert text(slots[3]["product"]) == full[:63].encode()
    assert bed.devices[0].requests[-1][2:4] == b"\x02\x03"  # no serial request without an index


def test_a_device_that_cannot_be_opened_takes_its_strings_from_sysfs(bed, tmp_path):
    bed.add_device(0x1234, 0x0203, "Deck \u00e9\U0001F3B5", "Quenlar", "A1B2", openable=False)

    (slot,) = scan(bed, tmp_path)["scanned"]

    assert text(slot["manufacturer"]) == b"Quenlar"
    # The same low-byte rule: U+00E9 gives 0xE9, a surrogate pair two bytes.
    assert text(slot["product"]) == b"Deck \xe9\x3c\xb5"
    assert text(slot["serial"]) == b"A1B2"
    assert slot["revision"] == 0x0203


def test_sixty_five_devices_are_counted_the_first_sixty_four_listed(bed, tmp_path):
    for n in range(65):
        bed.add_device(0x3000 + n, product=f"Unit {n}")

    result = scan(bed, tmp_path)

    assert result["counted"] == 65
    assert [s["productId"] for s in result["scanned"]] == [0x3000 + n for n in range(64)]
    assert len(result["perProduct"]) == len(result["allUnits"]) == 64


"""Measures tidewelld and prints one Markdown table: idle cost, the application watch
against the pipelines it replaces, device-change latency on an emulated bus, start-up, the
cost of lists built to be slow, the peak memory of lists of many rows, and of one log line.
Every timed target is a ratio to a reference measured in the same run, as the machine's load
weighs on both; absolute times are information.

    umockdev-wrapper /usr/bin/python3 bench/run_bench.py <build folder>

scripts/bench.sh builds a release build and runs this. The idle agent runs on the machine
itself for 60 s (BENCH_IDLE_SECONDS) while the other measurements go on; the device
changes run on umockdev buses (hence umockdev-wrapper). Nothing is sent off the machine:
the agents' list and analytics addresses are a closed port of 127.0.0.1."""
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(SOURCE / "demo"))
import probe  # noqa: E402
from usbbed import UsbTestbed  # noqa: E402

IDLE_SECONDS = int(os.environ.get("BENCH_IDLE_SECONDS", "60"))
STARTUP_RUNS = 7
WATCH_PROCESSES = 500
DEVICE_COUNTS = (1, 4, 64)
BURST_EVENTS = 20
CRAFTED_LIST_BYTES = 4 * 1024 * 1024


def measure_startup():
    """Medians of wall and CPU milliseconds from exec to the end of start-up, and of wall
    milliseconds from exec to the exit of `tidewelld --version`: the program loaded, no more."""
    walls, cpus, loads = [], [], []
    for _ in range(STARTUP_RUNS):
        started = time.monotonic()
        subprocess.run([os.environ["TIDEWELLD"], "--version"], capture_output=True, check=True)
        loads.append((time.monotonic() - started) * 1000)
        with tempfile.TemporaryDirectory() as folder:
            agent = probe.Agent(folder).start()
            try:
                walls.append((agent.wait_started() - agent.started) * 1000)
                cpus.append(agent.cpu_ms())
            finally:
                agent.close()
    return statistics.median(walls), statistics.median(cpus), statistics.median(loads)


def run_json(command, env):
    result = subprocess.run(command, env=env, capture_output=True, text=True, check=True)
    return json.loads(result.stdout.strip().splitlines()[-1])


def measure_device_change(floor_binary, count, repeats):
    """Medians of the milliseconds from the device-change handler's first log line (after
    the watcher's quiet spell) to the one that follows the rescan of both lists, and of the
    same USB work done by bare libusb. The two take turns, so that a load on the machine
    weighs on both alike."""
    with tempfile.TemporaryDirectory() as folder, UsbTestbed() as bed:
        devices = [bed.add_device(product_id=0x1000 + i, release=0x0100, product=f"Bench Unit {i}",
                                  manufacturer="Quenlar", serial=f"B{i:04d}") for i in range(count)]
        agent = probe.Agent(folder, bed.env()).start()
        try:
            agent.expect_line(f"main Device Count prev=0 cur={count}")
            rescanned = f"onDeviceChange Device Count prev={count} cur={count}"
            # Until the watcher is seen to answer, an event may come before it listens.
            for _ in range(20):
                bed.uevent(devices[-1], "add")
                if agent.wait_line(lambda text: text == rescanned, timeout=3):
                    break
            latencies, floors = [], []
            for _ in range(repeats):
                agent.expect_line("deviceFound")
                floors.append(run_json([floor_binary, "1"], {**os.environ, **bed.env()})["median_ms"])
                bed.uevent(devices[-1], "add")
                started = agent.expect_line("onDeviceChange")
                latencies.append((agent.expect_line(rescanned) - started) * 1000)
        finally:
            agent.close()
        if bed.errors():
            raise RuntimeError(f"emulated bus: {bed.errors()}")
    return statistics.median(latencies), statistics.median(floors)


def measure_burst():
    """Rescans after BURST_EVENTS "add" uevents sent within 100 ms, one vendor device, and the
    milliseconds from the first uevent to the end of the last rescan."""
    with tempfile.TemporaryDirectory() as folder, UsbTestbed() as bed:
        device = bed.add_device(product_id=0x1000, release=0x0100, product="Bench Unit",
                                manufacturer="Quenlar", serial="B0000")
        agent = probe.Agent(folder, bed.env()).start()
        try:
            agent.expect_line("main Device Count prev=0 cur=1")
            first = time.time()
            for i in range(BURST_EVENTS):
                time.sleep(max(0.0, first + i * 0.1 / BURST_EVENTS - time.time()))
                bed.uevent(device, "add")
            # The watcher waits at most a second before it answers a burst.
            stamps = []
            while (found := agent.wait_line(lambda text: text == "onDeviceChange Device Count prev=1 cur=1",
                                            timeout=2)) is not None:
                stamps.append(found[0])
        finally:
            agent.close()
        if bed.errors():
            raise RuntimeError(f"emulated bus: {bed.errors()}")
    return len(stamps), ((stamps[-1] - first) * 1000 if stamps else float("nan"))


# Lists whose rows are many: the peak memory of a list that is cut into a string per row.
MANY_ROWS = {"empty rows": ("\n", "\n"), "short rows": ("a,1,mac,https://x\n", "a,14972,1\n")}


def sized_list(rows, last_row):
    """A list of at most CRAFTED_LIST_BYTES: the header, rows(0), rows(1), ... while they fit,
    then last_row."""
    text = ["FormatVersion:091\n"]
    size = len(text[0]) + len(last_row) + 1
    while size + len(row := rows(len(text) - 1)) <= CRAFTED_LIST_BYTES:
        text.append(row)
        size += len(row)
    return "".join(text) + last_row + "\n"


# Rows of 1.5 KB that a backtracking engine retries at every comma ("a,1," and "a," repeated).
def crafted_row(i):
    return ("a,1," * 384 + "\n", "a," * 768 + "\n")[i % 2]


# What a real list holds: rows of other products, none of them the bench's unit.
GENUINE_ROWS = (lambda i: f"Other Unit {i},101,mac,https://fw.example/other-unit-{i}.bin\n",
                lambda i: f"Other Unit {i},14972,{8192 + i % 50000}\n")


def measure_list_pass(firmware_rows, target_rows):
    """CPU milliseconds of start-up and of one device change with lists of CRAFTED_LIST_BYTES
    made of the rows given, one vendor device plugged in: its own row, with a package address
    of 4 KiB, is the last row of the firmware list and must still reach the hand-off file."""
    address = "https://fw.example/" + "u" * (4096 - 23) + ".bin"
    decided = "Bench Unit curVer:1.00 latestVer:1.01"
    with tempfile.TemporaryDirectory() as folder, UsbTestbed() as bed:
        device = bed.add_device(product_id=0x1000, release=0x0100, product="Bench Unit", manufacturer="Quenlar",
                                serial="B0000")
        agent = probe.Agent(folder, bed.env())
        (agent.list_folder / "firm_version_info.txt").write_text(sized_list(firmware_rows,
                                                                            f"Bench Unit,101,mac,{address}"))
        (agent.list_folder / "tar_product_info.txt").write_text(sized_list(target_rows, "Other Unit,14972,61440"))
        agent.start()
        try:
            agent.wait_started(timeout=600)
            startup = agent.cpu_ms()
            agent.wait_line(lambda text: text.endswith(decided), timeout=600)
            # Until the watcher is seen to answer, an event may come before it listens.
            before = agent.cpu_ms()
            for _ in range(20):
                bed.uevent(device, "add")
                if agent.wait_line(lambda text: text == "onDeviceChange", timeout=3):
                    break
            agent.wait_line(lambda text: text.endswith(decided), timeout=600)
            change = agent.cpu_ms() - before
        finally:
            agent.close()
        if (agent.support_folder / "firm_version_up.txt").read_text() != f"Bench Unit,1.00,1.01,{address}\n":
            raise RuntimeError("the unit's row of the list was not handed off")
    return startup, change


def measure_list_memory():
    """Peak resident memory (VmHWM, kB) of start-up with one vendor device, whose genuine row ends
    the firmware list: with small lists (the reference), and with lists of CRAFTED_LIST_BYTES
    whose rows are many (MANY_ROWS: firmware row, target row)."""
    decided = "Bench Unit curVer:1.00 latestVer:1.01"
    peaks = {}
    for name, (firmware_row, target_row) in {"small lists": ("", ""), **MANY_ROWS}.items():
        with tempfile.TemporaryDirectory() as folder, UsbTestbed() as bed:
            bed.add_device(product_id=0x1000, release=0x0100, product="Bench Unit", manufacturer="Quenlar",
                           serial="B0000")
            agent = probe.Agent(folder, bed.env())
            lists = {"firm_version_info.txt": ("Bench Unit,101,mac,https://fw.example/a.bin", firmware_row),
                     "tar_product_info.txt": ("Other Unit,14972,61440", target_row)}
            for file, (genuine, row) in lists.items():
                text = sized_list(lambda i, row=row: row, genuine) if row else f"FormatVersion:091\n{genuine}\n"
                (agent.list_folder / file).write_text(text)
            agent.start()
            try:
                agent.wait_line(lambda text: text.endswith(decided), timeout=600)
                peaks[name] = agent.memory_kb()["VmHWM"]
            finally:
                agent.close()
    return peaks


def machine():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")),
                 platform.machine())
    system = next((line.split("=", 1)[1].strip().strip('"') for line in open("/etc/os-release")
                   if line.startswith("PRETTY_NAME=")), "Linux")
    return f"{model}, {os.cpu_count()} cores, {system}, kernel {platform.release()}"


def verdict(met):
    return "yes" if met else "**no**"


def main():
    build = Path(sys.argv[1] if len(sys.argv) > 1 else SOURCE / "build-bench").resolve()
    os.environ["TIDEWELLD"] = str(build / "bin" / "tidewelld")
    rows = []

    with tempfile.TemporaryDirectory() as idle_folder:
        idle = probe.Agent(idle_folder).start()
        try:
            idle_start = idle.wait_started()
            idle_cpu_start = idle.cpu_ms()
            found = idle.wait_line(lambda text: text.startswith("main Device Count"))[1]

            startup_wall, startup_cpu, load_wall = measure_startup()
            watch = run_json([str(build / "bin" / "bench_watch"), str(WATCH_PROCESSES)], probe.plain_env())
            changes = {count: measure_device_change(str(build / "bin" / "bench_usb_floor"), count,
                                                    5 if count > 4 else 10) for count in DEVICE_COUNTS}
            rescans, burst_ms = measure_burst()
            crafted = measure_list_pass(crafted_row, crafted_row)
            genuine = measure_list_pass(*GENUINE_ROWS)
            logged = run_json([str(build / "bin" / "bench_log")], probe.plain_env())
            memory_peaks = measure_list_memory()

            time.sleep(max(0.0, idle_start + IDLE_SECONDS - time.monotonic()))
            idle_cpu = idle.cpu_ms() - idle_cpu_start
            memory = idle.memory_kb()
        finally:
            idle.close()

    share = idle_cpu / (IDLE_SECONDS * 1000) * 100
    note = "" if found.endswith("cur=0") else " (a vendor device was connected!)"
    rows.append((f"idle {IDLE_SECONDS} s, no device{note}: CPU", f"{idle_cpu / 1000:.4f} s = {share:.4f} % of one core",
                 "< 0.05 %", verdict(share < 0.05)))
    # Mapped library pages are shared with other processes and reclaimable; what the agent
    # owns is its anonymous memory.
    rows.append(("idle: private memory (RssAnon: heap, stacks, written library data)",
                 f"{memory['RssAnon'] / 1024:.1f} MB; all resident memory at its peak (VmHWM) "
                 f"{memory['VmHWM'] / 1024:.1f} MB, of it mapped library files {memory['RssFile'] / 1024:.1f} MB",
                 "<= 2 MB", verdict(memory["RssAnon"] <= 2 * 1024)))
    ratio = watch["pipelines_cpu_ms"] / watch["agent_cpu_ms"]
    rows.append((f"application watch, {watch['processes']} processes: the agent's /proc pass, against the seven "
                 "`ps -ax \\| grep -E` pipelines it replaces",
                 f"{watch['agent_cpu_ms']:.2f} ms CPU ({watch['agent_kernel_share'] * 100:.0f} % in the kernel), "
                 f"pipelines {watch['pipelines_cpu_ms']:.1f} ms: 1/{ratio:.0f}", "<= 1/50 of the pipelines",
                 verdict(ratio >= 50)))
    for count, (latency, floor) in changes.items():
        rows.append((f"device change, {count} vendor device{'s' if count > 1 else ''}: both lists rescanned, against "
                     "its USB requests made by bare libusb", f"{latency:.1f} ms, bare libusb {floor:.1f} ms: "
                     f"{latency / floor:.2f} x", "<= 1.5 x bare libusb", verdict(latency <= 1.5 * floor)))
    rows.append((f"device change, a burst of {BURST_EVENTS} uevents within 100 ms: rescans, first uevent to the end "
                 "of the last", f"{rescans} rescan{'s' if rescans != 1 else ''}, {burst_ms:.1f} ms", "<= 2 rescans",
                 verdict(rescans <= 2)))
    mib = CRAFTED_LIST_BYTES // (1024 * 1024)
    times = [crafted[i] / genuine[i] for i in range(2)]
    rows.append((f"lists built to be slow: {mib} MiB firmware and target lists of crafted rows, 1 vendor device: "
                 "CPU of start-up, of a device change (one pass over each list), against lists of real rows of the "
                 "same size", f"{crafted[0]:.0f} ms, {crafted[1]:.0f} ms; real rows {genuine[0]:.0f} ms, "
                 f"{genuine[1]:.0f} ms: {times[0]:.2f} x, {times[1]:.2f} x", "<= 2 x the real rows",
                 verdict(max(times) <= 2)))
    small = memory_peaks.pop("small lists")
    rows.append((f"lists of {mib} MiB with many rows ({', '.join(MANY_ROWS)}), 1 vendor device: peak resident memory "
                 "(VmHWM) of start-up, against small lists in the same run",
                 ", ".join(f"{peak / 1024:.1f} MB = {peak / small:.2f} x" for peak in memory_peaks.values())
                 + f" (small lists: {small / 1024:.1f} MB)", "<= 2 x", verdict(max(memory_peaks.values()) <= 2 * small)))
    # A line is written under _lock; its sync comes at the next tick, off every lock.
    ratio = logged["line_us"] / logged["write_us"]
    rows.append(("one log line (file and system log), as under `_lock`",
                 f"{logged['line_us']:.1f} us = {ratio:.0f} x a plain write(2) of it ({logged['write_us']:.2f} us); "
                 f"before, opened, synced and closed per line: {logged['before_us'] / 1000:.2f} ms", "<= 50 x",
                 verdict(ratio <= 50)))
    rows.append(("start-up: exec to the end of start-up, against exec to the exit of `tidewelld --version`",
                 f"{startup_wall:.1f} ms ({startup_cpu:.1f} ms CPU), --version {load_wall:.1f} ms: "
                 f"{startup_wall / load_wall:.1f} x", "<= 3 x --version", verdict(startup_wall <= 3 * load_wall)))

    print(f"Measured {datetime.date.today().isoformat()} on {machine()}, load average {os.getloadavg()[0]:.1f} at the "
          "end; Release build.\n")
    print("| measurement | result | target | met |")
    print("|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()

"""The agent's process frame: start-up, signals and shutdown of the real binary."""
import os
import signal
import time

from tidewell_e2e import Agent


def test_starts_creates_folders_ignores_hup_and_int_and_stops_on_term(tmp_path):
    agent = Agent(tmp_path / "home").start()
    try:
        assert agent.wait_stderr("App Run")
        assert agent.wait_stderr("main Device Count prev=0 cur=0")
        assert (tmp_path / "home/Library/Quenlar").is_dir()
        assert (tmp_path / "home/Library/Application Support/Quenlar").is_dir()

        agent.signal(signal.SIGHUP)
        assert agent.wait_stderr("Receive sinal 1")
        agent.signal(signal.SIGINT)
        assert agent.wait_stderr("Receive sinal 2")
        time.sleep(1.5)
        assert agent.process.poll() is None

        started = time.monotonic()
        assert agent.stop(timeout=5) == 0
        assert time.monotonic() - started < 2.0
        assert "App Exit" in agent.stderr()
    finally:
        agent.kill()


def test_term_during_start_up_ends_the_loop_cleanly(tmp_path):
    agent = Agent(tmp_path / "home").start()
    try:
        assert agent.wait_stderr("App Run", timeout=10)
        agent.signal(signal.SIGTERM)
        assert agent.process.wait(timeout=5) == 0
        assert "App Exit" in agent.stderr()
    finally:
        agent.kill()


def test_closed_stderr_does_not_kill_the_agent(tmp_path):
    reader, writer = os.pipe()
    os.close(reader)
    agent = Agent(tmp_path / "home").start(stderr=os.fdopen(writer, "wb"))
    try:
        # The first tick's lines come after several system-log lines that found no reader.
        assert agent.wait_log("CollectVariousList")
        assert agent.stop(timeout=5) == 0
    finally:
        agent.kill()


def test_system_log_lines_have_stamp_name_and_pid(tmp_path):
    agent = Agent(tmp_path / "home").start()
    try:
        assert agent.wait_stderr("App Run")
        line = next(l for l in agent.stderr().splitlines() if l.endswith("App Run"))
        date, clock, name, _ = line.split(" ", 3)
        assert len(date) == 10 and len(clock) == 12 and clock[8] == "."
        assert name == f"tidewelld[{agent.process.pid}]"
    finally:
        agent.stop()

"""The agent's process frame: start-up, signals and stop of the real binary."""
import os
import signal
import time

from tidewell_world import Agent


def test_start_signals_and_stop(tmp_path):
    agent = Agent(tmp_path / "home").start()
    try:
        assert agent.wait_stderr("main Device Count prev=0 cur=0")
        assert agent.support_folder.is_dir()
        line = next(line for line in agent.stderr().splitlines() if line.endswith("App Run"))
        assert line.split(" ")[2] == f"tidewelld[{agent.process.pid}]"

        agent.process.send_signal(signal.SIGHUP)
        assert agent.wait_stderr("Receive sinal 1")
        agent.process.send_signal(signal.SIGINT)
        assert agent.wait_stderr("Receive sinal 2")
        # The ticks go on after both.
        assert agent.wait_log("CollectVariousList Result")

        started = time.monotonic()
        assert agent.stop() == 0
        assert time.monotonic() - started < 10
        assert "App Exit" in agent.stderr()
    finally:
        agent.kill()


def test_closed_stderr_does_not_end_the_agent(tmp_path):
    reader, writer = os.pipe()
    os.close(reader)
    agent = Agent(tmp_path / "home").start(stderr=os.fdopen(writer, "wb"))
    try:
        # The first tick's lines come after several system-log lines that found no reader.
        assert agent.wait_log("CollectVariousList Result")
        assert agent.stop() == 0
    finally:
        agent.kill()

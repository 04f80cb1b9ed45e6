"""SIGTERM while a list download stalls. The tick runs the download inline and SIGTERM is
taken between ticks, so the agent ends once the transfer gives up on the stalled server:
within the list transfer's stall limit."""
import os
import re
import signal
import time
from pathlib import Path

from tidewell_e2e import Agent, StubServer, wait_until

LISTS = "/application/tidewell/"
MARGIN_SECONDS = 15


def list_stall_limit():
    """The stall limit of kListLimits in the agent's transfer header, in seconds."""
    header = Path(os.environ["TIDEWELL_SOURCE_DIR"]) / "tidewelld" / "commXdata" / "transfer.h"
    return int(re.search(r"kListLimits\{\s*\d+\s*,\s*(\d+)", header.read_text()).group(1))


def test_term_while_the_list_download_stalls_ends_the_agent_within_the_stall_limit(tmp_path):
    firmware_list = "FormatVersion:091\n" + "Deck Unit 2,124,mac,https://x/deck.bin\n" * 100
    server = StubServer(tmp_path / "lists", {
        LISTS + "firm_version_info.txt": {"body": firmware_list, "stall_after": 20},
        LISTS + "tar_product_info.txt": {"body": "FormatVersion:091\nMixer M-4,14972,8192\n"}})
    agent = Agent(tmp_path / "home", lists_base=server.url("")).start()
    try:
        assert wait_until(lambda: server.requests(), timeout=15)
        agent.signal(signal.SIGTERM)
        signalled = time.monotonic()
        assert agent.process.wait(timeout=list_stall_limit() + 3 * MARGIN_SECONDS) == 0
        assert time.monotonic() - signalled <= list_stall_limit() + MARGIN_SECONDS
        assert "App Exit" in agent.stderr()
        # The cut-off firmware list was not saved, and no temporary file was left behind.
        assert sorted(path.name for path in agent.list_folder.iterdir()) == [
            "FwUpInfoURL.txt", "TarProductURL.txt", "tar_product_info.txt"]
    finally:
        agent.kill()
        server.close()

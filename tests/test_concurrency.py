"""One run at a time: a second run that starts while another is running ends at
start-up, and the lock that keeps it out dies with the run that holds it, however
that run ends. Two real processes in each build."""

import signal
import subprocess
import time

import pytest

from sim_state import SimState, installed, port, read_calls, write_image, write_package

RIVAL = ("Error: Either another NetXen tool is already running, or your last session did "
         "not close gracefully. Required to clear the settings!\n")
CHECKING = "Checking for any other instance of NetXen tool!\n"
QUESTION = "y/n/q/c (y):"
DISCOVER = ["-flashsupport", "-d", "p3p_rom.bin", "tempNicList.xml", "-p3"]
FLASH = ["-flashsupport", "-i", "03:00.0", "-a", "p3p_rom.bin"]


def outdated_server(z, **flash):
    """One port older than the package; each flash takes as long as asked."""
    write_package(z.cwd)
    write_image(z.cwd)
    SimState(ports=[port("03:00.0", "4.0.555")], flash=flash).write(z.cwd)


def wait_for(condition, what, process, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        assert process.poll() is None, f"the first run ended before {what}"
        time.sleep(0.05)
    pytest.fail(f"timed out waiting for {what}")


def start_interactive(z, *args):
    """Starts a run whose standard input stays open, so it waits at its question."""
    return subprocess.Popen(z.command(z.program, *args), cwd=z.cwd, env=z.env,
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def assert_kept_out(r):
    """A run kept out says why in the log only and does nothing else."""
    assert r.rc == 0, r
    assert r.out == "", r
    assert RIVAL in r.log, r.log


def test_second_run_is_kept_out_while_the_first_is_flashing(z):
    outdated_server(z, delay_ms=4000, hold_lock="yes")
    first = z.start("-s", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        wait_for(lambda: FLASH in read_calls(z.cwd), "the flash began", first)
        second = z.run("-c")
        # The vendor lock that the flashing utility holds is left alone.
        assert z.lock_path.exists()
        assert first.poll() is None, "the flash took less time than the second run"
    finally:
        first_out, _ = first.communicate(timeout=120)
    assert first.returncode == 2
    assert_kept_out(second)
    log = z.log()
    # The second run stopped before its own start-up checks, its banner and its
    # discovery: one of each in the log, all the first run's.
    assert log.count(RIVAL) == 1
    assert log.count(CHECKING) == 1
    assert log.count("Command line supplied:") == 1
    assert "\nNIC firmware update complete.\n" in log
    assert read_calls(z.cwd) == [DISCOVER, FLASH]
    assert installed(z.cwd) == {"03:00.0": "4.0.556"}


def test_lock_dies_with_a_killed_run(z):
    outdated_server(z)
    first = start_interactive(z)
    try:
        wait_for(lambda: QUESTION in z.log(), "the first run asked its question", first)
        assert_kept_out(z.run("-s"))
        # Killed outright: no handler, no clean-up of its own.
        first.send_signal(signal.SIGKILL)
        first.communicate(timeout=60)
    finally:
        if first.poll() is None:
            first.kill()
            first.communicate()
    if not z.windows:
        assert first.returncode == -signal.SIGKILL
    third = z.run("-s")
    assert third.rc == 2, third
    assert third.log.endswith("Exiting with code 2\n")
    assert RIVAL not in third.log
    assert installed(z.cwd) == {"03:00.0": "4.0.556"}


def test_run_that_ends_normally_lets_the_next_one_in(z):
    outdated_server(z)
    first = start_interactive(z)
    wait_for(lambda: QUESTION in z.log(), "the first run asked its question", first)
    out, _ = first.communicate(b"n\n", timeout=60)
    assert first.returncode == 3
    r = z.run("-n")
    assert r.rc == 4, r
    assert RIVAL not in z.log()


def test_lock_is_its_own_file_beside_the_log(z):
    if z.windows:
        pytest.skip("the Windows build holds a named mutex, nothing on disk")
    outdated_server(z)
    first = start_interactive(z)
    try:
        wait_for(lambda: QUESTION in z.log(), "the first run asked its question", first)
        lock = z.log_path.parent / "zentavor.lock"
        assert lock.exists()
        # A stale vendor lock file is the vendor tools' affair: the run kept out
        # neither clears it nor counts it as its own lock.
        z.lock_path.write_text("stale")
        assert_kept_out(z.run("-c"))
        assert z.lock_path.read_text() == "stale"
    finally:
        first.kill()
        first.communicate()
    assert lock.exists(), "the lock file is never removed, only unlocked"


def test_lock_that_cannot_be_made_does_not_stop_the_run(z):
    if z.windows:
        pytest.skip("a named mutex does not depend on the file system")
    outdated_server(z)
    # Something standing where the lock file goes, as a drive that cannot be
    # written would: the run goes on, and the log says it ran unguarded.
    (z.log_path.parent / "zentavor.lock").mkdir(parents=True)
    r = z.run("-n")
    assert r.rc == 4, r
    assert r.log.startswith("Warning: could not take the single-instance lock "
                            f"{z.log_path.parent / 'zentavor.lock'} (error "), r.log
    assert "a run started meanwhile would not be kept out.\n" + CHECKING in r.log

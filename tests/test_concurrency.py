"""One run at a time: a second run that starts while another is running ends at
start-up, and the lock that keeps it out dies with the run that holds it, however
that run ends. Two real processes in each build."""

import contextlib
import re
import signal
import subprocess
import time

import pytest

from sim_state import SimState, installed, port, read_calls, write_image, write_package

RIVAL = ("Error: Either another NetXen tool is already running, or your last session did "
         "not close gracefully. Required to clear the settings!\n")
# A run kept out by another Zentavor run says so, naming the lock; the vendor's
# message above would send the administrator after the vendor's lock file.
ANOTHER_RUN = re.compile(r"Error: Another Zentavor run is going on \(it holds \S*zentavor\.lock\)\. "
                         r"Start this one again when it has ended\.\n")
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
    assert ANOTHER_RUN.search(r.log), r.log
    assert RIVAL not in r.log, r.log


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
    assert len(ANOTHER_RUN.findall(log)) == 1
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
    assert not ANOTHER_RUN.search(third.log)
    assert installed(z.cwd) == {"03:00.0": "4.0.556"}


def test_run_that_ends_normally_lets_the_next_one_in(z):
    outdated_server(z)
    first = start_interactive(z)
    wait_for(lambda: QUESTION in z.log(), "the first run asked its question", first)
    out, _ = first.communicate(b"n\n", timeout=60)
    assert first.returncode == 3
    r = z.run("-n")
    assert r.rc == 4, r
    assert not ANOTHER_RUN.search(z.log())


def test_lock_is_its_own_file_in_the_lock_directory(z):
    if z.windows:
        pytest.skip("the Windows build holds a named mutex, nothing on disk")
    outdated_server(z)
    first = start_interactive(z)
    try:
        wait_for(lambda: QUESTION in z.log(), "the first run asked its question", first)
        lock = z.lock_dir / "zentavor.lock"
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


def test_runs_with_different_system_drives_share_one_lock(z):
    if z.windows:
        pytest.skip("the named mutex is machine-wide, and Wine ignores SystemDrive")
    outdated_server(z)
    first = start_interactive(z)
    try:
        wait_for(lambda: QUESTION in z.log(), "the first run asked its question", first)
        # A fleet tool's environment beside an administrator's shell.
        other_drive = z.root / "other-drive"
        other_drive.mkdir()
        second = subprocess.run(z.command(z.program, "-s"), cwd=z.cwd,
                                env=dict(z.env, SystemDrive=str(other_drive)),
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    finally:
        first.kill()
        first.communicate()
    assert second.returncode == 0
    assert ANOTHER_RUN.fullmatch(
        (other_drive / "tavensystem" / "log" / "zentavor.log").read_text())
    assert read_calls(z.cwd) == [DISCOVER]
    assert installed(z.cwd) == {"03:00.0": "4.0.555"}


def take_the_lock_away(z, blocker, stack):
    """Makes the single-instance lock impossible to take without anyone holding
    it; returns what the lock is called."""
    if blocker == "name taken by another kind of object":
        squatter = subprocess.Popen(
            z.command(z.build.program("testchild"), "hold-name", "Global\\zentavor.lock", "600"),
            env=z.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        stack.callback(lambda: (squatter.kill(), squatter.communicate()))
        assert squatter.stdout.readline().strip() == b"holding"
        return "Global\\zentavor.lock"
    lock = z.lock_dir / "zentavor.lock"
    if blocker == "directory in the way":
        lock.mkdir()
    elif blocker == "link":
        target = z.root / "target"
        target.write_text("keep")
        lock.symlink_to(target)
    else:
        z.lock_dir.rmdir()
    return str(lock)


# What each mode does without the lock: (arguments, exit code, what the utility
# was asked to do).
WITHOUT_THE_LOCK = [
    (["-n"], 4, [DISCOVER]),
    (["-c"], 0, [DISCOVER]),
    (["-d", "report.xml"], 1, [DISCOVER, ["-flashsupport", "-d", "p3p_rom.bin", "report.xml",
                                          "-p3"]]),
    (["-ql", "-v", "versions.xml"], 0, [DISCOVER]),
    (["-s"], 0, []),
    (["-u", "report.xml"], 0, []),
]


@pytest.mark.parametrize("blocker", ["directory in the way", "link", "missing lock directory",
                                     "name taken by another kind of object"])
def test_run_without_the_lock_looks_and_reports_but_never_flashes(z, blocker):
    if z.windows != (blocker == "name taken by another kind of object"):
        pytest.skip("the POSIX lock is a file, the Windows lock a named mutex")
    outdated_server(z)
    with contextlib.ExitStack() as stack:
        where = take_the_lock_away(z, blocker, stack)
        for args, code, calls in WITHOUT_THE_LOCK:
            before = len(read_calls(z.cwd))
            r = z.run(*args)
            assert r.rc == code, (args, r)
            warning = f"Warning: could not take the single-instance lock {where} (error "
            assert r.err.startswith(warning), (args, r.err)
            assert ("; a run started meanwhile would not be kept out, so this run writes no "
                    "firmware.\n") in r.err, (args, r.err)
            assert warning in r.log
            assert read_calls(z.cwd)[before:] == calls, args
            if not calls:
                assert f"Error: no firmware is written without the single-instance lock {where} " \
                       "(error " in r.log, (args, r.log)
                assert r.log.endswith("Exiting with code 0\n")
    assert installed(z.cwd) == {"03:00.0": "4.0.555"}
    if blocker == "link":
        assert (z.root / "target").read_text() == "keep"

"""Faults of the world around the program: the vendor utility gone, killed, or
ending with each code its callers tell apart, or leaving no file or half a file;
a log that cannot be written; a version-only file that cannot be written; a
vendor lock that cannot be cleared. Whatever fails is reported as failing, and
nothing that did not happen is reported as done."""

import json
import os
import re
import shutil
import signal
import stat
import subprocess
import time
from pathlib import Path

import pytest

from sim_state import (IMAGE_NAME, PACKAGE_VERSION, SimState, flashed_locations, installed,
                       port, read_calls, write_image, write_package)

DISCOVER = ["-flashsupport", "-d", IMAGE_NAME, "tempNicList.xml", "-p3"]
FLASH = ["-flashsupport", "-i", "03:00.0", "-a", IMAGE_NAME]
REPLAY = ["-flashsupport", "-u", IMAGE_NAME, "report.xml", "tempNicList.xml", "-p3"]
WITH_ERRORS = "\nNIC firmware update completed with errors. \n"
NO_ADAPTERS = "No supported network adapters for firmware upgrade.\n"


def outdated_server(z, **state):
    write_package(z.cwd)
    write_image(z.cwd)
    SimState(ports=[port("03:00.0", "4.0.555")], **state).write(z.cwd)


def flash_failed(code):
    return (f"Command to upgrade firmware failed with internal error code {code}\n"
            f"\tCommand: netscli -flashsupport -i 03:00.0 -a {IMAGE_NAME}\n")


def assert_unchanged(z):
    assert installed(z.cwd) == {"03:00.0": "4.0.555"}


# The utility killed by a signal while it works.

def utility_processes(z):
    """The utility started in this test's working directory (its only one)."""
    found = []
    for entry in Path("/proc").iterdir():
        try:
            if (entry.name.isdigit() and os.readlink(entry / "cwd") == str(z.cwd)
                    and b"-flashsupport" in (entry / "cmdline").read_bytes()):
                found.append(int(entry.name))
        except OSError:
            pass
    return found


def kill_utility_when(z, run, called, number):
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        assert run.poll() is None, "the run ended before the utility could be killed"
        victims = utility_processes(z) if called in read_calls(z.cwd) else []
        if victims:
            for pid in victims:
                os.kill(pid, number)
            return
        time.sleep(0.05)
    pytest.fail("the utility never started")


@pytest.mark.parametrize("number", [signal.SIGKILL, signal.SIGTERM])
def test_utility_killed_while_flashing(z, number):
    if z.windows:
        pytest.skip("Wine hands a Windows parent exit code 0 for a child that a POSIX "
                    "signal ended, so only the POSIX build can see the kill")
    outdated_server(z, flash={"delay_ms": "30000"})
    run = z.start("-s", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    kill_utility_when(z, run, FLASH, number)
    run.communicate(timeout=60)
    assert run.returncode == 0
    log = z.log()
    assert flash_failed(128 + number) + WITH_ERRORS in log
    assert "upgrade SUCCESS" not in log
    assert_unchanged(z)


def test_utility_killed_while_replaying(z):
    if z.windows:
        pytest.skip("Wine hands a Windows parent exit code 0 for a child that a POSIX "
                    "signal ended, so only the POSIX build can see the kill")
    outdated_server(z, flash={"delay_ms": "30000"})
    assert z.run("-d", "report.xml").rc == 1
    run = z.start("-u", "report.xml", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    kill_utility_when(z, run, REPLAY, signal.SIGKILL)
    out, _ = run.communicate(timeout=60)
    assert run.returncode == 0
    assert out.decode().replace("\r\n", "\n").endswith(
        "Error: Failed to process discovery file report.xml.\n")
    assert "NIC firmware update complete." not in z.log()
    assert_unchanged(z)


def test_utility_gone_between_discovery_and_flash(z):
    outdated_server(z)
    run = subprocess.Popen(z.command(z.program), cwd=z.cwd, env=z.env, stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 60
    while "y/n/q/c (y):" not in z.log():
        assert run.poll() is None and time.monotonic() < deadline, "no question asked"
        time.sleep(0.05)
    z.remove("netscli")
    out, _ = run.communicate(b"y\n", timeout=60)
    assert run.returncode == 0
    # Could not be started: the same number as a utility that exits with 98.
    assert flash_failed(98) + WITH_ERRORS in out.decode().replace("\r\n", "\n")
    assert_unchanged(z)


# An interrupt of the run itself (Ctrl-C, a dropped session, a request to
# terminate): the flash it comes during runs to its end, no further port is
# flashed, and the run closes as usual.

INTERRUPTED = ("Interrupt received: a command already running was allowed to finish; nothing "
               "further is started.\n")


def wait_for_call(z, run, call):
    deadline = time.monotonic() + 60
    while call not in read_calls(z.cwd):
        assert run.poll() is None and time.monotonic() < deadline, "the utility never started"
        time.sleep(0.05)


def interrupt(z, run, number):
    """Sends an interrupt as a terminal does: POSIX, to the run's whole process
    group (its child included, were it still in it); Windows, to the run's own
    Wine process, which Wine turns into the console's Ctrl-C."""
    if z.windows:
        os.kill(run.pid, number)
    else:
        os.killpg(run.pid, number)


@pytest.mark.parametrize("number, inherited", [
    (signal.SIGINT, None),
    (signal.SIGTERM, None),
    (signal.SIGHUP, None),
    (signal.SIGQUIT, None),
    # Started under nohup: whoever started the run asked it to go on.
    (signal.SIGHUP, signal.SIG_IGN),
])
def test_interrupt_lets_the_running_flash_finish_and_flashes_no_more(z, number, inherited):
    if z.windows and (number != signal.SIGINT or inherited is not None):
        pytest.skip("Wine turns only SIGINT into a console event (Ctrl-C)")
    write_package(z.cwd)
    write_image(z.cwd)
    SimState(ports=[port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")],
             flash={"delay_ms": "2500", "hold_lock": "yes"}).write(z.cwd)

    def start_as_a_job():  # a process group of its own, as a shell gives a job
        os.setsid()
        # The disposition is the row's, never the one the test command was
        # started with: a script's background job ignores SIGINT and SIGQUIT,
        # and nohup ignores SIGHUP.
        signal.signal(number, signal.SIG_DFL if inherited is None else inherited)

    run = subprocess.Popen(z.command(z.program, "-s", "-json", "result.json"), cwd=z.cwd, env=z.env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, preexec_fn=start_as_a_job)
    try:
        wait_for_call(z, run, FLASH)
        interrupt(z, run, number)
        run.communicate(timeout=120)
    finally:
        if run.poll() is None:
            run.kill()
            run.communicate()
    assert run.returncode == 2
    log = z.log()
    assert "\nNIC firmware update complete.\nUpgrade completed: " in log
    assert log.endswith("Exiting with code 2\n")
    # The vendor lock goes with the flash that finished.
    assert not z.lock_path.exists()
    if inherited is signal.SIG_IGN:
        assert INTERRUPTED not in log
        assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION, "03:00.1": PACKAGE_VERSION}
        return
    assert read_calls(z.cwd) == [DISCOVER, FLASH]
    assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION, "03:00.1": "4.0.555"}
    assert "upgrade SUCCESS!\n" + INTERRUPTED + "\nNIC firmware update complete.\n" in log
    # A fleet reads the interrupt, and which port got the new firmware, from the result file.
    result = json.loads((z.cwd / "result.json").read_text(encoding="utf-8"))
    assert (result["outcome"], result["reason"]) == ("interrupted", INTERRUPTED.rstrip("\n"))
    assert [(p["location"], (p["flash"] or {}).get("result")) for p in result["ports"]] == [
        ("03:00.0", "updated"), ("03:00.1", "not-run")]


def test_parent_that_ignores_sigchld_still_gets_the_verdict(z):
    if z.windows:
        pytest.skip("Windows has no SIGCHLD")
    outdated_server(z)
    # Some schedulers start their jobs with SIGCHLD ignored, which makes the
    # system reap every child before its exit code can be read.
    completed = subprocess.run(
        z.command(z.program, "-n"), cwd=z.cwd, env=z.env, stdin=subprocess.DEVNULL,
        capture_output=True, timeout=120,
        preexec_fn=lambda: signal.signal(signal.SIGCHLD, signal.SIG_IGN))
    assert completed.returncode == 4
    assert "Device discovery completed successfully!\n" in z.log()

# A program planted in the package folder (the current directory) never runs;
# the utility beside the program and one on the search path do. A utility that
# is there but cannot be run is named with the system's error, never taken for
# one that is missing.

NOT_FOUND = "netscli could not be started: it is neither beside the program"


@pytest.mark.parametrize("where, rc, says", [
    ("nowhere else", 0, NOT_FOUND),
    ("beside the program", 4, None),
    ("on the search path", 4, None),
    ("beside the program, without the right to run it", 0,
     "could not be started: it is not executable (Permission denied)"),
    ("beside the program, not a program", 0, "could not be started: it is not executable ("),
])
def test_utility_is_never_taken_from_the_current_directory(z, where, rc, says):
    outdated_server(z)
    z.remove("netscli")
    # Would end every command with 99 ("unknown command") if it ever ran.
    z.install("testchild", as_name="netscli" + z.build.suffix).rename(
        z.cwd / ("netscli" + z.build.suffix))
    beside = z.bin / ("netscli" + z.build.suffix)
    if where == "beside the program":
        z.install("netscli")
    elif where.endswith("without the right to run it"):
        if z.windows:
            pytest.skip("the right to run a file is a POSIX file mode")
        shutil.copy2(z.build.program("netscli"), beside)
        beside.chmod(0o644)
    elif where.endswith("not a program"):
        beside.write_bytes(b"#!/nonexistent/interpreter\nnot a program\n" if not z.windows
                           else b"not a program\r\n")
        beside.chmod(0o755)
    elif where == "on the search path":
        tools = z.root / "tools"
        tools.mkdir()
        shutil.copy2(z.build.program("netscli"), tools)
        if z.windows:
            z.env["WINEPATH"] = "Z:" + str(tools).replace("/", "\\")
        else:
            z.env["PATH"] = f"{tools}:{z.env['PATH']}"
    r = z.run("-n", "-json", "result.json")
    assert r.rc == rc, r
    if rc == 0:
        assert discovery_failed(98) in r.log
        assert read_calls(z.cwd) == []
        assert says in r.err and says in r.document["reason"], (r.err, r.document)
        if "not executable" in says:
            # The file found is named, by its place beside the program.
            assert str(z.bin.name) in r.err and NOT_FOUND not in r.err, r.err
    else:
        assert read_calls(z.cwd)[0][:2] == ["-flashsupport", "-d"]


# DLLs that Windows always loads from its own directory (its "known DLLs"),
# whatever lies beside the program. Any other DLL linked in would be looked for
# first beside the program, which may be the package folder.
KNOWN_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll", "psapi.dll"}


def test_windows_program_links_only_dlls_taken_from_the_system_directory(build):
    if not build.windows:
        pytest.skip("POSIX programs name their libraries by the system's paths")
    headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(build.program("zentavor"))],
                             capture_output=True, text=True, check=True).stdout
    linked = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    assert linked and linked <= KNOWN_DLLS, linked


# Every exit code the callers tell apart, for each command the utility runs: 0
# is success everywhere, 5 only for the replay (a report already applied, which
# is not an update), 98 is what a utility that cannot start also gives.

def discovery_failed(code):
    return f"Device discovery failed with error code {code}\n"


CODES = {
    # form: (state, arguments, {code: (exit code, message, where)})
    "discovery": ("discovery", ["-s"], {
        5: (0, discovery_failed(5), "log"),
        7: (0, discovery_failed(7), "log"),
        98: (0, discovery_failed(98), "log"),
    }),
    "flash": ("flash", ["-s"], {
        5: (0, flash_failed(5) + WITH_ERRORS, "log"),
        7: (0, flash_failed(7) + WITH_ERRORS, "log"),
        98: (0, flash_failed(98) + WITH_ERRORS, "log"),
    }),
    "report": ("report", ["-d", "report.xml"], {
        5: (0, "\nFailed to generate NIC discovery report to report.xml.\n", "console"),
        98: (0, "\nFailed to generate NIC discovery report to report.xml.\n", "console"),
    }),
    "replay": ("replay", ["-u", "report.xml"], {
        5: (3, "\nNo firmware is selected for update.\n", "console"),
        98: (0, "Error: Failed to process discovery file report.xml.\n", "console"),
        7: (0, "Error: Failed to process discovery file report.xml.\n", "console"),
    }),
}


@pytest.mark.parametrize("form, code", [(form, code) for form, (_, _, codes) in CODES.items()
                                        for code in codes])
def test_exit_codes_of_the_utility(z, form, code):
    element, args, codes = CODES[form]
    rc, message, where = codes[code]
    outdated_server(z, **{element: {"exit": str(code)}})
    if form == "replay":
        z.write("report.xml", "<netscli_report/>")
    r = z.run(*args)
    assert r.rc == rc, r
    assert message in (r.out if where == "console" else r.log), r
    assert "upgrade SUCCESS" not in r.log
    assert "NIC firmware update complete." not in r.log
    assert "Successfully generated" not in r.log
    assert not (z.cwd / "tempNicList.xml").exists()
    assert_unchanged(z)


# Discovery that exits 0 without its file, or with half of it, in every mode
# that discovers: nothing is flashed and no mode reports success.

@pytest.mark.parametrize("output", ["none", "corrupt"])
@pytest.mark.parametrize("args, rc", [
    (["-s"], 0),
    (["-n"], 0),
    (["-d", "report.xml"], 0),
    (["-v", "versions.xml", "-ql"], 4),
    (["-c"], 2),
])
def test_discovery_without_a_sound_file(z, output, args, rc):
    outdated_server(z, discovery={"output": output})
    r = z.run(*args)
    assert r.rc == rc, r
    assert discovery_failed(0) in r.log
    assert ("Could not generate discovery file.\n" in r.log) == (output == "none")
    assert len(read_calls(z.cwd)) == 1
    for name in ("tempNicList.xml", "report.xml", "versions.xml"):
        assert not (z.cwd / name).exists(), name
    if "-ql" in args:
        assert r.out.endswith(NO_ADAPTERS)
    assert_unchanged(z)


# A log that cannot be written: the run goes on and reports as it always does;
# the failure to open the log is said once on standard error whatever the
# options, and again at every write in debug mode.

def clean_up(path):
    if path.is_dir():
        shutil.rmtree(path)
    elif path.exists():
        path.unlink()


def make_unusable(z, what):
    """Puts something in the way of the log (a directory where the log file
    goes, a file where its directory goes, or a reader that lets no one else
    write); returns what takes it away again."""
    if what == "log held by a reader":
        if not z.windows:
            pytest.skip("POSIX has no sharing modes: a reader never keeps a writer out")
        z.log_path.parent.mkdir(parents=True, exist_ok=True)
        holder = subprocess.Popen(
            z.command(z.build.program("testchild"), "hold", "C:\\tavensystem\\log\\zentavor.log",
                      "600"), env=z.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        assert holder.stdout.readline().strip() == b"held"
        return lambda: (holder.kill(), holder.wait())
    if what == "log file":
        z.log_path.mkdir(parents=True)
        return lambda: clean_up(z.log_path)
    # The Windows build's log directory is shared by the session and holds only
    # the log, which every test starts without.
    clean_up(z.log_path.parent)
    z.log_path.parent.parent.mkdir(parents=True, exist_ok=True)
    z.log_path.parent.write_text("not a directory")
    return lambda: clean_up(z.log_path.parent)


def run_without_log(z, *args):
    """Runs the program where the harness cannot read the log either."""
    completed = subprocess.run(z.command(z.program, *args), cwd=z.cwd, env=z.env,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    out = completed.stdout.decode().replace("\r\n", "\n")
    return completed.returncode, out, completed.stderr.decode(errors="replace")


@pytest.mark.parametrize("what", ["log file", "log directory", "log held by a reader"])
def test_run_goes_on_without_a_log(z, what):
    outdated_server(z)
    take_away = make_unusable(z, what)
    log = "C:\\tavensystem\\log\\zentavor.log" if z.windows else str(z.log_path)
    said_once = re.compile(re.escape(f"Warning: Cannot open the log file {log} (error ")
                           + r"\d+\); this run is not being logged\.\r?\n")
    try:
        rc, out, err = run_without_log(z, "-n", "-debug")
        assert rc == 4
        assert out.endswith("\nNIC firmware update is recommended.\n")
        assert len(said_once.findall(err)) == 1, err
        assert "UserInterface::Write(): fopen() " in err
        assert "zentavor.log failed " in err
        rc, out, err = run_without_log(z, "-s")
        assert rc == 2
        assert out == ""
        assert said_once.fullmatch(err), err
        assert flashed_locations(z.cwd) == ["03:00.0"]
        assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION}
    finally:
        take_away()


# The log lies in a shared place and the program runs as root: its directories
# are created readable by all and writable by root alone whatever the umask, and
# only a regular file reached without following a link is written to.

@pytest.mark.parametrize("umask", [0o000, 0o077])
def test_log_is_0644_and_its_directories_0755_whatever_the_umask(z, umask):
    if z.windows:
        pytest.skip("Windows has no umask; the log's folders are the prefix's")
    outdated_server(z)
    completed = subprocess.run(z.command(z.program, "-n"), cwd=z.cwd, env=z.env,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=120,
                               umask=umask)
    assert completed.returncode == 4
    for directory in (z.log_path.parent, z.log_path.parent.parent):
        assert stat.S_IMODE(directory.stat().st_mode) == 0o755, directory
    assert stat.S_IMODE(z.log_path.stat().st_mode) == 0o644


@pytest.mark.parametrize("planted", ["link to a root-only file", "dangling link", "FIFO"])
def test_log_that_is_not_a_regular_file_is_never_written(z, planted):
    if z.windows:
        pytest.skip("links and FIFOs at the log's place are a POSIX matter")
    outdated_server(z)
    z.log_path.parent.mkdir(parents=True)
    secret = z.root / "secret"
    secret.write_text("root only\n")
    secret.chmod(0o600)
    if planted == "link to a root-only file":
        z.log_path.symlink_to(secret)
    elif planted == "dangling link":
        z.log_path.symlink_to(z.root / "nowhere")
    else:
        os.mkfifo(z.log_path)
    # Handled as a log that cannot be opened: the run goes on and ends as usual
    # (a FIFO without a reader would have held it at the open for good).
    rc, out, _ = run_without_log(z, "-s")
    assert rc == 2
    assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION}
    assert secret.read_text() == "root only\n"
    assert not (z.root / "nowhere").exists()
    assert z.log_path.is_symlink() or stat.S_ISFIFO(z.log_path.lstat().st_mode)


# The version-only file that cannot be written: no file, and the failure said.

def native(z, path):
    return "Z:" + str(path).replace("/", "\\") if z.windows else str(path)


@pytest.mark.parametrize("where", ["missing directory", "directory in the way", "device"])
def test_version_only_file_that_cannot_be_written(z, where):
    outdated_server(z)
    if where == "missing directory":
        target = z.cwd / "missing" / "versions.xml"
    elif where == "directory in the way":
        target = z.cwd / "versions.xml"
        (target / "inside").mkdir(parents=True)
    else:
        if os.geteuid() != 0:
            pytest.skip("making a device node needs root")
        # A node of the always-full device of our own: written to, never deleted.
        target = z.cwd / "full"
        os.mknod(target, 0o666 | 0o020000, os.makedev(1, 7))
    before = target.lstat() if target.exists() else None
    r = z.run("-v", native(z, target), "-ql")
    assert r.rc == 1, r
    assert r.out.endswith(f"Failed to create file {native(z, target)} with only firmware "
                          "version details!\n")
    if before is None:
        assert not target.exists()
    else:
        # Whatever stood there is still there, untouched in kind.
        after = target.lstat()
        assert (after.st_mode, after.st_rdev) == (before.st_mode, before.st_rdev)


def test_vendor_lock_that_cannot_be_cleared_stops_the_run(z):
    outdated_server(z)
    # A directory with something in it: present, but no file to delete.
    (z.lock_path / "inside").mkdir(parents=True)
    try:
        r = z.run("-s", own_process_table=True)
        assert r.rc == 0, r
        assert r.out == ""
        assert r.log == ("Checking for any other instance of NetXen tool!\n"
                         "Error: last session did not close gracefully.  Unable to clear lock.\n")
        assert read_calls(z.cwd) == []
        assert z.lock_path.is_dir()
    finally:
        shutil.rmtree(z.lock_path)


# Paths the options name that hold something other than a regular file: a
# device, a pipe, a link or a folder is left exactly as it is, the run says the
# path cannot be written (standard error and log), and its mode's exit code
# stands. Device nodes are the test's own (same device as /dev/null), so that
# no fault could ever touch the machine's.

def plant(z, kind, path):
    if kind == "device":
        if os.geteuid() != 0:
            pytest.skip("device nodes need root")
        os.mknod(path, stat.S_IFCHR | 0o666, os.stat("/dev/null").st_rdev)
    elif kind == "fifo":
        os.mkfifo(path)
    elif kind == "link":
        (z.root / "target").write_text("kept")
        path.symlink_to(z.root / "target")
    else:
        (path / "inside").mkdir(parents=True)
    return path.lstat()


NOT_A_FILE = "is not a regular file; it is left as it is, and nothing is written there.\n"


@pytest.mark.parametrize("kind", ["device", "fifo", "link", "folder"])
@pytest.mark.parametrize("args, rc, said", [
    (["-n", "-json", "out"], 4, "Error: Could not write the result file out (error "),
    (["-s", "-d", "out"], 0, "Error: out " + NOT_A_FILE),
    (["-s", "-ql", "-v", "out"], 1, "Error: out " + NOT_A_FILE),
])
def test_output_path_that_is_not_a_regular_file_is_left_as_it_is(z, kind, args, rc, said):
    if z.windows:
        pytest.skip("devices, pipes and links at a file's name are a POSIX matter")
    outdated_server(z)
    before = plant(z, kind, z.cwd / "out")
    r = z.run(*args, timeout=60)
    assert r.rc == rc, r
    after = (z.cwd / "out").lstat()
    assert (after.st_mode, after.st_ino, after.st_rdev) == (before.st_mode, before.st_ino,
                                                            before.st_rdev)
    assert kind != "link" or (z.root / "target").read_text() == "kept"
    assert said in r.err and said in r.log, r
    assert FLASH not in read_calls(z.cwd)
    assert ["-flashsupport", "-d", IMAGE_NAME, "out", "-p3"] not in read_calls(z.cwd)


# The console's reader going away (a pipe closed early, a dropped session whose
# output is a pipe) never ends a run: the flash in progress is judged, the other
# ports are flashed, and the run closes with its verdict, log and result file.

def test_console_reader_that_goes_away_never_ends_the_run(z):
    write_package(z.cwd)
    write_image(z.cwd)
    SimState(ports=[port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")],
             flash={"delay_ms": "1500"}).write(z.cwd)
    run = z.start("-y", "-json", "result.json", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        wait_for_call(z, run, FLASH)
        run.stdout.close()  # as `| head` does once it has its lines
        run.wait(timeout=120)
        stderr = run.stderr.read()
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()
    assert run.returncode == 2
    log = z.log()
    assert "Warning: The console can no longer be written to" in log
    assert "\nNIC firmware update complete.\n" in log and log.endswith("Exiting with code 2\n")
    assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION, "03:00.1": PACKAGE_VERSION}
    result = json.loads((z.cwd / "result.json").read_text(encoding="utf-8"))
    assert (result["outcome"], result["exit_code"]) == ("updated", 2), result
    assert b"Zentavor:" not in stderr


def test_closed_standard_streams_never_make_a_file_of_the_run_the_console(z):
    if z.windows:
        pytest.skip("a POSIX descriptor matter: Windows has no lowest-free-number rule")
    outdated_server(z)

    def close_standard_streams():
        for descriptor in (0, 1, 2):
            os.close(descriptor)

    completed = subprocess.run(z.command(z.program, "-y", "-json", "result.json"), cwd=z.cwd,
                               env=z.env, preexec_fn=close_standard_streams, timeout=120,
                               stdin=None, stdout=None, stderr=None, close_fds=True)
    assert completed.returncode == 2
    assert (z.lock_dir / "zentavor.lock").read_bytes() == b""
    log = z.log()
    assert log.count("Zentavor (") == 1 and "MAC 00:0E:1E:03:00:00 upgrade SUCCESS!" in log
    assert "Warning: The console" not in log
    assert json.loads((z.cwd / "result.json").read_text())["outcome"] == "updated"


# An interrupt that arrives before the first command of the utility (here it
# waits, blocked, before the program even starts) keeps every command from
# starting, discovery included, and the run says so without claiming that a
# command was allowed to finish.

@pytest.mark.parametrize("args, rc, out", [
    (["-s"], 3, None),
    (["-n"], 0, None),
    (["-d", "report.xml"], 0, "\nFailed to generate NIC discovery report to report.xml.\n"),
    (["-c"], 2, None),
    (["-ql", "-v", "versions.xml"], 1,
     "Failed to create file versions.xml with only firmware version details!\n"),
])
def test_interrupt_before_the_first_command_starts_none(z, args, rc, out):
    if z.windows:
        pytest.skip("a signal pending at the program's start is a POSIX matter")
    outdated_server(z)

    def interrupt_waiting():
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        signal.signal(signal.SIGINT, signal.SIG_DFL)
        os.kill(os.getpid(), signal.SIGINT)  # pending until the program unblocks it

    completed = subprocess.run(z.command(z.program, *args, "-json", "result.json"), cwd=z.cwd,
                               env=z.env, stdin=subprocess.DEVNULL, capture_output=True,
                               preexec_fn=interrupt_waiting, timeout=120)
    assert completed.returncode == rc, completed
    assert read_calls(z.cwd) == []
    log = z.log()
    assert "Interrupt received: nothing further is started.\n" in log
    assert "allowed to finish" not in log
    assert out is None or out in completed.stdout.decode()
    assert log.endswith(f"Exiting with code {rc}\n")
    result = json.loads((z.cwd / "result.json").read_text(encoding="utf-8"))
    assert result["outcome"] == "interrupted" and result["exit_code"] == rc, result


# An interrupt that comes while the utility writes what the mode is for lets
# it finish, and the mode ends with the verdict its files support.

@pytest.mark.parametrize("args, state, call, rc, message", [
    (["-d", "report.xml"], {"report": {"delay_ms": "1500"}},
     ["-flashsupport", "-d", IMAGE_NAME, "report.xml", "-p3"], 1,
     "\nSuccessfully generated NIC discovery report to report.xml.\n"),
    (["-ql", "-v", "versions.xml"], {"discovery": {"delay_ms": "1500"}}, DISCOVER, 0,
     "Created file versions.xml with only firmware version details.\n"),
    (["-c"], {"discovery": {"delay_ms": "1500"}}, DISCOVER, 0, "ROM       4.0.555"),
])
def test_interrupted_mode_ends_with_the_verdict_its_files_support(z, args, state, call, rc,
                                                                  message):
    outdated_server(z, **state)

    def start_as_a_job():
        os.setsid()
        signal.signal(signal.SIGINT, signal.SIG_DFL)

    run = subprocess.Popen(z.command(z.program, *args, "-json", "result.json"), cwd=z.cwd,
                           env=z.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE,
                           preexec_fn=None if z.windows else start_as_a_job)
    try:
        wait_for_call(z, run, call)
        interrupt(z, run, signal.SIGINT)
        out, _ = run.communicate(timeout=120)
    finally:
        if run.poll() is None:
            run.kill()
            run.communicate()
    assert run.returncode == rc
    assert message in out.decode().replace("\r\n", "\n")
    log = z.log()
    assert INTERRUPTED in log and log.endswith(f"Exiting with code {rc}\n")
    result = json.loads((z.cwd / "result.json").read_text(encoding="utf-8"))
    assert result["exit_code"] == rc and result["reason"] is None, result
    # A check that an interrupt cuts short decides nothing for any port.
    assert all(p["decision"] in (None, "not-served") for p in result["ports"]), result

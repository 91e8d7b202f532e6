"""The application shell as a user meets it: start-up, options, banner, usage
text, the opening and closing log lines, the single-instance check, and the
console a run leaves behind."""

import fcntl
import os
import pty
import re
import select
import shutil
import struct
import subprocess
import termios
import time
from pathlib import Path

import pytest

from sim_state import SimState, port, write_image, write_package

ROOT = Path(__file__).resolve().parent.parent

RULE = "-" * 77
USAGE_BODY = (
    "[-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n"
    "With no options, interactively upgrade firmware.\n"
    "-c  Display currently installed firmware information.\n"
    "-d <filename>  Generate XML discovery report to <filename>.\n"
    "-e  Enable re-write if the current firmware is the same, and upgrade if the current "
    "firmware is older.\n"
    "-f  Force all firmware changes to occur.\n"
    "-g  Enable downgrade if the current firmware is newer, and upgrade if the current "
    "firmware is older.\n"
    "-h  Display this help menu.\n"
    "-s  Silently (non-interactively) upgrade firmware. \n"
    "-u <filename>  Read XML discovery report from <filename> and perform firmware upgrade.\n"
    "-y  Assume default repsonse for all prompts.\n"
)
CHECKING = "Checking for any other instance of NetXen tool!\n"
STALE_LOCK = "Warning: last session did not close gracefully.  Clearing lock.\n"
RIVAL = ("Error: Either another NetXen tool is already running, or your last session did "
         "not close gracefully. Required to clear the settings!\n")
MISSING = "Supporting file NICFWData.xml is missing. Cannot proceed.\n"
UNEXPECTED = "An unexpected error has occurred.  Firmware update will not be completed.\n"
STAMP = r"[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}\n\n"


def product_version():
    """The one version number of the build configuration."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(zentavor VERSION ([\d.]+)", text).group(1)


def banner():
    return (f"{RULE}\nZentavor ({product_version()})\n")


def usage(z):
    return f"USAGE: {z.program_name()} {USAGE_BODY}"


def echo(z, *args):
    return "Command line supplied:\n\t" + "".join(
        f"{a} " for a in [z.echoed_program(), *args]) + "\n"


def split_banner(text):
    """(banner, rest) of a text that starts with the four banner lines."""
    match = re.match(rf"{RULE}\n[^\n]*\n[^\n]+\n{RULE}\n\n", text)
    assert match, text
    return match.group(0), text[match.end():]


@pytest.fixture
def zd(z):
    """A sandbox with the package descriptor in place, so start-up goes on."""
    z.write("NICFWData.xml", "<NICFWData/>\n")
    return z


def test_help_shows_banner_with_the_built_version_and_full_usage_text(zd):
    r = zd.run("-h")
    assert r.rc == 0
    shown_banner, rest = split_banner(r.out)
    assert shown_banner.startswith(banner())
    assert rest == usage(zd)

    assert r.log.startswith(CHECKING + shown_banner + echo(zd, "-h"))
    body = r.log[len(CHECKING + shown_banner + echo(zd, "-h")):]
    assert re.fullmatch("Upgrade began: " + STAMP + re.escape(usage(zd)), body), body


def test_normal_run_writes_its_log_lines_in_order(zd):
    # -v runs only the dependency check, so the whole run is the shell's own.
    r = zd.run("-V", "versions.xml")
    assert r.rc == 0
    shown_banner, rest = split_banner(r.out)
    assert rest == ""
    assert re.fullmatch(
        re.escape(CHECKING + shown_banner + echo(zd, "-V", "versions.xml"))
        + "Upgrade began: " + STAMP + "Upgrade completed: " + STAMP
        + re.escape("Exiting with code 0\n"), r.log), r.log


def test_slash_option_is_read_and_echoed_as_dash(zd):
    r = zd.run("/s", "/v", "/versions.xml")
    assert r.rc == 0
    assert r.out == ""  # /s took effect
    # The file argument is not an option and keeps its slash.
    assert echo(zd, "-s", "-v", "/versions.xml") in r.log
    assert r.log.endswith("Exiting with code 0\n")


def test_file_option_takes_the_next_argument_even_if_it_looks_like_an_option(zd):
    r = zd.run("-d", "-s")
    # Not silent: -s is the report file's name, and the options were accepted.
    assert r.out.startswith(banner())
    assert "USAGE:" not in r.out
    assert echo(zd, "-d", "-s") in r.log
    assert "Upgrade completed: " in r.log


@pytest.mark.parametrize("args", [
    ["-s", "-y"],
    ["/s", "/h"],
    ["-s", "-u", "r" * 260],  # a file name that does not fit the report path
])
def test_refusal_after_silent_reaches_only_the_log(zd, args):
    r = zd.run(*args)
    assert r.rc == 0
    assert r.out == ""
    shown_banner, rest = split_banner(r.log[len(CHECKING):])
    assert rest.endswith(usage(zd))
    assert "Upgrade completed" not in r.log
    assert "Exiting with code" not in r.log


@pytest.mark.parametrize("args, echoed", [
    (["-h", "-s"], ["-h", "-s"]),
    (["/?"], ["-?"]),
    (["-e", "/f"], ["-e", "-f"]),
    (["-d"], ["-d"]),
])
def test_refused_options_show_usage_on_the_console_and_stop(zd, args, echoed):
    r = zd.run(*args)
    assert r.rc == 0
    shown_banner, rest = split_banner(r.out)
    assert rest == usage(zd)
    assert re.fullmatch(
        re.escape(CHECKING + shown_banner + echo(zd, *echoed))
        + "Upgrade began: " + STAMP + re.escape(usage(zd)), r.log), r.log


@pytest.mark.parametrize("where", ["nowhere", "beside the program"])
def test_missing_descriptor_leaves_only_its_one_line(z, where):
    if where != "nowhere":
        (z.bin / "NICFWData.xml").write_text("<NICFWData/>\n")
    r = z.run("-s")
    assert r.rc == 0
    # Start-up speaks before the options are read, so -s does not hush it.
    assert r.out == MISSING
    assert r.log == MISSING


def test_log_path_that_does_not_fit_refuses_the_run_on_standard_error(zd):
    if zd.windows:
        pytest.skip("the Windows system drive is always a short drive name")
    # Cutting the path would log into some other file; the run says why and stops.
    zd.env["SystemDrive"] = str(zd.root / ("d" * 250))
    r = zd.run("-v", "versions.xml")
    assert r.rc == 0
    assert r.out == ""
    assert r.err == "Error initializing FW upgrade software.\n"
    assert not (zd.root / ("d" * 250)).exists()


@pytest.mark.parametrize("planted", ["file", "link"])
def test_stale_lock_is_removed_with_a_warning(zd, planted):
    if planted == "link" and zd.windows:
        pytest.skip("Wine deletes through a Unix link what Windows deletes as the link itself")
    target = zd.root / "target"
    if planted == "link":
        # Removing a link removes the link itself, never what it points to.
        target.write_text("keep")
        zd.lock_path.symlink_to(target)
    else:
        zd.lock_path.write_text("stale")
    r = zd.run("-v", "versions.xml", own_process_table=True)
    assert r.rc == 0
    assert not zd.lock_path.exists() and not zd.lock_path.is_symlink()
    assert planted == "file" or target.read_text() == "keep"
    assert r.log.startswith(CHECKING + STALE_LOCK + RULE)
    assert STALE_LOCK not in r.out
    assert r.log.endswith("Exiting with code 0\n")


def _wine_process_names(z):
    listing = subprocess.run(["winedbg", "--command", "info proc"], env=z.env,
                             stdin=subprocess.DEVNULL, capture_output=True, text=True).stdout
    return re.findall(r"'([^']+)'", listing)


def _wait_until_listed(z, process, name):
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        assert process.poll() is None, "the stand-in rival ended early"
        if z.windows:
            if name in _wine_process_names(z):
                return
        else:
            try:
                if Path(f"/proc/{process.pid}/exe").resolve().name == name:
                    return
            except OSError:
                pass
            time.sleep(0.05)
    pytest.fail(f"{name} never showed up in the process list")


@pytest.mark.parametrize("stem", ["nxflash_x86.exe", "NXFLASH_X86.EXE", "netscli", "NetSCLI"])
def test_running_rival_refuses_the_run_with_the_reason_only_in_the_log(zd, stem):
    if stem != stem.lower() and not zd.windows:
        pytest.skip("executable names keep their letter case on POSIX")
    rival_name = stem if stem.endswith(".exe") else stem + zd.build.suffix
    rivals = zd.root / "rivals"
    rivals.mkdir()
    rival = rivals / rival_name
    shutil.copy2(zd.build.program("testchild"), rival)
    zd.lock_path.write_text("held")
    process = zd.start("sleep", "60", program=rival, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    try:
        _wait_until_listed(zd, process, rival_name)
        r = zd.run("-v", "versions.xml")
    finally:
        process.kill()
        process.wait()
    assert r.rc == 0
    assert r.out == ""
    assert r.log == CHECKING + RIVAL
    assert zd.lock_path.exists()


def test_mode_failure_is_caught_and_the_run_still_closes(zd):
    # The replay of a report that is not there: a complete replay run says so in
    # the log; while the replay is still a placeholder, the mode's failure must
    # come out as the guard's message. Either way the run closes properly.
    r = zd.run("-u", "missing.xml")
    assert r.rc == 0
    _, rest = split_banner(r.out)
    if UNEXPECTED in r.log:
        assert rest.startswith(UNEXPECTED)
        after_guard = r.log[r.log.index(UNEXPECTED) + len(UNEXPECTED):]
        assert re.fullmatch(r"[^\n]*Upgrade completed: " + STAMP + "Exiting with code 0\n",
                            after_guard), after_guard
    else:
        assert rest == ""
        assert "Error: Discovery file missing.xml not found!.\n" in r.log
    assert re.search("Upgrade completed: " + STAMP + "Exiting with code 0\n$", r.log), r.log


# A real Windows console: Wine gives one to a program whose standard streams
# are a terminal. The test helper sets it up as an administrator's might (a
# title of its own, 300 lines of scroll-back, an 80 x 25 window), runs the
# program in it, and reports how the console looked before and after the run
# and what its screen shows.

def _windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def _run_in_console(z, *args):
    helper = z.install("testchild")
    report = z.root / "console.txt"
    master, terminal = pty.openpty()
    # Room for the window the program asks for.
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 70, 160, 0, 0))
    process = subprocess.Popen(
        z.command(helper, "console", _windows_path(report), _windows_path(z.program), *args),
        cwd=z.cwd, env=dict(z.env, LANG="C.UTF-8"), stdin=terminal, stdout=terminal,
        stderr=terminal)
    os.close(terminal)
    deadline = time.monotonic() + 120
    try:
        # The terminal's side is read until the helper ends, so it never blocks writing.
        while process.poll() is None and time.monotonic() < deadline:
            if select.select([master], [], [], 0.2)[0]:
                try:
                    os.read(master, 65536)
                except OSError:
                    break
        process.wait(timeout=max(1, deadline - time.monotonic()))
    finally:
        if process.poll() is None:
            process.kill()
        os.close(master)
    lines = report.read_text(encoding="utf-8").split("\n")
    state = re.compile(r"(before|after) title=(.*) buffer=(\d+)x(\d+) window=(\d+)x(\d+)")
    before, after = state.fullmatch(lines[0]), state.fullmatch(lines[1])
    assert before and after, lines[:2]
    return process.returncode, before, after, "\n".join(lines[2:])


@pytest.mark.parametrize("case, args, rc", [
    ("normal end", ["-c"], 0),
    ("usage text", ["-h"], 0),
    ("start-up refusal", ["-n"], 0),
    # A result file in a folder that is not there: the line on standard error.
    ("standard error", ["-h", "-json", "réseau\\r.json"], 0),
])
def test_console_is_left_as_found(z, case, args, rc):
    if not z.windows:
        pytest.skip("a POSIX terminal is neither retitled nor resized")
    if case != "start-up refusal":
        write_package(z.cwd)
        write_image(z.cwd)
        SimState(ports=[port("03:00.0", "4.0.555", product_id="Carte réseau 10GbE")]).write(z.cwd)
    code, before, after, screen = _run_in_console(z, *args)
    assert code == rc, screen
    assert before.group(2) == "Administrator: Łódź"
    # The title and the window as they were; no line of scroll-back lost.
    assert after.group(2) == before.group(2)
    assert after.group(5, 6) == before.group(5, 6)
    assert int(after.group(4)) == int(before.group(4)) == 300
    assert int(after.group(3)) >= int(before.group(3))
    if case == "normal end":
        # Written through the console's Unicode interface, not as bytes of
        # its code page.
        assert "Carte réseau 10GbE" in screen
    elif case == "start-up refusal":
        assert MISSING.strip() in screen
    elif case == "standard error":
        # Through the console's Unicode interface, as standard output.
        assert "Error: Could not write the result file réseau\\r.json (error " in screen

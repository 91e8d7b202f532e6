"""The update run end to end, against the simulated vendor utility: the default
interactive run, the silent (-s) and assume-default (-y) runs with -e, -g and
-f, the check-only run (-n), and the verdicts with their exit codes.

Answers reach the program through standard input, so they do not show on the
console; the console therefore holds exactly what the program wrote. One test
holds a real session at a terminal instead, where the typed answers are echoed.
"""

import fcntl
import os
import pty
import re
import select
import signal
import struct
import subprocess
import termios
import time
import tty

import pytest

from sim_state import (FOREIGN_IDS, IMAGE_NAME, P3P_IDS, PACKAGE_VERSION, Image, Kind, SimState,
                       flashed_locations, installed, port, read_calls, standard_server,
                       write_image, write_package)

RULE = "-" * 77
NOTICE = "The Firmware upgrade will take several minutes. Please be patient.\n"
SAME = "*** WARNING *** - Installed firmware is the same version as selected firmware\n"
MORE_RECENT = "*** WARNING *** - Installed firmware is more recent than selected firmware\n"
COMPLETE = "\nNIC firmware update complete.\n"
WITH_ERRORS = "\nNIC firmware update completed with errors. \n"
NOTHING_SELECTED = "\nNo firmware is selected for update.\n"
CANCELLED = "\nFirmware upgrade cancelled by User \n"
NO_INPUT = "Unknown input problem!\nQuit...\n"
# At a question no command runs: nothing further is started.
INTERRUPTED = "Interrupt received: nothing further is started.\n"


def serve(z, *ports, **state):
    """The default package (rom 4.0.556 in p3p_rom.bin) and a server with the ports."""
    write_package(z.cwd)
    write_image(z.cwd)
    SimState(ports=list(ports), **state).write(z.cwd)


def after_banner(text):
    assert text.startswith(RULE + "\n"), text
    return text.split(RULE + "\n\n", 1)[1]


def found(p):
    return f"Found {p.product_id} MAC: {p.macaddress:<17} (v{p.firmware_id})\n"


def question(p, default):
    return (f"Update firmware on '{p.device_id}' ({p.location}) : \n"
            f"From ROM {p.firmware_id} to {PACKAGE_VERSION}?  y/n/q/c ({default}):")


def flash_command(p):
    return f"netscli -flashsupport -i {p.location} -a {IMAGE_NAME}"


def flashed(p):
    return (f"Selecting {p.product_id} MAC: {p.macaddress:<12} \n"
            f"MAC {p.macaddress} upgrade SUCCESS!\n")


def test_every_port_is_asked_before_the_chosen_ones_are_flashed(z):
    older, same, newer, _ = standard_server(z.cwd).ports
    r = z.run(input="y\nn\nY\n")
    assert r.rc == 2, r
    assert after_banner(r.out) == (
        found(older) + question(older, "y")
        + found(same) + SAME + question(same, "n")
        + found(newer) + MORE_RECENT + question(newer, "n")
        + NOTICE + flashed(older) + flashed(newer) + COMPLETE)
    # The log shows each question followed by the answer as typed.
    assert question(older, "y") + "y\n" + found(same) in r.log
    assert question(newer, "n") + "Y\n" + NOTICE in r.log
    assert (f"Selecting {older.product_id} MAC: {older.macaddress:<12} \n"
            f"{flash_command(older)}\n") in r.log
    assert r.log.endswith("Exiting with code 2\n")
    assert flashed_locations(z.cwd) == [older.location, newer.location]
    assert installed(z.cwd)[older.location] == PACKAGE_VERSION
    assert installed(z.cwd)[newer.location] == PACKAGE_VERSION


def test_quit_at_the_first_of_two_ports_asks_no_more_and_flashes_nothing(z):
    first, second = port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")
    serve(z, first, second)
    r = z.run(input="q\ny\n")
    assert r.rc == 3, r
    assert after_banner(r.out) == found(first) + question(first, "y") + CANCELLED
    assert r.log.endswith(CANCELLED + _closing_lines(r.log, 3))
    assert len(read_calls(z.cwd)) == 1  # discovery only
    assert installed(z.cwd) == {first.location: "4.0.555", second.location: "4.0.555"}


def _closing_lines(log, code):
    """The stamp and exit-code lines that end every completed run's log."""
    stamp = log[log.rindex("Upgrade completed: "):]
    assert stamp.endswith(f"Exiting with code {code}\n"), stamp
    return stamp


def test_skip_at_the_first_port_still_asks_the_second(z):
    first, second = port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")
    serve(z, first, second)
    r = z.run(input="c\ny\n")
    assert r.rc == 2, r
    assert after_banner(r.out) == (found(first) + question(first, "y") + found(second)
                                   + question(second, "y") + NOTICE + flashed(second) + COMPLETE)
    assert flashed_locations(z.cwd) == [second.location]


def test_one_failed_flash_outweighs_a_successful_one(z):
    failing = port("03:00.0", "4.0.555", flash_exit=7)
    good = port("03:00.1", "4.0.555")
    serve(z, failing, good)
    r = z.run(input="y\ny\n")
    assert r.rc == 0, r
    assert after_banner(r.out).endswith(
        NOTICE
        + f"Selecting {failing.product_id} MAC: {failing.macaddress:<12} \n"
        + "Command to upgrade firmware failed with internal error code 7\n"
        + f"\tCommand: {flash_command(failing)}\n"
        + flashed(good) + WITH_ERRORS)
    assert r.out.count(NOTICE) == 1
    assert installed(z.cwd) == {failing.location: "4.0.555", good.location: PACKAGE_VERSION}


def test_port_marked_skip_is_asked_but_never_flashed(z):
    kept = port("03:00.0", "4.0.555", action="skip")
    # Discovery carries a datum a device leaves out over from the device before.
    other = port("03:00.1", "4.0.555", action="update")
    serve(z, kept, other)
    r = z.run(input="y\ny\n")
    assert r.rc == 2, r
    assert after_banner(r.out) == (found(kept) + question(kept, "y") + found(other)
                                   + question(other, "y") + NOTICE + flashed(other) + COMPLETE)
    assert flashed_locations(z.cwd) == [other.location]

    serve(z, kept)
    r = z.run(input="y\n")
    assert r.rc == 3, r
    assert after_banner(r.out) == found(kept) + question(kept, "y") + NOTHING_SELECTED


# Each discovery entry stands on its own: a datum it leaves out is never taken
# from the port before it. A port without its own location, MAC address or
# installed version, or at a location listed before, is never flashed.
def lacks(tags):
    return (f"Warning!!! - Device 2 ('eth9') in tempNicList.xml lacks {tags}; the port will not "
            "be updated.\n")


ENTRIES = {
    "no location": (dict(), dict(busnumber=None, devicenumber=None, funcnumber=None),
                    ["03:00.0"], lacks("busnumber, devicenumber, funcnumber")),
    "no MAC address": (dict(), dict(macaddress=None), ["03:00.0"], lacks("macaddress")),
    "no installed version": (dict(), dict(firmware_id=None), ["03:00.0"], lacks("firmware_id")),
    "location listed before": (
        dict(), dict(busnumber="03", funcnumber="0"), ["03:00.0"],
        "Warning!!! - Device 2 ('eth9') in tempNicList.xml lists location 03:00.0 a second "
        "time; it is passed over.\n"),
    "no action after a skip": (dict(action="skip"), dict(), ["03:00.1"], ""),
}


@pytest.mark.parametrize("case", ENTRIES)
def test_each_discovery_entry_stands_on_its_own(z, case):
    first_changes, second_changes, flashed_now, warning = ENTRIES[case]
    second = port("03:00.1", "4.0.555", name="eth9")
    for name, value in second_changes.items():
        setattr(second, name, value)
    serve(z, port("03:00.0", "4.0.555", **first_changes), second)
    r = z.run("-s")
    assert r.rc == 2, r
    assert warning in r.log
    assert flashed_locations(z.cwd) == flashed_now


# A version text the parser reads only in part never makes a port look older:
# it counts as newer firmware, flashed only with -g or -f.
@pytest.mark.parametrize("text, read_as", [("4.2.10 beta", "0.0.0"),
                                           ("Boot code 4.3.1", "0.3.1")])
def test_version_read_only_in_part_never_looks_older(z, text, read_as):
    p = port("03:00.0", text)
    serve(z, p)
    note = (f"Warning!!! - Installed firmware version '{text}' of MAC {p.macaddress} is read only "
            f"in part (as {read_as}: digits in it are not in the version read); it counts as more "
            f"recent than the package's {PACKAGE_VERSION}.\n")
    r = z.run("-y")
    assert r.rc == 3, r
    assert after_banner(r.out) == found(p) + MORE_RECENT + NOTHING_SELECTED
    assert found(p) + note + MORE_RECENT in r.log
    r = z.run("-n", "-json", "result.json")
    assert r.rc == 6, r
    assert note in r.log
    # The result file judges the port as the run did, and gives the text as is.
    assert [(e["installed_version"], e["package_is"]) for e in r.document["ports"]] == [
        (text, "older")]
    assert flashed_locations(z.cwd) == []
    r = z.run("-s", "-g")
    assert r.rc == 2, r
    assert flashed_locations(z.cwd) == [p.location]


def kind_of(ids, **attributes):
    return Kind(**dict(zip(("venid", "devid", "subvenid", "subdevid"), ids)), **attributes)


# Each port's and each kind's version is read from its own text alone.
@pytest.mark.parametrize("side", ["discovery file", "descriptor"])
def test_a_version_never_borrows_parts_of_another_entry(z, side):
    if side == "discovery file":
        # "4.1" after a port with 4.0.700 is 4.1.0, older than the package's 4.1.600.
        kinds = [Kind(rom="4.1.600")]
        ports = [port("03:00.0", "4.0.700"), port("03:00.1", "4.1")]
        flashes = ["03:00.0", "03:00.1"]
    else:
        # A kind's "4.1" after a kind with 4.0.600 is 4.1.0, older than the installed 4.1.300.
        kinds = [Kind(rom="4.0.600"), kind_of(FOREIGN_IDS, name="Other", rom="4.1")]
        ports = [port("05:00.0", "4.1.300", ids=FOREIGN_IDS)]
        flashes = []
    write_package(z.cwd, kinds)
    write_image(z.cwd)
    fits = " ".join("-".join(ids) for ids in (P3P_IDS, FOREIGN_IDS))
    SimState(ports=ports, images=[Image(pci_ids=fits)]).write(z.cwd)
    r = z.run("-s")
    assert r.rc == (2 if flashes else 3), r
    assert flashed_locations(z.cwd) == flashes


# One image per run (the last kind's): a port whose kind names another image is
# never handed this one.
def test_no_port_is_handed_another_kinds_image(z):
    other_image = "other_rom.bin"
    write_package(z.cwd, [Kind(), kind_of(FOREIGN_IDS, name="Other", fwFile=other_image)])
    write_image(z.cwd)
    write_image(z.cwd, other_image)
    p3p, other = port("03:00.0", "4.0.555"), port("05:00.0", "4.0.555", ids=FOREIGN_IDS)
    SimState(ports=[p3p, other],
             images=[Image(), Image(file=other_image, pci_ids="-".join(FOREIGN_IDS))]).write(z.cwd)
    r = z.run("-s")
    assert r.rc == 2, r
    assert (f"Warning!!! - MAC {p3p.macaddress} ({p3p.location}) needs its kind's image "
            f"{IMAGE_NAME}, but this run flashes {other_image}; the port will not be "
            "updated.\n") in r.log
    assert read_calls(z.cwd)[1:] == [["-flashsupport", "-i", other.location, "-a", other_image]]
    assert installed(z.cwd) == {p3p.location: "4.0.555", other.location: PACKAGE_VERSION}


@pytest.mark.parametrize("typed, console_after_questions", [
    ("n\nyess\n", ""),
    ("", NO_INPUT),  # nothing to read: every question answers no
])
def test_answers_that_select_nothing(z, typed, console_after_questions):
    first, second = port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")
    serve(z, first, second)
    r = z.run(input=typed)
    assert r.rc == 3, r
    assert after_banner(r.out) == (found(first) + question(first, "y") + console_after_questions
                                   + found(second) + question(second, "y")
                                   + console_after_questions + NOTHING_SELECTED)
    assert flashed_locations(z.cwd) == []


# Which ports of the standard server (older, same, newer than the package) a
# run without questions flashes.
@pytest.mark.parametrize("options, flashes", [
    (["-s"], "older"),
    (["-s", "-e"], "older same"),
    (["-s", "-g"], "older newer"),
    (["-s", "-e", "-g"], "older same newer"),
    (["-s", "-f"], "older same newer"),
    (["-y"], "older"),
    (["-y", "-e"], "older same"),
    (["-y", "-g"], "older newer"),
    (["-y", "-f"], "older same newer"),
    (["-y", "-rewrite", "-downgrade"], "older same newer"),
])
def test_default_answers_without_questions(z, options, flashes):
    older, same, newer, _ = standard_server(z.cwd).ports
    chosen = [p for name, p in (("older", older), ("same", same), ("newer", newer))
              if name in flashes.split()]
    r = z.run(*options)
    assert r.rc == 2, r
    assert flashed_locations(z.cwd) == [p.location for p in chosen]
    for p in chosen:
        assert installed(z.cwd)[p.location] == PACKAGE_VERSION
    # Announcements and warnings are written, questions are not.
    expected = (found(older) + found(same) + SAME + found(newer) + MORE_RECENT + NOTICE
                + "".join(flashed(p) for p in chosen) + COMPLETE)
    assert "y/n/q/c" not in r.log
    if "-s" in options:
        assert r.out == ""
        commands_left_out = "".join(line for line in r.log.splitlines(keepends=True)
                                    if not line.startswith("netscli "))
        assert expected in commands_left_out
    else:
        assert after_banner(r.out) == expected


@pytest.mark.parametrize("versions, code, verdict", [
    (["4.0.555", "4.0.557"], 4, "\nNIC firmware update is recommended.\n"),
    (["4.0.556", "4.0.556"], 5, "\nNIC firmware update is not recommended.\n"),
    (["4.0.556", "4.0.557"], 6, "\nNIC firmware update is not recommended.\n"),
])
def test_check_only_recommends_and_changes_nothing(z, versions, code, verdict):
    ports = [port(f"03:00.{i}", v) for i, v in enumerate(versions)]
    serve(z, *ports)
    r = z.run("-n", input="y\ny\n")
    assert r.rc == code, r
    assert after_banner(r.out) == "".join(found(p) for p in ports) + verdict
    assert r.log.endswith(verdict + _closing_lines(r.log, code))
    assert len(read_calls(z.cwd)) == 1
    assert list(installed(z.cwd).values()) == versions


@pytest.mark.parametrize("args", [[], ["-s"], ["-d", "report.xml"]])
@pytest.mark.parametrize("server", ["foreign port only", "no utility"])
def test_failed_discovery_ends_the_run_with_code_zero(z, args, server):
    serve(z, port("05:00.0", "4.0.555", ids=FOREIGN_IDS))
    if server == "no utility":
        z.remove("netscli")
    r = z.run(*args)
    assert r.rc == 0, r
    if "-s" in args:
        assert r.out == ""
    else:
        assert after_banner(r.out) == ""
    assert "Device discovery failed with error code " in r.log
    assert r.log.endswith("Exiting with code 0\n")
    assert not (z.cwd / "report.xml").exists()


def render(raw):
    """The text a terminal shows for the bytes written to it. Wine's console
    draws through escape sequences: a move one column on stands for a blank."""
    text = raw.decode("utf-8", errors="replace")
    text = re.sub(r"\x1b\[(\d*)C", lambda m: " " * int(m.group(1) or 1), text)
    text = re.sub(r"\x1b\][^\x07]*\x07", "", text)  # window title
    text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", text)
    return visible(text.replace("\r", ""))


def visible(text):
    """Text as a screen shows it: a blank at the end of a line is not there to
    see (Wine's console draws a line written at once without it)."""
    return "\n".join(line.rstrip(" ") for line in text.split("\n"))


def _take_the_terminal():
    """In the child: a session of its own with the pseudo-terminal on standard
    input as its controlling terminal, and the terminal's signals as a login
    shell's job has them, whatever the test command was started with."""
    os.setsid()
    for number in (signal.SIGINT, signal.SIGQUIT, signal.SIGHUP):
        signal.signal(number, signal.SIG_DFL)
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


def run_at_terminal(z, answers, *args, timeout=60, raw=False, columns=121):
    """Runs the program at a pseudo-terminal as wide as its console (121
    columns) and types each answer, then Enter, once its question stands on the
    screen (Ctrl-C, "\x03", is typed alone). An answer (text, keys) types the
    keys alone once the text shows. Returns the exit code and the screen's
    text."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 65, columns, 0, 0))
    if z.windows:
        # Wine's console reads the keys itself: Enter must reach it as a carriage
        # return, not turned into a line feed by the terminal driver first.
        tty.setraw(slave)
    program = subprocess.Popen(z.command(z.program, *args), cwd=z.cwd, env=z.env, stdin=slave,
                               stdout=slave, stderr=slave, preexec_fn=_take_the_terminal)
    os.close(slave)
    screen = b""

    def read_until(done):
        nonlocal screen
        deadline = time.monotonic() + timeout
        while not done(render(screen)):
            ready, _, _ = select.select([master], [], [], max(0.0, deadline - time.monotonic()))
            assert ready, f"no progress; the screen shows:\n{render(screen)}"
            try:
                chunk = os.read(master, 4096)
            except OSError:  # every holder of the terminal has gone
                chunk = b""
            if not chunk:
                return
            screen += chunk

    try:
        asked = 0
        for answer in answers:
            if isinstance(answer, tuple):
                shown, keys = answer
                read_until(lambda text: shown in drawn(screen))
                os.write(master, keys.encode())
                continue
            asked += 1
            read_until(lambda text: text.count("y/n/q/c (") == asked
                       and text.rstrip().endswith("):"))
            os.write(master, answer.encode() + (b"" if answer == "\x03" else b"\r"))
        read_until(lambda text: False)
        return program.wait(timeout=timeout), screen if raw else render(screen)
    finally:
        os.close(master)
        if program.poll() is None:
            program.kill()
            program.wait()


def test_interactive_session_at_a_terminal(z):
    older, same, newer, _ = standard_server(z.cwd).ports
    # Yes, Enter for the default (no), and c to skip.
    code, screen = run_at_terminal(z, ["y", "", "c"])
    assert code == 2, screen
    assert after_banner(screen) == visible(
        found(older) + question(older, "y") + "y\n"
        + found(same) + SAME + question(same, "n") + "\n"
        + found(newer) + MORE_RECENT + question(newer, "n") + "c\n"
        + NOTICE + flashed(older) + COMPLETE)
    log = z.log()
    assert question(older, "y") + "y\n" in log
    assert question(same, "n") + "\n" + found(newer) in log
    assert flashed_locations(z.cwd) == [older.location]
    assert installed(z.cwd)[older.location] == PACKAGE_VERSION


def terminal_lines(raw, columns=None):
    """The lines a terminal is left showing: a carriage return goes back to
    the line's start and what follows overwrites it. On a terminal of so many
    columns, a character written past the last column goes to the next line."""
    lines, line, column = [], [], 0
    text = re.sub(r"\x1b\][^\x07]*\x07", "", raw.decode("utf-8", errors="replace"))
    for token in re.findall(r"\x1b\[[0-9;?]*[A-Za-z]|.|\n", text, re.S):
        if token == "\n":
            lines.append("".join(line).rstrip())
            line, column = [], 0
        elif token == "\r":
            column = 0
        elif token.startswith("\x1b["):
            if token.endswith("C"):
                column += int(token[2:-1] or 1)
            elif token.endswith("K"):
                del line[column:]
        else:
            if columns and column >= columns:
                lines.append("".join(line).rstrip())
                line, column = [], 0
            line[len(line):] = " " * max(0, column + 1 - len(line))
            line[column] = token
            column += 1
    return lines + ["".join(line).rstrip()]


def drawn(raw):
    """Everything that was ever written to the terminal, as text. Wine's console
    draws a blank between words as "erase to the line's end, one column on" and
    hides the cursor around each change: both are read back as what they show."""
    text = re.sub(r"\x1b\[\?25[lh]", "", raw.decode("utf-8", errors="replace"))
    return text.replace("\x1b[K\x1b[1C", " ")


def test_long_flash_shows_progress_at_a_terminal_and_nowhere_else(z):
    target = port("03:00.0", "4.0.555", duration="120")
    serve(z, target, flash={"delay_ms": "3600"})
    code, raw = run_at_terminal(z, [], "-y", raw=True)
    assert code == 2, raw
    # Drawn in place once the flash has run three seconds, then erased: the
    # line that ends the flash shows nothing else.
    assert "Flashing 03:00.0 (MAC 00:0E:1E:03:00:00): 0:03 elapsed, about 2:00 expected" in drawn(raw)
    lines = terminal_lines(raw)
    assert f"MAC {target.macaddress} upgrade SUCCESS!" in lines, lines
    assert not any("Flashing" in line for line in lines), lines
    # Redirected output and the log never get it.
    serve(z, target, flash={"delay_ms": "3600"})
    r = z.run("-y")
    assert r.rc == 2 and "Flashing" not in r.out + r.log, r


def test_progress_line_on_a_narrow_terminal_is_redrawn_in_place(z):
    # 50 columns: the line is clipped to 49 and so never wraps, which would
    # leave every earlier drawing on the screen.
    target = port("03:00.0", "4.0.555", duration="120")
    serve(z, target, flash={"delay_ms": "5600"})
    code, raw = run_at_terminal(z, [], "-y", raw=True, columns=50)
    assert code == 2, raw
    assert "Flashing 03:00.0 (MAC 00:0E:1E:03:00:00): 0:05 el" in drawn(raw)
    lines = terminal_lines(raw, columns=50)
    assert f"MAC {target.macaddress} upgrade SUCCESS!" in lines, lines
    assert not any("Flashing" in line or "elapsed" in line for line in lines), lines


def test_ctrl_c_during_a_flash_leaves_no_trace_of_its_echo(z):
    if z.windows:
        pytest.skip("Wine's console calls no console control handler at Ctrl-C")
    target = port("03:00.0", "4.0.555")
    # Long enough after the first drawing for Ctrl-C to come during the flash.
    serve(z, target, flash={"delay_ms": "5600"})
    code, raw = run_at_terminal(z, [("0:03 elapsed", "\x03")], "-y", raw=True)
    assert code == 2, raw
    lines = terminal_lines(raw)
    # The flash ran to its end, and the terminal's echo of ^C went with the
    # progress line: the success line and the interrupt line stand clean.
    assert "^C" in drawn(raw)
    assert not any("^C" in line or "Flashing" in line for line in lines), lines
    assert f"MAC {target.macaddress} upgrade SUCCESS!" in lines, lines
    assert any(line.startswith("Interrupt received: ") for line in lines), lines
    assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION}


def test_ctrl_c_at_a_question_ends_the_run_as_cancelled(z):
    if z.windows:
        pytest.skip("Wine's console ends the read at Ctrl-C but calls no console control handler")
    older, same, newer, _ = standard_server(z.cwd).ports
    code, screen = run_at_terminal(z, ["y", "\x03"])
    assert code == 3, screen
    assert visible(question(same, "n")) in screen
    assert screen.endswith(visible(INTERRUPTED + CANCELLED)), screen
    log = z.log()
    assert question(same, "n") + "\n" + INTERRUPTED + CANCELLED + "Upgrade completed: " in log
    assert log.endswith("Exiting with code 3\n")
    assert found(newer) not in log
    assert flashed_locations(z.cwd) == []

"""The outcome that fleets read: the result file of -json, -port, -version,
help without a package, and the reason on standard error. Every result file
is also checked by the harness against the schema, the exit code, the log and
the simulated server (conftest.check_result_file)."""

import fcntl
import json
import os
import subprocess

import pytest

from conftest import Result
from sim_state import (FOREIGN_IDS, PACKAGE_VERSION, Image, SimState, flashed_locations, installed,
                       port, read_calls, standard_server, write_image, write_package)
from test_concurrency import start_interactive, wait_for

MISSING = "Supporting file NICFWData.xml is missing. Cannot proceed.\n"


def serve(z, *ports, **state):
    write_package(z.cwd)
    write_image(z.cwd)
    SimState(ports=list(ports), **state).write(z.cwd)


def two_older(**second):
    return [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555", **second)]


STANDARD = "standard"  # older, same, newer and a foreign port
SCENARIOS = {
    # name: (ports, args, input, exit code, outcome, decisions, flashed, standard error)
    "update": (STANDARD, ["-s"], "", 2, "updated",
               ["selected", "declined", "declined", "not-served"], ["03:00.0"], None),
    "a flash fails": (two_older(flash_exit=7), ["-s"], "", 0, "updated-with-errors",
                      ["selected", "selected"], ["03:00.0", "03:00.1"], "internal error code 7"),
    "quit at the prompt": (two_older(), [], "y\nq\n", 3, "cancelled", ["selected", "quit"], [],
                           None),
    "check": (STANDARD, ["-n"], "", 4, "update-recommended", [None, None, None, "not-served"],
              [], None),
    "check one port": (STANDARD, ["-n", "-port", "03:00.1"], "", 5, "all-current",
                       ["filtered", None, "filtered", "not-served"], [], None),
    "one port by MAC": (two_older(), ["-s", "/PORT", "000e1e030001"], "", 2, "updated",
                        ["filtered", "selected"], ["03:00.1"], None),
    "two ports": (STANDARD, ["-y", "-f", "-port", "04:00.0", "-port", "00-0E-1E-03-00-00"], "",
                  2, "updated", ["selected", "filtered", "selected", "not-served"],
                  ["03:00.0", "04:00.0"], None),
    "port not found": (two_older(), ["-s", "-port", "09:00.0"], "", 0, "failed",
                       ["filtered", "filtered"], [], "-port 09:00.0 names no port"),
    "unserved port named": (STANDARD, ["-n", "-port", "05:00.0"], "", 0, "failed",
                            ["filtered", "filtered", "filtered", "not-served"], [],
                            "-port 05:00.0"),
    "no served port": ([port("05:00.0", "4.0.555", ids=FOREIGN_IDS)], ["-s"], "", 0,
                       "no-supported-port", ["not-served"], [], "serves none of the ports"),
    "table of one port": (STANDARD, ["-c", "-port", "04:00.0"], "", 0, "table-shown",
                          ["filtered", "filtered", None, "not-served"], [], None),
    "table of no port": (STANDARD, ["-c", "-port", "00:0E:1E:09:00:00"], "", 2, "failed",
                         ["filtered", "filtered", "filtered", "not-served"], [], "names no port"),
    "report": (STANDARD, ["-s", "-d", "report.xml"], "", 1, "report-written",
               [None, None, None, "not-served"], [], None),
    "version file": (STANDARD, ["-s", "-ql", "-v", "versions.xml"], "", 0,
                     "version-file-written", [None, None, None, "not-served"], [], None),
    "refused in silence": (STANDARD, ["-s", "-y"], "", 0, "refused", [], [],
                           "The options were refused"),
    "refused with -port": (STANDARD, ["-d", "r.xml", "-port", "03:00.0"], "", 0, "refused", [],
                           [], None),
    # The utility itself marks the port to be left alone: answered, never flashed.
    "utility skips the port": ([port("03:00.0", "4.0.555", action="skip")], ["-s"], "", 3,
                               "nothing-selected", ["skipped"], [], None),
}


@pytest.mark.parametrize("name", SCENARIOS)
def test_result_file_tells_what_the_run_did(z, name):
    ports, args, answers, code, outcome, decisions, flashed, error = SCENARIOS[name]
    if ports == STANDARD:
        standard_server(z.cwd)
    else:
        serve(z, *ports)
    before = installed(z.cwd)
    r = z.run(*args, "-json", "result.json", input=answers)
    assert r.rc == code, r
    document = r.document
    assert document["outcome"] == outcome, document
    assert [p["decision"] for p in document["ports"]] == decisions, document
    assert flashed_locations(z.cwd) == flashed
    # Standard error carries one line with the reason and the log, exactly
    # when the console does not already say why.
    if error is None:
        assert r.err == "", r.err
    else:
        assert r.err.count("\n") == 1 and error in r.err and "zentavor.log" in r.err, r.err
        assert error in document["reason"]
    if outcome == "updated":
        assert document["reboot_required"] is True and document["reason"] is None
    if not flashed:
        assert installed(z.cwd) == before


def test_without_the_new_options_nothing_but_standard_error_changes(z):
    serve(z, *two_older(flash_exit=7))
    r = z.run("-s")
    assert (r.rc, r.out) == (0, "")
    assert r.err == ("Zentavor: Command to upgrade firmware failed with internal error code 7 "
                     f" Command: netscli -flashsupport -i 03:00.1 -a p3p_rom.bin (log: "
                     f"{r.err.split('(log: ')[1]}")
    assert not list(z.cwd.glob("*.json"))


def test_utility_that_cannot_be_started_is_named_as_such(z):
    standard_server(z.cwd)
    z.remove("netscli")
    for args in (["-s"], ["-n"], ["-c"]):
        r = z.run(*args, "-json", "result.json")
        assert r.document["outcome"] == "failed", r.document
        assert "could not be started" in r.document["reason"], r.document
        assert "could not be started" in r.err and "no-supported" not in r.err, r.err


def test_replay_lists_what_each_marked_port_now_holds(z):
    serve(z, port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555", flash_exit=7),
          port("03:00.2", "4.0.556"))
    assert z.run("-s", "-d", "report.xml").rc == 1
    calls = len(read_calls(z.cwd))
    r = z.run("-s", "-u", "report.xml", "-json", "result.json")
    assert r.rc == 0 and r.document["outcome"] == "failed", r
    ports = {p["location"]: p for p in r.document["ports"]}
    assert ports["03:00.0"]["holds_package_version"] is True
    assert ports["03:00.0"]["flash"] == {"exit_code": None, "result": "updated"}
    assert ports["03:00.1"]["holds_package_version"] is False
    assert ports["03:00.1"]["flash"]["result"] == "failed"
    assert ports["03:00.2"]["decision"] == "declined" and ports["03:00.2"]["flash"] is None
    # The replay and, for the result file only, one discovery after it.
    assert [c[1] for c in read_calls(z.cwd)[calls:]] == ["-u", "-d"]
    z.run("-s", "-u", "report.xml")
    assert [c[1] for c in read_calls(z.cwd)[calls + 2:]] == ["-u"]


def test_runs_stopped_at_start_up_write_their_result_and_leave_no_old_files(z):
    for name in ("result.json", "versions.xml"):
        z.write(name, "last week's\n")
    r = z.run("-s", "-ql", "-v", "versions.xml", "-json", "result.json")
    assert (r.rc, r.out, r.err) == (0, MISSING, ""), r
    assert r.document["outcome"] == "failed" and r.document["mode"] is None
    assert r.document["reason"] == MISSING.strip()
    assert not (z.cwd / "versions.xml").exists()
    # Without a result file too: exit code 0 is -ql's "file created".
    z.write("versions.xml", "last week's\n")
    assert z.run("-s", "-ql", "-v", "versions.xml").rc == 0
    assert not (z.cwd / "versions.xml").exists()


def run_with_an_unremovable(z, name, *args):
    """Runs with the file at name held so that nothing can remove it: read-only
    on Windows; on POSIX a file mounted over it (root alone may remove any
    other), in a mount namespace of the run's own."""
    target = z.write(name, "last week's\n")
    if z.windows:
        target.chmod(0o444)
        return z.run(*args)
    if os.geteuid() != 0:
        pytest.skip("only root can mount a file over another")
    cover = z.root / "cover"
    cover.write_text("last week's\n")
    mount = ["unshare", "--mount", "sh", "-c", 'mount --bind "$0" "$1" && shift && exec "$@"',
             str(cover), str(target)]
    before = z.log_bytes()
    completed = subprocess.run(mount + z.command(z.program, *args), cwd=z.cwd, env=z.env,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    return Result(completed, before, z.log_bytes())


@pytest.mark.parametrize("name, args", [
    ("result.json", ["-s", "-json", "result.json"]),
    ("versions.xml", ["-s", "-ql", "-v", "versions.xml"]),
])
def test_an_old_file_that_cannot_be_removed_keeps_the_mode_from_starting(z, name, args):
    standard_server(z.cwd)
    r = run_with_an_unremovable(z, name, *args)
    said = f"Error: Could not remove the file {name} left by an earlier run (error "
    assert r.rc == 0, r
    assert said in r.err and said in r.log, r
    assert read_calls(z.cwd) == []
    assert "Upgrade completed" not in r.log
    # Last week's file stands, or (where the system lets a file that cannot be
    # removed be replaced) this run's own failure.
    left = (z.cwd / name).read_text()
    assert left == "last week's\n" or (
        name == "result.json" and json.loads(left)["outcome"] == "failed"), left


@pytest.mark.parametrize("breakage, reason", [
    # The descriptor: the log's first error line, not discovery's consequence.
    ("descriptor", "Loading configuration file NICFWData.xml failed. Error code: "),
    # The utility ended well but wrote no report: said, with its exit code.
    ("report", "Error: The vendor utility ended without writing report.xml (its exit code: 0)."),
])
def test_reason_is_the_first_error_of_the_run(z, breakage, reason):
    standard_server(z.cwd)
    if breakage == "descriptor":
        z.write("NICFWData.xml", "<nic_fw_package><nic>")
        args = ["-s"]
    else:
        SimState(ports=[port("03:00.0", "4.0.555")], report={"output": "none"}).write(z.cwd)
        args = ["-s", "-d", "report.xml"]
    r = z.run(*args, "-json", "result.json")
    assert r.rc == 0, r
    assert r.document["outcome"] == "failed"
    assert r.document["reason"].startswith(reason), r.document
    assert f"Zentavor: {reason}" in r.err, r.err


def test_replay_outcome_tells_what_the_ports_hold(z):
    serve(z, port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556"))
    assert z.run("-s", "-d", "report.xml").rc == 1
    # The utility had nothing to do: nothing flashed, nothing failed.
    SimState(ports=[port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")],
             replay={"exit": "5"}).write(z.cwd)
    r = z.run("-s", "-u", "report.xml", "-json", "result.json")
    assert (r.rc, r.document["outcome"], r.document["reason"]) == (3, "nothing-selected", None)
    assert [p["flash"] for p in r.document["ports"]] == [None, None]
    assert r.document["reboot_required"] is False
    # The utility says it replayed the report, yet the port holds another version.
    SimState(ports=[port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")],
             images=[Image(version="4.0.557")]).write(z.cwd)
    r = z.run("-s", "-u", "report.xml", "-json", "result.json")
    assert (r.rc, r.document["outcome"]) == (2, "failed"), r.document
    assert "03:00.0" in r.document["reason"] and "4.0.557" in r.document["reason"]
    assert r.document["ports"][0]["flash"]["result"] == "failed"
    assert r.document["reboot_required"] is False


def test_replay_of_a_report_that_marks_nothing_needs_no_reboot(z):
    serve(z, port("03:00.0", "4.0.556"))
    assert z.run("-s", "-d", "report.xml").rc == 1
    r = z.run("-s", "-u", "report.xml", "-json", "result.json")
    assert (r.rc, r.document["outcome"]) == (2, "replayed"), r.document
    assert r.document["ports"][0]["flash"] is None
    assert r.document["reboot_required"] is False


def test_run_kept_out_by_another_run_is_busy(z):
    serve(z, *two_older())
    first = start_interactive(z)
    try:
        wait_for(lambda: "y/n/q/c (y):" in z.log(), "the first run asked", first)
        z.write("versions.xml", "the first run's\n")
        r = z.run("-s", "-ql", "-v", "versions.xml", "-json", "result.json")
    finally:
        first.communicate(b"n\nn\n", timeout=120)
    assert r.document["outcome"] == "busy" and "Zentavor run" in r.document["reason"], r.document
    assert "Zentavor run" in r.err
    # The file may be the other run's own: it is left to that run.
    assert (z.cwd / "versions.xml").exists()
    # Help changes nothing, so it is shown whoever holds the lock.
    r = z.run("-h", "-json", "result.json")
    assert r.rc == 0 and "USAGE: " in r.out and r.document["outcome"] == "help-shown", r


def test_result_file_path_rules(z):
    standard_server(z.cwd)
    descriptor = (z.cwd / "NICFWData.xml").read_bytes()
    for own in ("NICFWData.xml", "./p3p_rom.bin", "tempNicList.xml"):
        r = z.run("-n", "-json", own)
        assert r.rc == 0 and "USAGE: " in r.out, r
    assert (z.cwd / "NICFWData.xml").read_bytes() == descriptor
    assert (z.cwd / "p3p_rom.bin").exists()
    # A file that cannot be written: said in the log and on standard error,
    # the exit code stays the mode's.
    r = z.run("-n", "-json", "missing/result.json")
    assert r.rc == 4
    assert "Error: Could not write the result file missing/result.json" in r.log
    assert "Could not write the result file" in r.err


def test_stale_result_is_gone_while_the_run_works(z):
    serve(z, port("03:00.0", "4.0.555"), flash={"delay_ms": "3000"})
    z.write("result.json", '{"outcome": "updated"}')
    run = z.start("-s", "-json", "result.json", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        wait_for(lambda: len(read_calls(z.cwd)) == 2, "the flash began", run)
        assert not (z.cwd / "result.json").exists()
    finally:
        run.communicate(timeout=120)
    assert run.returncode == 2
    assert '"outcome": "updated"' in (z.cwd / "result.json").read_text()
    assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION}


def test_help_and_version_need_no_package(z):
    for args in (["-h"], ["/?"], ["-s", "-HELP"]):
        r = z.run(*args, "-json", "result.json")
        assert r.rc == 0 and r.document["outcome"] == "help-shown", r
        assert ("USAGE: " in r.out) == ("-s" not in args) and "USAGE: " in r.log
    version = z.run("-h").out.split("Zentavor (")[1].split(")")[0]
    z.log_path.unlink()
    r = z.run("-s", "-d", "-version", "-VERSION")
    assert (r.rc, r.out, r.err) == (0, f"Zentavor {version}\n", "")
    assert not z.log_path.exists()

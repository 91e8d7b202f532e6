"""The role's judgement of a run, case by case: exit code and log lines in,
changed/ok/failed out. The role's playbook test covers the common runs end to
end; these are the cases a simulated server does not easily produce."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "roles" / "zentavor" / "filter_plugins"))

from zentavor import zentavor_arguments, zentavor_outcome, zentavor_run_log  # noqa: E402

DISCOVERY = ("Started device discovery!\n"
             "netscli -flashsupport -d p3p_rom.bin tempNicList.xml -p3\n")
NOT_SERVED = ("NIC with PCI ID 8086-10FB-8086-000C is not identified as a supported QLogic "
              "P3P NIC.\n")
FAILED_0 = "Device discovery failed with error code 0\n"


def judged(rc, mode="update", log="", console="", no_adapter_ok=False):
    r = zentavor_outcome(rc, mode, log, console, no_adapter_ok)
    return r["outcome"], r["changed"], r["failed"]


@pytest.mark.parametrize("rc, mode, log, expected", [
    (2, "update", "\nNIC firmware update complete.\n", ("updated", True, False)),
    (3, "update", "\nNo firmware is selected for update.\n", ("current", False, False)),
    (4, "compliance", "\nNIC firmware update is recommended.\n",
     ("update_recommended", True, False)),
    (5, "compliance", "\nNIC firmware update is not recommended.\n", ("current", False, False)),
    (6, "compliance", "\nNIC firmware update is not recommended.\n",
     ("newer_installed", False, False)),
])
def test_success_codes_with_their_verdict(rc, mode, log, expected):
    assert judged(rc, mode, log) == expected


@pytest.mark.parametrize("rc, mode, log", [
    # A success code without its verdict: the program did not run as expected
    # (not started, another program, the log looked for in the wrong place).
    (2, "update", ""),
    (2, "update", "\nNo firmware is selected for update.\n"),
    (4, "compliance", "\nNIC firmware update is not recommended.\n"),
    # Codes that the mode never ends with.
    (4, "update", "\nNIC firmware update is recommended.\n"),
    (2, "compliance", "\nNIC firmware update complete.\n"),
    (1, "update", ""),
    (7, "compliance", ""),
])
def test_codes_without_their_verdict_fail(rc, mode, log):
    assert judged(rc, mode, log) == ("failed", False, True)


def test_failed_flash_is_failed_and_changed_only_when_another_port_was_flashed():
    failing = ("netscli -flashsupport -i 03:00.0 -a p3p_rom.bin\n"
               "Command to upgrade firmware failed with internal error code 7\n"
               "\tCommand: netscli -flashsupport -i 03:00.0 -a p3p_rom.bin\n")
    verdict = "\nNIC firmware update completed with errors. \n"
    assert judged(0, log=failing + verdict) == ("flash_failed", False, True)
    r = zentavor_outcome(0, "update", failing + "MAC 00:0E:1E:03:00:01 upgrade SUCCESS!\n" + verdict)
    assert (r["outcome"], r["changed"], r["failed"]) == ("flash_failed", True, True)
    assert "internal error code 7" in r["message"] and "00:0E:1E:03:00:01" in r["message"]


@pytest.mark.parametrize("mode", ["update", "compliance"])
def test_host_without_served_adapter_is_told_from_a_failed_discovery(mode):
    assert judged(0, mode, DISCOVERY + NOT_SERVED + FAILED_0) == ("no_adapter", False, True)
    assert judged(0, mode, DISCOVERY + NOT_SERVED + FAILED_0, no_adapter_ok=True) == (
        "no_adapter", False, False)
    # The same closing line with another cause is a failure, allowed or not.
    for cause in ["Loading configuration file NICFWData.xml failed. Error code: 10.\n",
                  "Loading configuration file tempNicList.xml failed. Error code: 5.\n",
                  "Could not generate discovery file.\n",
                  "This Tallet tool can only be used to update P3P-series QLogic NICs.\n"]:
        r = zentavor_outcome(0, mode, DISCOVERY + cause + FAILED_0, "", True)
        assert (r["outcome"], r["failed"]) == ("failed", True), cause
        assert cause.strip() in r["message"]
    # The utility could not be started or failed itself.
    r = zentavor_outcome(0, mode, DISCOVERY + "Could not generate discovery file.\n"
                         "Device discovery failed with error code 98\n", "", True)
    assert r["failed"] and "error code 98" in r["message"]


def test_failures_before_the_mode_are_read_from_console_or_log():
    # A missing descriptor is reported on the console even in silent runs.
    r = zentavor_outcome(0, "update", "",
                         "Supporting file NICFWData.xml is missing. Cannot proceed.\n")
    assert r["failed"] and "NICFWData.xml is missing" in r["message"]
    r = zentavor_outcome(0, "update", "Checking for any other instance of NetXen tool!\n"
                         "Error: Either another NetXen tool is already running, or your last "
                         "session did not close gracefully. Required to clear the settings!\n")
    assert r["failed"] and r["message"].startswith("Error: Either another NetXen tool")
    r = zentavor_outcome(0, "compliance", "USAGE: zentavor [-c] [-d <filename>]\n")
    assert r["failed"] and "USAGE" in r["message"]
    r = zentavor_outcome(0, "update", "", "")
    assert r["failed"] and "nothing in the log" in r["message"]


def test_run_log_is_cut_at_the_byte_offset_and_read_with_lf_line_ends():
    before = "Ünïcode port name\r\n"
    run = "Checking for any other instance of NetXen tool!\r\nExiting with code 2\r\n"
    assert zentavor_run_log(before + run, len(before.encode())) == run.replace("\r\n", "\n")
    # A log that shrank was replaced: all of it is the run's.
    assert zentavor_run_log(run, 10_000) == run.replace("\r\n", "\n")
    assert zentavor_run_log(None, 0) == ""
    # Bytes that are not UTF-8 survive the round trip (surrogate escapes).
    raw = b"old\n".decode() + b"\xff\xfe mac\n".decode("utf-8", "surrogateescape")
    assert zentavor_run_log(raw, 4) == b"\xff\xfe mac\n".decode("utf-8", "surrogateescape")


def test_arguments_follow_the_option_matrix():
    assert zentavor_arguments("update") == ["-s"]
    assert zentavor_arguments("update", rewrite=True, downgrade=True, debug=True) == [
        "-s", "-e", "-g", "-debug"]
    assert zentavor_arguments("update", force=True) == ["-s", "-f"]
    assert zentavor_arguments("compliance", debug=True) == ["-n", "-debug"]
    for mode, options in [("update", dict(force=True, rewrite=True)),
                          ("update", dict(force=True, downgrade=True)),
                          ("compliance", dict(rewrite=True)),
                          ("compliance", dict(force=True)),
                          ("replay", {})]:
        with pytest.raises(ValueError):
            zentavor_arguments(mode, **options)
    with pytest.raises(ValueError):
        zentavor_outcome(2, "silent")

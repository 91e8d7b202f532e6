"""The role's judgement of a run, case by case: the result file and exit code
in, changed/ok/failed out; the pending-reboot marker's rules; the fleet
report's rows and CSV; the package archive. The playbook tests cover the
common runs end to end; these are the cases a simulated server does not
easily produce."""

import csv
import io
import json
import sys
import tarfile
from pathlib import Path

import pytest

ROLE = Path(__file__).resolve().parents[1] / "roles" / "zentavor"
for folder in ("filter_plugins", "module_utils", "action_plugins"):
    sys.path.insert(0, str(ROLE / folder))

from zentavor import (zentavor_arguments, zentavor_csv, zentavor_fleet,  # noqa: E402
                      zentavor_outcome, zentavor_pending_after, zentavor_with_pending)
from zentavor_run import archive_bytes, package_entries  # noqa: E402


def document(outcome, rc, reason=None, **more):
    return {"format_version": 1, "outcome": outcome, "exit_code": rc, "reason": reason,
            "reboot_required": None, "ports": [], **more}


def judged(doc, rc, mode="update", check=False, no_adapter_ok=False):
    r = zentavor_outcome(doc, rc, mode, check, no_adapter_ok)
    return r["outcome"], r["changed"], r["failed"]


@pytest.mark.parametrize("outcome, rc, mode, check, expected", [
    ("updated", 2, "update", False, ("updated", True, False)),
    ("nothing-selected", 3, "update", False, ("nothing-selected", False, False)),
    ("updated-with-errors", 0, "update", False, ("updated-with-errors", True, True)),
    ("update-recommended", 4, "compliance", False, ("update-recommended", True, False)),
    ("all-current", 5, "compliance", False, ("all-current", False, False)),
    ("some-newer", 6, "compliance", False, ("some-newer", False, False)),
    # A check-mode update ran -n and is judged as one.
    ("update-recommended", 4, "update", True, ("update-recommended", True, False)),
    # Words a mode never ends with, and failures of every kind.
    ("update-recommended", 4, "update", False, ("update-recommended", False, True)),
    ("updated", 2, "compliance", False, ("updated", False, True)),
    ("busy", 0, "update", False, ("busy", False, True)),
    ("refused", 0, "compliance", False, ("refused", False, True)),
    ("failed", 0, "update", False, ("failed", False, True)),
])
def test_outcome_words_per_mode(outcome, rc, mode, check, expected):
    assert judged(document(outcome, rc, "why"), rc, mode, check) == expected


@pytest.mark.parametrize("text, says", [
    (None, "no result file"),
    ("", "the result file is empty"),
    ('{"format_version": 1, "outcome": "upd', "the result file is not complete JSON"),
    ("[]", "the result file holds no JSON object"),
    ({}, "the result file has format_version null; this role reads format_version 1"),
    (json.dumps(document("updated", 2, format_version=2)), "has format_version 2"),
    ({"format_version": 1, "exit_code": 2}, "names no outcome and exit code"),
])
def test_result_that_is_missing_or_unsound_fails_with_a_plain_message(text, says):
    r = zentavor_outcome(text, 2, "update")
    assert r["failed"] and r["outcome"] == "failed", r
    assert r["message"] == f"Zentavor ended with exit code 2, but {says}" or says in r["message"]


def test_result_that_disagrees_with_the_exit_code_or_zentavor_not_started_fails():
    # A stale or foreign file must not pass for this run's.
    assert judged(document("updated", 2), 0) == ("failed", False, True)
    # A program that never started has no exit code to show, whatever the
    # module's own error number was.
    r = zentavor_outcome(None, None, "update", start_error="/opt/zentavor/zentavor: Permission denied")
    assert r["failed"] and r["message"] == (
        "Zentavor was not started: /opt/zentavor/zentavor: Permission denied"), r
    # A result file as text reads as the parsed one; properties a newer
    # Zentavor adds are passed over.
    newer = document("updated", 2, image={"sha256": "00"}, ports=[
        {"location": "03:00.0", "decision": "skipped-by-utility", "flash": None}])
    assert zentavor_outcome(json.dumps(newer), 2, "update")["outcome"] == "updated"


def test_no_served_adapter_is_failed_unless_allowed_and_the_reason_is_reported():
    doc = document("no-supported-port", 0, "the package serves none of the ports discovered")
    assert judged(doc, 0) == ("no-supported-port", False, True)
    assert judged(doc, 0, no_adapter_ok=True) == ("no-supported-port", False, False)
    assert zentavor_outcome(doc, 0, "update")["message"] == doc["reason"]


def test_flashed_ports_and_reboot_flag_come_from_the_result():
    doc = document("updated-with-errors", 0, "code 7", reboot_required=True, ports=[
        {"location": "03:00.0", "flash": {"exit_code": 7, "result": "failed"}},
        {"location": "03:00.1", "flash": {"exit_code": 0, "result": "updated"}},
        {"location": "04:00.0", "flash": None}])
    r = zentavor_outcome(doc, 0, "update")
    assert r["flashed"] == ["03:00.1"] and r["reboot_required"] is True and r["message"] == "code 7"


def test_arguments_follow_the_option_matrix():
    assert zentavor_arguments("update") == ["-s"]
    assert zentavor_arguments("update", rewrite=True, downgrade=True, debug=True) == [
        "-s", "-e", "-g", "-debug"]
    assert zentavor_arguments("update", force=True, ports=["03:00.0", "00:0E:1E:03:00:01"]) == [
        "-s", "-f", "-port", "03:00.0", "-port", "00:0E:1E:03:00:01"]
    assert zentavor_arguments("compliance", debug=True) == ["-n", "-debug"]
    # Check mode asks an update only what it would do.
    assert zentavor_arguments("update", rewrite=True, check=True, ports=["03:00.0"]) == [
        "-n", "-port", "03:00.0"]
    for mode, options in [("update", dict(force=True, rewrite=True)),
                          ("update", dict(force=True, downgrade=True)),
                          ("compliance", dict(rewrite=True)),
                          ("compliance", dict(force=True)),
                          ("update", dict(ports="03:00.0")),
                          ("update", dict(ports=[""])),
                          ("replay", {})]:
        with pytest.raises(ValueError):
            zentavor_arguments(mode, **options)
    with pytest.raises(ValueError):
        zentavor_outcome(document("updated", 2), 2, "silent")


def port_entry(location, package_is, served=True, decision=None):
    return {"location": location, "served": served, "package_is": package_is,
            "decision": decision, "flash": None}


@pytest.mark.parametrize("options, flashed, rewrites_current", [
    ({}, ["03:00.0"], False),
    ({"rewrite": True}, ["03:00.0", "03:00.1"], True),
    ({"downgrade": True}, ["03:00.0", "03:00.2"], False),
    ({"force": True}, ["03:00.0", "03:00.1", "03:00.2"], True),
])
def test_check_mode_judges_the_update_from_each_ports_comparison(options, flashed,
                                                                 rewrites_current):
    # Newer always, the same with -e or -f, older with -g or -f; a port the
    # package does not serve or -port did not choose never.
    doc = document("update-recommended", 4, ports=[
        port_entry("03:00.0", "newer"), port_entry("03:00.1", "same"),
        port_entry("03:00.2", "older"), port_entry("04:00.0", "newer", decision="filtered"),
        port_entry("05:00.0", None, served=False, decision="not-served")])
    r = zentavor_outcome(doc, 4, "update", check=True, options=options)
    assert r["would_flash"] == flashed and r["changed"] is True, r
    current = document("all-current", 5, ports=[port_entry("03:00.1", "same")])
    r = zentavor_outcome(current, 5, "update", check=True, options=options)
    assert r["changed"] is rewrites_current and r["would_flash"] == (
        ["03:00.1"] if rewrites_current else []), r


def result_text(flashed, reboot_required=True, ended="2024-05-01T10:00:00+02:00"):
    return json.dumps({"reboot_required": reboot_required, "ended": ended, "ports": [
        {"location": loc, "flash": {"exit_code": 0, "result": "updated"}} for loc in flashed]})


def test_pending_reboot_marker_lasts_until_the_host_boots_again():
    # A flash that waits for a reboot writes the marker with this boot.
    after = zentavor_pending_after(None, "boot-a\n", result_text(["03:00.0"]))
    assert after["pending"]["ports"] == ["03:00.0"] and after["pending"]["boot"] == "boot-a"
    assert after["write"] and not after["remove"]
    marker = after["write"]
    # Nothing flashed in the same boot: still pending, nothing written.
    again = zentavor_pending_after(marker, "boot-a", result_text([]))
    assert again["pending"]["since"] == "2024-05-01T10:00:00+02:00" and again["write"] is None
    # Another flash in the same boot adds its ports and keeps the first time.
    more = zentavor_pending_after(marker, "boot-a", result_text(["03:00.1"], ended="later"))
    assert more["pending"]["ports"] == ["03:00.0", "03:00.1"]
    assert more["pending"]["since"] == "2024-05-01T10:00:00+02:00"
    # Booted since: done with, removed (not in check mode, which only reads).
    booted = zentavor_pending_after(marker, "boot-b", result_text([]))
    assert booted["pending"] is None and booted["rebooted_since"] and booted["remove"]
    checked = zentavor_pending_after(marker, "boot-b", result_text([]), check=True)
    assert checked["pending"] is None and not checked["remove"] and checked["write"] is None
    # Firmware that takes effect at once, or a marker that cannot be read.
    assert zentavor_pending_after(None, "boot-a", result_text(["03:00.0"], False))["pending"] is None
    assert zentavor_pending_after("{half", "boot-b", result_text([]))["pending"]["unreadable"]


def fleet_result(outcome, failed=False, ports=(), **more):
    result = {"outcome": outcome, "failed": failed, "message": more.pop("message", outcome),
              "document": {"ports": list(ports)}, "flashed": [], "reboot_pending": False, **more}
    return zentavor_with_pending(result, {"pending": more.get("pending")}) \
        if "pending" in more else result


def test_fleet_report_puts_hosts_needing_attention_first_and_quotes_its_csv():
    hostvars = {
        "web-1": {"zentavor_result": fleet_result("all-current", ports=[
            {"location": "03:00.0", "mac": "00:0E", "product": '=HYPERLINK("x"), "10GbE"',
             "installed_version": "4.0.556", "available_version": "4.0.556",
             "package_is": "same", "decision": None, "flash": None}])},
        "web-2": {"zentavor_result": fleet_result("failed", failed=True,
                                                  message="line one\nline two")},
        "web-3": {"zentavor_result": {"outcome": "unreachable", "failed": False,
                                      "message": "the host could not be reached"}},
        "web-4": {},
    }
    fleet = zentavor_fleet(hostvars, ["web-1", "web-2", "web-3", "web-4"])
    assert fleet["counts"] == {"failed": 1, "unreachable": 1, "reboot-pending": 0,
                               "update-recommended": 0, "updated": 0, "current": 1,
                               "not-run": 1}
    assert [(r["host"], r["status"]) for r in fleet["rows"]] == [
        ("web-2", "failed"), ("web-3", "unreachable"), ("web-1", "current"),
        ("web-4", "not run")]
    data = zentavor_csv(fleet)
    assert data.startswith("\ufeffhost,status,location,") and data.endswith("\r\n")
    rows = list(csv.reader(io.StringIO(data[1:], newline="")))
    assert len(rows) == 5 and rows[1][-1] == "line one\nline two"
    # A value a spreadsheet would take for a formula is shown as text.
    assert rows[3][4] == '\'=HYPERLINK("x"), "10GbE"'
    assert '"\'=HYPERLINK(""x""), ""10GbE"""' in data


def test_package_archive_has_fixed_modes_and_the_programs_name(tmp_path):
    package = tmp_path / "package"
    (package / "tools").mkdir(parents=True)
    (package / "NICFWData.xml").write_text("<x/>")
    (package / "netscli").write_bytes(b"\x7fELF rest")
    (package / "tools" / "flash.sh").write_text("#!/bin/sh\n")
    (package / "tools" / "notes.txt").write_text("notes")
    program = tmp_path / "zentavor-4.0.0.1"
    program.write_bytes(b"\x7fELF program")
    for path in [program, *package.rglob("*")]:
        path.chmod(0o777)
    entries = package_entries(str(package), str(program), "zentavor")
    data = archive_bytes(entries)
    with tarfile.open(fileobj=io.BytesIO(data)) as archive:
        members = {m.name: (m.mode, m.uid, m.gid, m.mtime, m.type) for m in archive.getmembers()}
    assert members == {
        "NICFWData.xml": (0o644, 0, 0, 0, tarfile.REGTYPE),
        "netscli": (0o755, 0, 0, 0, tarfile.REGTYPE),
        "tools": (0o755, 0, 0, 0, tarfile.DIRTYPE),
        "tools/flash.sh": (0o755, 0, 0, 0, tarfile.REGTYPE),
        "tools/notes.txt": (0o644, 0, 0, 0, tarfile.REGTYPE),
        "zentavor": (0o755, 0, 0, 0, tarfile.REGTYPE)}
    # The same package gives the same bytes, so an unchanged one is not sent again.
    program.touch()
    assert archive_bytes(package_entries(str(package), str(program), "zentavor")) == data

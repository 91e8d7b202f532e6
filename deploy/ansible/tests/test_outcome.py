"""The role's judgement of a run, case by case: the result file and exit code
in, changed/ok/failed out. The playbook tests cover the common runs end to
end; these are the cases a simulated server does not easily produce."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "roles" / "zentavor" / "filter_plugins"))

from zentavor import zentavor_arguments, zentavor_outcome  # noqa: E402


def document(outcome, rc, reason=None, **more):
    return {"outcome": outcome, "exit_code": rc, "reason": reason, "reboot_required": None,
            "ports": [], **more}


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


def test_result_that_disagrees_with_the_exit_code_or_is_missing_fails():
    # A stale or foreign file must not pass for this run's.
    assert judged(document("updated", 2), 0) == ("failed", False, True)
    for missing in (None, "", {}, {"exit_code": 2}):
        r = zentavor_outcome(missing, 2, "update")
        assert r["failed"] and "no result file" in r["message"], missing


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

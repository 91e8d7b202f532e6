"""Filters of the zentavor role: the options of a run, and what a run means to
Ansible (changed, ok or failed), read from the result file that Zentavor
writes with -json and from its exit code. No log text is read.
"""

MODES = {"update": "-s", "compliance": "-n"}
RESULT_FILE = "zentavor-result.json"

# What each outcome word means per mode: (changed, failed). A word that the
# mode never ends with is a failure.
VERDICTS = {
    "update": {
        "updated": (True, False),
        "nothing-selected": (False, False),
        "updated-with-errors": (True, True),
    },
    "compliance": {
        # Reported like a dry run: the update would change the host.
        "update-recommended": (True, False),
        "all-current": (False, False),
        "some-newer": (False, False),
    },
}


def _check_mode(mode):
    if mode not in MODES:
        raise ValueError(f"zentavor_mode must be one of {', '.join(MODES)}, not {mode!r}")


def zentavor_arguments(mode, rewrite=False, downgrade=False, force=False, debug=False, ports=None,
                       check=False):
    """The command-line options of an unattended run in this mode. In check
    mode an update is asked only what it would do (-n)."""
    _check_mode(mode)
    if mode == "compliance" and (rewrite or downgrade or force):
        raise ValueError("a compliance run (-n) takes none of rewrite, downgrade and force")
    if force and (rewrite or downgrade):
        raise ValueError("force (-f) goes with neither rewrite (-e) nor downgrade (-g)")
    if isinstance(ports, str) or not all(isinstance(p, str) and p for p in ports or []):
        raise ValueError("zentavor_ports must be a list of locations or MAC addresses")
    if check:
        arguments = ["-n"]
    else:
        arguments = [MODES[mode]]
        for wanted, option in ((rewrite, "-e"), (downgrade, "-g"), (force, "-f")):
            if wanted:
                arguments.append(option)
    if debug:
        arguments.append("-debug")
    for port in ports or []:
        arguments += ["-port", port]
    return arguments


def _result(outcome, changed, failed, message, document):
    document = document or {}
    flashed = [p["location"] for p in document.get("ports", [])
               if (p.get("flash") or {}).get("result") == "updated"]
    return {"outcome": outcome, "changed": changed, "failed": failed, "message": message,
            "reboot_required": document.get("reboot_required"), "flashed": flashed}


def zentavor_outcome(document, rc, mode, check=False, no_adapter_ok=False):
    """What one run means: a dict with outcome, changed, failed, message,
    reboot_required and the locations flashed.

    document is the parsed result file (None when the run left none), rc the
    exit code, mode "update" or "compliance"; a check-mode update was run as a
    compliance run.
    """
    _check_mode(mode)
    rc = int(rc)
    judged = "compliance" if check else mode
    if not isinstance(document, dict) or "outcome" not in document:
        return _result("failed", False, True,
                       f"exit code {rc} and no result file (was Zentavor started?)", None)
    outcome = document["outcome"]
    reason = document.get("reason") or ""
    if document.get("exit_code") != rc:
        return _result("failed", False, True, f"exit code {rc}, but the result file says "
                       f"{document.get('exit_code')} ({outcome})", document)
    if outcome == "no-supported-port":
        return _result(outcome, False, not no_adapter_ok, reason, document)
    if outcome in VERDICTS[judged]:
        changed, failed = VERDICTS[judged][outcome]
        return _result(outcome, changed, failed, reason or outcome, document)
    return _result(outcome, False, True, reason or f"{outcome} (exit code {rc})", document)


class FilterModule:
    def filters(self):
        return {
            "zentavor_outcome": zentavor_outcome,
            "zentavor_arguments": zentavor_arguments,
        }

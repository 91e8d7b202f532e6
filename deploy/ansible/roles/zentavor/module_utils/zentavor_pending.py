"""The pending-reboot marker of a host: what a run leaves in it. Shared by the
module that runs Zentavor on POSIX hosts and by the filter that does the same
for the Windows tasks."""

import json
import time


def read_marker(text):
    """The marker's content from its text, None without a marker. A marker
    that cannot be read still says that a reboot is pending: it is never taken
    for none."""
    if text is None:
        return None
    try:
        content = json.loads(text)
        if isinstance(content, dict):
            return content
    except ValueError:
        pass
    return {"since": None, "boot": None, "ports": [], "unreadable": True}


def flashed_waiting(text):
    """The locations a result file says were flashed with firmware that waits
    for a reboot, and when the run ended; nothing when it says no such thing
    or cannot be read."""
    try:
        document = json.loads(text)
    except (TypeError, ValueError):
        return [], None
    if not isinstance(document, dict) or document.get("reboot_required") is not True:
        return [], None
    ports = document.get("ports") if isinstance(document.get("ports"), list) else []
    flashed = [str(p.get("location")) for p in ports if isinstance(p, dict)
               and isinstance(p.get("flash"), dict) and p["flash"].get("result") == "updated"]
    return flashed, document.get("ended")


def before_run(marker, boot):
    """(pending, rebooted since): a marker written in an earlier boot than
    this one is done with, the new firmware being in use."""
    if marker is not None and marker.get("boot") not in (None, boot):
        return None, True
    return marker, False


def after_run(pending, boot, result_text):
    """The marker after a run whose result file is result_text: the ports it
    flashed with firmware that waits for a reboot are added, and the first
    such flash is kept as the time since which the reboot is pending. None
    when nothing waits; the same object when the run changed nothing."""
    flashed, ended = flashed_waiting(result_text)
    if not flashed:
        return pending
    earlier = pending or {}
    return {
        "since": earlier.get("since") or ended or time.strftime("%Y-%m-%dT%H:%M:%S%z"),
        "last_flash": ended,
        "ports": sorted(set(earlier.get("ports") or []) | set(flashed)),
        "boot": boot,
    }


def marker_text(content):
    return json.dumps(content, indent=2) + "\n"

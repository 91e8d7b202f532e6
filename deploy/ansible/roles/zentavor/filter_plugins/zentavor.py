"""Filters of the zentavor role: the options of a run, what a run means to
Ansible (changed, ok or failed), read from the result file that Zentavor
writes with -json and from its exit code, and the fleet report's rows. No log
text is read.

Result files are read defensively: fields are looked up, never assumed, and
properties this role does not know are passed over, so that a newer Zentavor
that adds to the file is still read.
"""

import csv
import io
import json
import os
import sys

# The pending-reboot marker's rules live beside the module that keeps it on
# POSIX hosts; the Windows tasks keep it with these filters.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "module_utils"))
import zentavor_pending  # noqa: E402

MODES = {"update": "-s", "compliance": "-n"}
RESULT_FILE = "zentavor-result.json"
FORMAT_VERSION = 1

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

# The fleet report's host states, in the order the report lists them: the
# ones that need someone's attention first.
STATES = [
    ("failed", "failed"),
    ("unreachable", "unreachable"),
    ("reboot-pending", "reboot pending"),
    ("update-recommended", "update recommended"),
    ("updated", "updated"),
    ("current", "current"),
    ("not-run", "not run"),
]
REPORT_COLUMNS = ["host", "status", "location", "mac", "product", "installed", "available",
                  "comparison", "decision", "result", "reason"]
REPORT_HEADINGS = ["Host", "Status", "Location", "MAC", "Product", "Installed", "Available",
                   "Comparison", "Decision", "Result", "Reason"]


def _check_mode(mode):
    if mode not in MODES:
        raise ValueError(f"zentavor_mode must be one of {', '.join(MODES)}, not {mode!r}")


def zentavor_arguments(mode, rewrite=False, downgrade=False, force=False, debug=False, ports=None,
                       check=False):
    """The command-line options of an unattended run in this mode. In check
    mode an update is asked only what it would do (-n); which ports it would
    flash under the options is judged from that run's comparison
    (zentavor_would_flash)."""
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


def _ports(document):
    ports = document.get("ports") if isinstance(document, dict) else None
    return [p for p in ports if isinstance(p, dict)] if isinstance(ports, list) else []


def zentavor_would_flash(document, rewrite=False, downgrade=False, force=False):
    """The locations an update (-s) with these options would flash, judged from
    a run's per-port comparison as Zentavor decides: a newer package always,
    the same version with -e or -f, an older one with -g or -f. Ports the
    package does not serve or -port did not choose are never flashed."""
    flashed = []
    for port in _ports(document):
        if port.get("served") is not True or port.get("decision") in ("filtered", "not-served"):
            continue
        comparison = port.get("package_is")
        if (comparison == "newer" or (comparison == "same" and (rewrite or force))
                or (comparison == "older" and (downgrade or force))):
            flashed.append(str(port.get("location")))
    return flashed


def zentavor_read_result(text):
    """The parsed result file and what is wrong with it: (document, None), or
    (None, problem) for a file that is missing, empty, cut short, not one
    Zentavor wrote, or of a format this role does not read. A dict is taken
    as already parsed."""
    if text is None:
        return None, "no result file"
    if isinstance(text, dict):
        document = text
    else:
        if not str(text).strip():
            return None, "the result file is empty"
        try:
            document = json.loads(text)
        except ValueError as error:
            return None, f"the result file is not complete JSON ({error})"
    if not isinstance(document, dict):
        return None, "the result file holds no JSON object"
    version = document.get("format_version")
    if version != FORMAT_VERSION:
        return None, (f"the result file has format_version {json.dumps(version)}; this role "
                      f"reads format_version {FORMAT_VERSION}")
    if not isinstance(document.get("outcome"), str) or not isinstance(
            document.get("exit_code"), int):
        return None, "the result file names no outcome and exit code"
    return document, None


def _result(outcome, changed, failed, message, document):
    document = document or {}
    flashed = [str(p.get("location")) for p in _ports(document)
               if (p.get("flash") or {}).get("result") == "updated"]
    return {"outcome": outcome, "changed": changed, "failed": failed, "message": message,
            "reboot_required": document.get("reboot_required"), "flashed": flashed,
            "log": document.get("log"), "document": document or None}


def zentavor_outcome(document, rc, mode, check=False, no_adapter_ok=False, start_error=None,
                     options=None, stopped_after=None):
    """zentavor_judge, and a run that went past its time limit (stopped_after
    seconds) and was asked to stop fails, whatever it says."""
    result = zentavor_judge(document, rc, mode, check, no_adapter_ok, start_error, options)
    if stopped_after:
        result.update(failed=True, message=f"Zentavor ran longer than {stopped_after} s and was "
                                           f"asked to stop: {result['message']}")
    return result


def zentavor_judge(document, rc, mode, check=False, no_adapter_ok=False, start_error=None,
                   options=None):
    """What one run means: a dict with outcome, changed, failed, message,
    reboot_required, the locations flashed and the log's path on the host.

    document is the result file's text or its parsed content (None when the
    run left none); rc the exit code (None when Zentavor was not started, and
    start_error then says why); mode "update" or "compliance". A check-mode
    update was run as a compliance run, and options (rewrite, downgrade,
    force) say which of its ports the update would have flashed: the host
    counts as changed when there is one.
    """
    _check_mode(mode)
    if rc is None or start_error:
        return _result("failed", False, True,
                       f"Zentavor was not started: {start_error or 'no reason given'}", None)
    rc = int(rc)
    judged = "compliance" if check else mode
    parsed, problem = zentavor_read_result(document)
    if problem:
        return _result("failed", False, True,
                       f"Zentavor ended with exit code {rc}, but {problem}", None)
    outcome = parsed["outcome"]
    reason = parsed.get("reason") or ""
    if parsed["exit_code"] != rc:
        return _result("failed", False, True, f"exit code {rc}, but the result file says "
                       f"{parsed['exit_code']} ({outcome})", parsed)
    if outcome == "no-supported-port":
        return _result(outcome, False, not no_adapter_ok, reason, parsed)
    if outcome not in VERDICTS[judged]:
        return _result(outcome, False, True, reason or f"{outcome} (exit code {rc})", parsed)
    changed, failed = VERDICTS[judged][outcome]
    result = _result(outcome, changed, failed, reason or outcome, parsed)
    if check and mode == "update":
        options = options or {}
        would = zentavor_would_flash(parsed, options.get("rewrite", False),
                                     options.get("downgrade", False), options.get("force", False))
        result["would_flash"] = would
        # "update-recommended" means a newer package for a port, which -s flashes.
        result["changed"] = bool(would) or changed
        result["message"] = (f"{outcome}; the update would flash {', '.join(would)}" if would
                             else f"{outcome}; the update would flash nothing")
    return result


def zentavor_with_pending(result, run):
    """The verdict with the host's pending reboot, as the run on the host
    found and left its marker: reboot_pending, pending_since, pending_ports,
    and pending_note, the sentence that the message gets for it. verdict
    keeps the message without it."""
    pending = (run or {}).get("pending") or None
    result = dict(result, verdict=result["message"])
    result["reboot_pending"] = pending is not None
    result["pending_since"] = pending.get("since") if pending else None
    result["pending_ports"] = list(pending.get("ports") or []) if pending else []
    result["pending_note"] = (
        f"flashed, reboot pending since {result['pending_since'] or 'an unknown time'} "
        f"({', '.join(result['pending_ports']) or 'ports unknown'})" if pending else "")
    if pending:
        result["message"] = f"{result['message']}; {result['pending_note']}"
    return result


def _text(value):
    return "" if value is None else str(value)


def _state(result):
    if not isinstance(result, dict):
        return "not-run"
    if result.get("outcome") == "unreachable":
        return "unreachable"
    if result.get("failed"):
        return "failed"
    if result.get("reboot_pending"):
        return "reboot-pending"
    if result.get("outcome") == "update-recommended" or result.get("would_flash"):
        return "update-recommended"
    if result.get("flashed"):
        return "updated"
    return "current"


def _reason(state, result):
    """The report's reason column: what a person needs to know of the host
    beyond its state."""
    if state == "not-run":
        return "Zentavor did not run on this host in this play"
    if state in ("failed", "unreachable"):
        return _text(result.get("message"))
    if state == "reboot-pending":
        return _text(result.get("pending_note"))
    verdict = _text(result.get("verdict", result.get("message")))
    # A success's verdict is its outcome word, which the state says.
    notes = [verdict] if verdict and verdict != result.get("outcome") else []
    if result.get("rebooted"):
        notes.append("rebooted")
    return "; ".join(notes)


def zentavor_fleet(hostvars, hosts):
    """The fleet report of these hosts from their zentavor_result facts: the
    count of hosts per state (STATES) and one row per host and port, the
    hosts that need attention first. A host without ports (not reached, not
    started) has one row."""
    counts = {key: 0 for key, _ in STATES}
    order = {key: i for i, (key, _) in enumerate(STATES)}
    labels = dict(STATES)
    rows = []
    for host in hosts:
        variables = hostvars[host] if host in hostvars else {}
        result = variables.get("zentavor_result")
        state = _state(result)
        counts[state] += 1
        result = result if isinstance(result, dict) else {}
        reason = _reason(state, result)
        base = {"host": _text(host), "status": labels[state], "state": state, "reason": reason,
                "_order": order[state]}
        ports = _ports(result.get("document"))
        if not ports:
            rows.append(dict(base, **{c: "" for c in REPORT_COLUMNS if c not in base}))
        for port in ports:
            flash = port.get("flash") if isinstance(port.get("flash"), dict) else {}
            rows.append(dict(base, location=_text(port.get("location")),
                             mac=_text(port.get("mac")), product=_text(port.get("product")),
                             installed=_text(port.get("installed_version")),
                             available=_text(port.get("available_version")),
                             comparison=_text(port.get("package_is")),
                             decision=_text(port.get("decision")),
                             result=_text(flash.get("result"))))
    rows.sort(key=lambda r: (r["_order"], r["host"], r["location"]))
    for row in rows:
        del row["_order"]
    return {"hosts": len(hosts), "counts": counts,
            "states": [{"key": k, "label": label, "count": counts[k]} for k, label in STATES],
            "columns": REPORT_COLUMNS, "headings": REPORT_HEADINGS, "rows": rows}


# A spreadsheet takes a cell that starts with one of these for a formula.
FORMULA_STARTS = ("=", "+", "-", "@", "\t", "\r")


def zentavor_csv(fleet):
    """The report's rows as CSV: a header line, the rows in the page's order,
    RFC 4180 quoting and line ends, UTF-8 with a byte-order mark (so that a
    spreadsheet reads it as UTF-8), and an apostrophe before a value that a
    spreadsheet would take for a formula."""
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\r\n")
    writer.writerow(fleet["columns"])
    for row in fleet["rows"]:
        writer.writerow(["'" + v if v.startswith(FORMULA_STARTS) else v
                         for v in (_text(row.get(c)) for c in fleet["columns"])])
    return "\ufeff" + out.getvalue()


def zentavor_summary_lines(fleet):
    """The play's summary of the fleet: the count per state, then the hosts
    that need someone, by state."""
    lines = [f"{fleet['hosts']} hosts: " + ", ".join(
        f"{s['count']} {s['label']}" for s in fleet["states"])]
    named = {}
    for row in fleet["rows"]:
        named.setdefault(row["status"], {}).setdefault(row["host"], row["reason"])
    for key, label, heading in (
            ("failed", "failed", "Failed"),
            ("reboot-pending", "reboot pending", "Flashed, reboot pending"),
            ("unreachable", "unreachable", "Unreachable"),
            ("not-run", "not run", "Not run")):
        hosts = named.get(label)
        if hosts:
            lines.append(f"{heading}: " + "; ".join(
                f"{host} ({why})" if why and key == "failed" else host
                for host, why in hosts.items()))
    return lines


def zentavor_pending_after(marker_text, boot, result_text, check=False):
    """For hosts whose run is a sequence of module runs (Windows): the marker
    before and after the run as the POSIX module keeps it, and what to do to
    the marker file: {pending, rebooted_since, write (the new text, or None),
    remove}."""
    before, rebooted_since = zentavor_pending.before_run(
        zentavor_pending.read_marker(marker_text), str(boot).strip())
    after = before if check else zentavor_pending.after_run(before, str(boot).strip(),
                                                            result_text)
    return {"pending": after, "rebooted_since": rebooted_since,
            "write": None if check or after is before else zentavor_pending.marker_text(after),
            "remove": rebooted_since and not check and after is None}


class FilterModule:
    def filters(self):
        return {
            "zentavor_outcome": zentavor_outcome,
            "zentavor_arguments": zentavor_arguments,
            "zentavor_would_flash": zentavor_would_flash,
            "zentavor_with_pending": zentavor_with_pending,
            "zentavor_fleet": zentavor_fleet,
            "zentavor_csv": zentavor_csv,
            "zentavor_summary_lines": zentavor_summary_lines,
            "zentavor_pending_after": zentavor_pending_after,
        }

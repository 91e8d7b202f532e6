"""Filters of the zentavor role: the part of the log that one run wrote, and
what that run means to Ansible (changed, ok or failed).

Zentavor's exit code alone is not enough: code 0 is a failure in both modes the
role runs, and a host whose adapters the package does not serve also ends with
0. The product's messages are fixed texts, so the log of the run tells the
cases apart.
"""

import re

# The product's own messages, as it writes them.
UPDATE_COMPLETE = "NIC firmware update complete."
NOTHING_SELECTED = "No firmware is selected for update."
COMPLETED_WITH_ERRORS = "NIC firmware update completed with errors."
RECOMMENDED = "NIC firmware update is recommended."
NOT_RECOMMENDED = "NIC firmware update is not recommended."
NO_ADAPTERS = "No supported network adapters for firmware upgrade."
FLASHED = re.compile(r"^MAC (.*) upgrade SUCCESS!$", re.M)
DISCOVERY_FAILED = re.compile(r"^Device discovery failed with error code (-?\d+)$", re.M)
NOT_SERVED = re.compile(r"^NIC with PCI ID (\S*) is not identified as a supported QLogic P3P NIC\.$",
                        re.M)

# Lines that say why a run failed. A discovery that ran but kept no port is a
# host without a served adapter only when none of these explains it instead.
FAILURE_LINES = re.compile(
    r"^(?:Error.*|Supporting file .*|An unexpected error has occurred\..*"
    r"|USAGE: .*|Loading configuration file .*|Could not generate discovery file\."
    r"|This Tallet tool .*|Unexpected value .*|Warning!!! - firmware type .*"
    r"|Dependencies Failed.*|Command to upgrade firmware failed .*"
    r"|Device discovery failed with error code .*|VerifyInstance: .*)$", re.M)
DISCOVERY_CAUSES = ("Loading configuration file", "Could not generate discovery file.",
                    "This Tallet tool", "Unexpected value", "Warning!!! - firmware type",
                    "Dependencies Failed")

MODES = {"update": "-s", "compliance": "-n"}


def _check_mode(mode):
    if mode not in MODES:
        raise ValueError(f"zentavor_mode must be one of {', '.join(MODES)}, not {mode!r}")


def zentavor_run_log(log, offset=0):
    """The text that the run appended to a log that held offset bytes before it.

    A log shorter than offset was truncated or replaced meanwhile: all of it
    belongs to the run then. Windows line ends become LF.
    """
    data = (log or "").encode("utf-8", "surrogateescape")
    offset = int(offset or 0)
    if offset < 0 or offset > len(data):
        offset = 0
    text = data[offset:].decode("utf-8", "surrogateescape")
    return text.replace("\r\n", "\n")


def _failure_lines(text):
    seen = []
    for line in FAILURE_LINES.findall(text):
        if line not in seen:
            seen.append(line)
    return seen


def _no_served_adapter(text):
    """Discovery ran (the utility ended with 0) and kept no port, for no reason
    other than that the package serves none of the host's adapters."""
    codes = DISCOVERY_FAILED.findall(text)
    if not codes or codes[-1] != "0":
        return False
    return not any(cause in text for cause in DISCOVERY_CAUSES)


def _result(outcome, changed, failed, message):
    return {"outcome": outcome, "changed": changed, "failed": failed, "message": message}


def _failure(rc, text, no_adapter_ok):
    """Exit code 0, or another code the mode never ends with."""
    if rc == 0 and COMPLETED_WITH_ERRORS in text:
        # The ports that were flashed before or after the failing one did
        # change: the host is reported changed as well as failed.
        flashed = FLASHED.findall(text)
        parts = [COMPLETED_WITH_ERRORS]
        parts += [line for line in _failure_lines(text) if line.startswith("Command to upgrade")]
        if flashed:
            parts.append("flashed all the same: " + ", ".join(flashed))
        return _result("flash_failed", bool(flashed), True, "; ".join(parts))
    if rc == 0 and _no_served_adapter(text):
        ports = NOT_SERVED.findall(text)
        message = ("no adapter of this host is served by the package"
                   + (f" (PCI IDs {', '.join(ports)})" if ports else ""))
        return _result("no_adapter", False, not no_adapter_ok, message)
    lines = _failure_lines(text)
    if rc != 0:
        lines.insert(0, f"exit code {rc} without the verdict that goes with it in this mode")
    if not text.strip():
        lines.append("the run left nothing in the log or on the console (is the log path right?)")
    return _result("failed", False, True, "; ".join(lines) or f"exit code {rc} without a verdict")


def zentavor_outcome(rc, mode, log="", console="", no_adapter_ok=False):
    """What one run of Zentavor means: a dict with outcome, changed, failed and
    message.

    rc is the exit code, mode "update" (-s) or "compliance" (-n), log the text
    the run appended to the log, console its standard output and error
    (start-up failures reach only the console when the log cannot be written).
    """
    _check_mode(mode)
    rc = int(rc)
    text = (console or "").replace("\r\n", "\n") + "\n" + (log or "")

    # A success code counts only with the verdict that goes with it in the log:
    # a program that could not be started, or a log looked for in the wrong
    # place, must not pass for an update.
    if mode == "update":
        if rc == 2 and UPDATE_COMPLETE in text:
            return _result("updated", True, False, UPDATE_COMPLETE)
        if rc == 3 and NOTHING_SELECTED in text:
            # Every port is current (or newer, and downgrades are not allowed).
            return _result("current", False, False, NOTHING_SELECTED)
    else:
        if rc == 4 and RECOMMENDED in text:
            # Reported like a dry run: the update would change the host.
            return _result("update_recommended", True, False, RECOMMENDED)
        if rc == 5 and NOT_RECOMMENDED in text:
            return _result("current", False, False, NOT_RECOMMENDED + " Every port is current.")
        if rc == 6 and NOT_RECOMMENDED in text:
            return _result("newer_installed", False, False,
                           NOT_RECOMMENDED + " A port holds newer firmware than the package.")
    if rc == 3 and NO_ADAPTERS in text:
        return _result("no_adapter", False, not no_adapter_ok, NO_ADAPTERS)
    return _failure(rc, text, no_adapter_ok)


def zentavor_arguments(mode, rewrite=False, downgrade=False, force=False, debug=False):
    """The command-line options of an unattended run in this mode."""
    _check_mode(mode)
    if mode == "compliance" and (rewrite or downgrade or force):
        raise ValueError("a compliance run (-n) takes none of rewrite, downgrade and force")
    if force and (rewrite or downgrade):
        raise ValueError("force (-f) goes with neither rewrite (-e) nor downgrade (-g)")
    arguments = [MODES[mode]]
    for wanted, option in ((rewrite, "-e"), (downgrade, "-g"), (force, "-f"), (debug, "-debug")):
        if wanted:
            arguments.append(option)
    return arguments


class FilterModule:
    def filters(self):
        return {
            "zentavor_run_log": zentavor_run_log,
            "zentavor_outcome": zentavor_outcome,
            "zentavor_arguments": zentavor_arguments,
        }

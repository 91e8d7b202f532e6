#!/usr/bin/python
"""Runs Zentavor once on a POSIX host, in one module run: puts the package in
place, starts the program, hands back its result file and keeps the host's
pending-reboot marker."""

DOCUMENTATION = r"""
module: zentavor_run
short_description: Put a Zentavor package in place on a POSIX host and run Zentavor once
description:
  - Unpacks the package archive that the zentavor_run action makes on the controller
    (from its options package_dir, program and program_name) and sends to the host's
    temporary folder, into I(dir), with owner and group as given, mode 0755 for folders
    and programs and 0644 for everything else, whatever the modes the files had where
    the package came from. Only what differs is written.
  - Removes the result file of an earlier run, runs I(executable) with I(arguments) in
    I(dir), with I(environment) added to the environment, and returns the exit code,
    the result file's text and what the program printed. A program that cannot be
    started gives no exit code but I(start_error).
  - Keeps the pending-reboot marker I(marker), a JSON file written when a run flashes
    firmware that waits for a reboot and removed once the host has booted since
    (I(boot_time_command) prints something else than when the marker was written).
  - With I(check), the marker is only read and I(dir), a scratch folder, is removed
    afterwards.
options:
  bundle:
    description: The package archive on the host; none to run what I(dir) holds.
    type: path
  dir:
    description: Where the package goes and Zentavor runs.
    type: path
    required: true
  owner:
    description: Owner of the folder and the files put there; none to keep the running user.
    type: str
  group:
    description: Group of the folder and the files put there; none to keep the running user's.
    type: str
  executable:
    description: The program to run.
    type: path
    required: true
  arguments:
    description: Its arguments.
    type: list
    elements: str
    required: true
  environment:
    description: Added to the environment of the run.
    type: dict
    default: {}
  result_file:
    description: The result file's name in I(dir), as given to -json.
    type: str
    default: zentavor-result.json
  marker:
    description: The pending-reboot marker; none to keep none.
    type: path
  boot_time_command:
    description: A shell command that prints something that changes with every boot.
    type: str
    default: cat /proc/sys/kernel/random/boot_id
  check:
    description: A check-mode run; the marker is only read and I(dir) is removed afterwards.
    type: bool
    default: false
  timeout:
    description:
      - Seconds after which the run is asked to stop (SIGTERM), 0 for no limit. Zentavor
        lets the flash in progress finish, starts nothing further and ends with its result
        file.
    type: int
    default: 0
author: Zentavor maintainers
"""

RETURN = r"""
exit_code:
  description: Zentavor's exit code; null when it was not started. (Not C(rc), which Ansible takes for the module's own.)
  type: int
start_error:
  description: Why Zentavor could not be started; null when it was.
  type: str
stopped_after:
  description: The time limit, when the run went past it and was asked to stop; null otherwise.
  type: int
result:
  description: The result file's text; null when the run left none.
  type: str
pending:
  description: The pending-reboot marker after the run (since, last_flash, ports, boot); null when no reboot is pending.
  type: dict
rebooted_since:
  description: Whether a marker was found from an earlier boot (and removed, unless in check mode).
  type: bool
package_changes:
  description: The names in I(dir) that were written or whose mode or owner was set.
  type: list
"""

import grp
import os
import pwd
import shutil
import stat
import subprocess
import tarfile
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils import zentavor_pending as pending_marker

FOLDER_MODE = 0o755
PROGRAM_MODE = 0o755
DATA_MODE = 0o644


def _ids(owner, group):
    uid = -1 if not owner else (int(owner) if owner.isdigit() else pwd.getpwnam(owner).pw_uid)
    gid = -1 if not group else (int(group) if group.isdigit() else grp.getgrnam(group).gr_gid)
    return uid, gid


def _owned_as(status, uid, gid):
    return (uid == -1 or status.st_uid == uid) and (gid == -1 or status.st_gid == gid)


def _make_folders(path):
    """Makes the folder and its missing parents, each 0755 whatever the
    umask. True when one was made."""
    missing = []
    while path and path != os.path.dirname(path) and not os.path.isdir(path):
        missing.append(path)
        path = os.path.dirname(path)
    for folder in reversed(missing):
        os.mkdir(folder)
        os.chmod(folder, FOLDER_MODE)
    return bool(missing)


def _settle(path, status, mode, uid, gid):
    """Gives what stands at path (status: its stat) this mode and owner. True
    when either changed."""
    changed = False
    if stat.S_IMODE(status.st_mode) != mode:
        os.chmod(path, mode)
        changed = True
    if not _owned_as(status, uid, gid):
        os.chown(path, uid, gid)
        changed = True
    return changed


def _folder(path, uid, gid):
    """Makes the folder as _make_folders does and gives it its mode and
    owner. True when anything changed."""
    made = _make_folders(path)
    return _settle(path, os.stat(path), FOLDER_MODE, uid, gid) or made


def _same_content(path, status, data):
    if not stat.S_ISREG(status.st_mode) or status.st_size != len(data):
        return False
    with open(path, "rb") as existing:
        return existing.read() == data


def _write(path, data, mode, uid, gid):
    """Writes beside the target and renames over it: a reader never sees half
    a file, and a link in the target's place is replaced, never followed."""
    handle, temporary = tempfile.mkstemp(dir=os.path.dirname(path),
                                         prefix="." + os.path.basename(path) + ".")
    try:
        with os.fdopen(handle, "wb") as out:
            out.write(data)
            out.flush()
            os.fchmod(out.fileno(), mode)
            if uid != -1 or gid != -1:
                os.fchown(out.fileno(), uid, gid)
            os.fsync(out.fileno())
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def _place(path, data, mode, uid, gid):
    try:
        status = os.lstat(path)
    except FileNotFoundError:
        status = None
    if status is None or not _same_content(path, status, data):
        _write(path, data, mode, uid, gid)
        return True
    return _settle(path, status, mode, uid, gid)


def _member_name(name):
    parts = [p for p in name.split("/") if p not in ("", ".")]
    if not parts or name.startswith("/") or ".." in parts:
        raise ValueError(f"the package archive holds a name outside its folder: {name!r}")
    return os.path.join(*parts)


def unpack(bundle, directory, uid, gid):
    """Puts the archive's folders and files into directory: 0755 for folders
    and for the files the archive marks executable, 0644 for the others.
    Returns the names that changed."""
    changes = []
    if _folder(directory, uid, gid):
        changes.append(".")
    with tarfile.open(bundle) as archive:
        for member in archive.getmembers():
            name = _member_name(member.name)
            target = os.path.join(directory, name)
            if member.isdir():
                if _folder(target, uid, gid):
                    changes.append(name + "/")
            elif member.isfile():
                data = archive.extractfile(member).read()
                mode = PROGRAM_MODE if member.mode & 0o111 else DATA_MODE
                if _place(target, data, mode, uid, gid):
                    changes.append(name)
            else:
                raise ValueError(f"the package archive holds {name!r}, which is no file or folder")
    return changes


def boot_identity(module, command):
    completed = subprocess.run(command, shell=True, stdin=subprocess.DEVNULL,
                               capture_output=True, text=True, errors="replace")
    identity = completed.stdout.strip()
    if completed.returncode != 0 or not identity:
        module.fail_json(msg=f"the boot time command {command!r} gave nothing to compare "
                             f"(exit code {completed.returncode}): {completed.stderr.strip()}")
    return identity


def read_marker(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as marker:
            return pending_marker.read_marker(marker.read())
    except FileNotFoundError:
        return None


def write_marker(path, content):
    _make_folders(os.path.dirname(path))
    _write(path, pending_marker.marker_text(content).encode("utf-8"), DATA_MODE, -1, -1)


def run_zentavor(executable, arguments, directory, environment, timeout):
    """(exit code, start error, standard output, standard error, stopped).
    A run longer than timeout seconds (0: no limit) is asked to stop with
    SIGTERM, which Zentavor holds until the flash in progress has ended: it
    starts nothing further and ends with its result file. A run ended by a
    signal has 128 + the signal's number as its exit code, as a shell says."""
    env = dict(os.environ)
    env.update({str(k): str(v) for k, v in environment.items()})
    try:
        process = subprocess.Popen([executable] + arguments, cwd=directory, env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
    except OSError as error:
        return None, f"{executable}: {error.strerror}", "", "", False
    stopped = False
    try:
        out, err = process.communicate(timeout=timeout or None)
    except subprocess.TimeoutExpired:
        stopped = True
        process.terminate()
        out, err = process.communicate()
    code = process.returncode if process.returncode >= 0 else 128 - process.returncode
    return code, None, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"), stopped


def main():
    module = AnsibleModule(
        argument_spec={
            "bundle": {"type": "path"},
            "dir": {"type": "path", "required": True},
            "owner": {"type": "str"},
            "group": {"type": "str"},
            "executable": {"type": "path", "required": True},
            "arguments": {"type": "list", "elements": "str", "required": True},
            "environment": {"type": "dict", "default": {}},
            "result_file": {"type": "str", "default": "zentavor-result.json"},
            "marker": {"type": "path"},
            "boot_time_command": {"type": "str",
                                  "default": "cat /proc/sys/kernel/random/boot_id"},
            "check": {"type": "bool", "default": False},
            "timeout": {"type": "int", "default": 0},
        },
        supports_check_mode=False,
    )
    p = module.params
    directory, check = p["dir"], p["check"]
    try:
        uid, gid = _ids(p["owner"], p["group"])
    except KeyError as error:
        module.fail_json(msg=f"no such owner or group on the host: {error}")

    pending, rebooted_since, boot = None, False, None
    if p["marker"]:
        boot = boot_identity(module, p["boot_time_command"])
        pending, rebooted_since = pending_marker.before_run(read_marker(p["marker"]), boot)
        if rebooted_since and not check:
            os.unlink(p["marker"])

    result = {"changed": False, "exit_code": None, "start_error": None, "stopped_after": None,
              "result": None, "stdout": "", "stderr": "", "package_changes": [],
              "rebooted_since": rebooted_since}
    try:
        try:
            if p["bundle"]:
                result["package_changes"] = unpack(p["bundle"], directory, uid, gid)
            elif not os.path.isdir(directory):
                module.fail_json(msg=f"{directory} is no folder", **result)
        except (OSError, ValueError, tarfile.TarError) as error:
            module.fail_json(msg=f"the package could not be put into {directory}: {error}",
                             **result)
        result["changed"] = bool(result["package_changes"]) and not check

        result_path = os.path.join(directory, p["result_file"])
        if os.path.lexists(result_path):
            os.unlink(result_path)
        rc, start_error, out, err, stopped = run_zentavor(
            p["executable"], p["arguments"], directory, p["environment"], p["timeout"])
        result.update(exit_code=rc, start_error=start_error, stdout=out, stderr=err,
                      stopped_after=p["timeout"] if stopped else None)
        if os.path.isfile(result_path):
            with open(result_path, "rb") as written:
                result["result"] = written.read().decode("utf-8", "replace")
    finally:
        if check:
            shutil.rmtree(directory, ignore_errors=True)

    if p["marker"] and not check:
        after = pending_marker.after_run(pending, boot, result["result"])
        if after is not pending:
            try:
                write_marker(p["marker"], after)
            except OSError as error:
                module.fail_json(msg=f"Zentavor flashed {', '.join(after['ports'])}, whose new "
                                     f"firmware waits for a reboot, but the pending-reboot marker "
                                     f"{p['marker']} could not be written: {error}", **result)
        pending = after
    result["pending"] = pending
    module.exit_json(**result)


if __name__ == "__main__":
    main()

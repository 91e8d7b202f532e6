"""The zentavor_run action: the firmware package and the program go to the
host as one archive, and the module of the same name puts them in place and
runs Zentavor, so that a run is one module run on the host whatever the
number of the package's files.

The archive is made on the controller. It says which files are programs
(mode 0755: the program, and every file that starts as an ELF binary or a
script does) and which are data (0644), whatever the modes on the controller:
a package unpacked from a zip or a share arrives neither world-writable nor
without its execute bits. Names, owners and times are fixed, so the same
package always gives the same bytes; it is sent to the host's temporary
folder on every run (a package is a few megabytes, cheaper to send than to
ask about first) and the module writes only what differs.
"""

import hashlib
import io
import json
import os
import tarfile

from ansible import constants as C
from ansible.errors import AnsibleActionFail
from ansible.plugins.action import ActionBase

ARCHIVE_NAME = "zentavor-package.tar"
PROGRAM_STARTS = (b"\x7fELF", b"#!")


def package_entries(package_dir, program="", program_name="zentavor"):
    """The archive's entries, sorted: (name, path on the controller or None for
    a folder, is a program). The program goes in under program_name."""
    if not os.path.isdir(package_dir):
        raise ValueError(f"{package_dir} is no folder")
    entries = []
    for top, folders, files in os.walk(package_dir, followlinks=True):
        folders.sort()
        relative = os.path.relpath(top, package_dir)
        prefix = "" if relative == "." else relative.replace(os.sep, "/") + "/"
        if prefix:
            entries.append((prefix.rstrip("/"), None, False))
        for name in sorted(files):
            path = os.path.join(top, name)
            if not os.path.isfile(path):
                raise ValueError(f"{path} is neither a file nor a folder")
            if prefix + name == program_name and program:
                continue
            with open(path, "rb") as start:
                is_program = start.read(4).startswith(PROGRAM_STARTS)
            entries.append((prefix + name, path, is_program))
    if program:
        if not os.path.isfile(program):
            raise ValueError(f"{program} is no file")
        entries.append((program_name, program, True))
    return sorted(entries)


def archive_bytes(entries):
    """A tar archive of the entries with fixed owners, times and modes."""
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.GNU_FORMAT) as archive:
        for name, path, is_program in entries:
            info = tarfile.TarInfo(name)
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            info.mtime = 0
            if path is None:
                info.type = tarfile.DIRTYPE
                info.mode = 0o755
                archive.addfile(info)
                continue
            with open(path, "rb") as source:
                data = source.read()
            info.size = len(data)
            info.mode = 0o755 if is_program else 0o644
            archive.addfile(info, io.BytesIO(data))
    return out.getvalue()


def write_bundle(entries, directory):
    """Writes the archive under directory, named by what it holds, and returns
    its path. An archive of the same files (same paths, sizes and times) is
    made once per controller run and sent to every host."""
    key = hashlib.sha256(json.dumps([
        (name, path, program, None if path is None else
         (os.stat(path).st_size, os.stat(path).st_mtime_ns))
        for name, path, program in entries]).encode()).hexdigest()[:24]
    folder = os.path.join(directory, "zentavor-bundle-" + key)
    path = os.path.join(folder, ARCHIVE_NAME)
    if not os.path.exists(path):
        os.makedirs(folder, exist_ok=True)
        temporary = f"{path}.{os.getpid()}"
        with open(temporary, "wb") as out:
            out.write(archive_bytes(entries))
        os.replace(temporary, path)
    return path


class ActionModule(ActionBase):
    TRANSFERS_FILES = True
    PACKAGE_ARGS = ("package_dir", "program", "program_name")

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        module_args = dict(self._task.args)
        package = {name: module_args.pop(name, None) for name in self.PACKAGE_ARGS}
        try:
            if package["package_dir"]:
                try:
                    entries = package_entries(package["package_dir"], package["program"] or "",
                                              package["program_name"] or "zentavor")
                    bundle = write_bundle(entries, C.DEFAULT_LOCAL_TMP)
                except (OSError, ValueError) as error:
                    raise AnsibleActionFail(f"the firmware package could not be packed: {error}")
                if self._connection._shell.tmpdir is None:
                    self._make_tmp_path()
                remote = self._connection._shell.join_path(self._connection._shell.tmpdir,
                                                            ARCHIVE_NAME)
                self._transfer_file(bundle, remote)
                self._fixup_perms2((self._connection._shell.tmpdir, remote))
                module_args["bundle"] = remote
            result.update(self._execute_module(module_args=module_args, task_vars=task_vars))
        finally:
            self._remove_tmp_path(self._connection._shell.tmpdir)
        return result

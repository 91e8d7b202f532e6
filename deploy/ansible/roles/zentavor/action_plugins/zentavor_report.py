"""The zentavor_report action: the fleet report's page and CSV, written on the
controller. The page is rendered from the role's template with Ansible's own
templating, as the template module does, but written here directly: the
report is the controller's, so no module needs to run for it anywhere."""

import os
import tempfile

from ansible.errors import AnsibleActionFail
from ansible.module_utils._text import to_bytes, to_text
from ansible.plugins.action import ActionBase

PAGE = "zentavor-fleet-report.html"
TABLE = "zentavor-fleet-report.csv"


def write_file(path, data):
    """Writes beside the target and renames over it: a browser or spreadsheet
    never opens half a report."""
    directory = os.path.dirname(path)
    handle, temporary = tempfile.mkstemp(dir=directory, prefix="." + os.path.basename(path) + ".")
    try:
        with os.fdopen(handle, "wb") as out:
            out.write(data)
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


class ActionModule(ActionBase):
    TRANSFERS_FILES = False
    _VALID_ARGS = frozenset(("dir", "fleet", "csv", "template"))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        args = self._task.args
        directory = args.get("dir")
        if not directory:
            raise AnsibleActionFail("dir names no folder for the fleet report")
        try:
            source = self._find_needle("templates", args.get("template", "fleet-report.html.j2"))
            with open(source, encoding="utf-8") as template:
                page_template = template.read()
            variables = dict(task_vars or {}, zentavor_fleet=args.get("fleet"))
            with self._templar.set_temporary_context(available_variables=variables):
                page = self._templar.do_template(page_template, preserve_trailing_newlines=True,
                                                 escape_backslashes=False)
            os.makedirs(directory, mode=0o755, exist_ok=True)
            write_file(os.path.join(directory, PAGE), to_bytes(to_text(page)))
            write_file(os.path.join(directory, TABLE), to_bytes(args.get("csv") or ""))
        except OSError as error:
            raise AnsibleActionFail(f"the fleet report could not be written to {directory}: "
                                    f"{error}")
        result.update(changed=False, page=os.path.join(directory, PAGE),
                      table=os.path.join(directory, TABLE))
        return result

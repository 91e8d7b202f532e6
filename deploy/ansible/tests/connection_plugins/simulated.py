"""A simulated server's connection: this machine, as the local connection
reaches it, under another name, so that the role's reboot handler runs
against a simulated host (the reboot modules refuse the local connection, to
spare the controller). The host's reboot is the role's reboot command, which
the tests point at a script that only changes the host's simulated boot id;
a real reboot or shutdown command is refused. A host whose variable
simulated_unreachable is true cannot be reached."""

DOCUMENTATION = """
    name: simulated
    short_description: a simulated server on this machine
    description:
        - Runs everything on this machine as the local connection does; the reboot modules
          accept it. Refuses the system's own reboot and shutdown commands.
    author: Zentavor maintainers
    extends_documentation_fragment:
        - connection_pipelining
    options:
      unreachable:
        description: The host cannot be reached.
        type: bool
        default: false
        vars:
          - name: simulated_unreachable
"""

import re

from ansible.errors import AnsibleConnectionFailure, AnsibleError
from ansible.plugins.connection.local import Connection as LocalConnection

REAL_REBOOT = re.compile(r"(^|[\s/;&|])(shutdown|reboot|poweroff|halt|systemctl|init)(\s|$)")


class Connection(LocalConnection):
    transport = "simulated"

    def _connect(self):
        if self.get_option("unreachable"):
            raise AnsibleConnectionFailure("the simulated host is down")
        return super()._connect()

    def exec_command(self, cmd, in_data=None, sudoable=True):
        if self.get_option("unreachable"):
            raise AnsibleConnectionFailure("the simulated host is down")
        if REAL_REBOOT.search(cmd):
            raise AnsibleError(f"a simulated host never runs the system's reboot: {cmd}")
        return super().exec_command(cmd, in_data, sudoable)

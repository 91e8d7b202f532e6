"""Simulated servers on this machine, for the role's tests and for trying the
role by hand: each server is a directory with its install directory, system
drive (the log), temporary and lock directories, the simulated vendor
utility's state, a boot id and a script that "reboots" the server by changing
that id. Ansible reaches them through the connection "simulated"
(connection_plugins/simulated.py), which is the local connection under
another name.

    python3 deploy/ansible/tests/simulated_fleet.py DIR

writes a firmware package and six simulated servers with an inventory under
DIR, and prints the commands that roll the role out over them.
"""

import argparse
import grp
import json
import os
import pwd
import shutil
import sys
from pathlib import Path

TESTS = Path(__file__).resolve().parent
ROOT = TESTS.parents[2]
sys.path.insert(0, str(ROOT / "tests"))

from sim_state import (FOREIGN_IDS, SimState, flashed_locations, installed, port,  # noqa: E402
                       read_calls, write_image, write_package)

MARKER = "zentavor-reboot-pending.json"
# Who owns what the role puts on a simulated server: the user running Ansible
# (root in CI), so that no other account is needed.
OWNER = {"zentavor_owner": pwd.getpwuid(os.getuid()).pw_name,
         "zentavor_group": grp.getgrgid(os.getgid()).gr_name}


def write_firmware_package(directory, build_bin):
    """The package as the vendor ships it (descriptor, image) with the
    simulated vendor utility, which travels with it."""
    directory.mkdir(parents=True)
    write_package(directory)
    write_image(directory)
    shutil.copy2(build_bin / "netscli", directory / "netscli")


class SimulatedHost:
    """One simulated server in its own directory."""

    def __init__(self, root, ports, **state):
        self.root = root
        self.install_dir = root / "opt" / "zentavor"
        self.state_dir = root / "server"
        for directory in ("sysdrive", "tmp", "lock", "server"):
            (root / directory).mkdir(parents=True)
        SimState(ports=list(ports), **state).write(self.state_dir)
        self.boot_id = root / "boot_id"
        self.boot_id.write_text("boot-0\n")
        self.reboot_script = root / "simulate-reboot"
        self.failing_reboot_script = root / "simulate-failing-reboot"
        self.reboot_script.write_text(
            '#!/bin/sh\nset -e\ncd "$(dirname "$0")"\necho rebooted >> reboots.log\n'
            'echo "boot-$(wc -l < reboots.log)" > boot_id\n')
        self.failing_reboot_script.write_text("#!/bin/sh\necho the host refused >&2\nexit 1\n")
        # The host's Python counts the module runs Ansible makes on it.
        self.python = root / "python"
        self.python.write_text(
            f'#!/bin/sh\necho run >> "{root}/module-runs"\nexec /usr/bin/python3 "$@"\n')
        for script in (self.reboot_script, self.failing_reboot_script, self.python):
            script.chmod(0o755)

    def variables(self, fetch_dir):
        """The host's inventory variables."""
        return {
            "ansible_connection": "simulated", "ansible_python_interpreter": str(self.python),
            "zentavor_install_dir": str(self.install_dir), "zentavor_fetch_dir": str(fetch_dir),
            "zentavor_boot_time_command": f"cat {self.boot_id}",
            "zentavor_reboot_command": str(self.reboot_script),
            # A reboot that never ends must fail, not hang.
            "zentavor_reboot_timeout": 60,
            "zentavor_environment": {
                "SystemDrive": str(self.root / "sysdrive"),
                "TMPDIR": str(self.root / "tmp"),
                # The single-instance lock of this host alone, not the machine's /run.
                "ZENTAVOR_LOCK_DIR": str(self.root / "lock"),
                "NETSCLI_STATE": str(self.state_dir / "netscli_state.xml"),
            },
            **OWNER,
        }

    @property
    def log(self):
        return self.root / "sysdrive" / "tavensystem" / "log" / "zentavor.log"

    @property
    def marker(self):
        return self.install_dir / MARKER

    def reboots(self):
        log = self.root / "reboots.log"
        return len(log.read_text().splitlines()) if log.exists() else 0

    def module_runs(self):
        runs = self.root / "module-runs"
        return len(runs.read_text().splitlines()) if runs.exists() else 0

    def installed(self):
        return installed(self.state_dir)

    def calls(self):
        return read_calls(self.state_dir)

    def flashed(self):
        return flashed_locations(self.state_dir)


# The fleet to try the role on: outdated, current, a failing flash, and a
# server whose adapters the package does not serve.
TRY_FLEET = {
    "server1": [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")],
    "server2": [port("03:00.0", "4.0.556"), port("03:00.1", "4.0.556")],
    "server3": [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")],
    "server4": [port("03:00.0", "4.0.556"), port("04:00.0", "4.0.557")],
    "server5": [port("03:00.0", "4.0.555", flash_exit=7), port("03:00.1", "4.0.555")],
    "server6": [port("05:00.0", "3.4.216", ids=FOREIGN_IDS)],
}


def main():
    parser = argparse.ArgumentParser(description="Writes a simulated fleet to try the role on.")
    parser.add_argument("directory", type=Path, help="a new directory for the fleet")
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "posix",
                        help="the POSIX build (default: build/posix)")
    options = parser.parse_args()
    root, build_bin = options.directory.resolve(), options.build.resolve() / "bin"
    for program in ("zentavor", "netscli"):
        if not (build_bin / program).exists():
            sys.exit(f"{build_bin / program} is missing: build the POSIX build first")
    if root.exists() and any(root.iterdir()):
        sys.exit(f"{root} is not empty")
    write_firmware_package(root / "package", build_bin)
    hosts = {name: SimulatedHost(root / name, ports) for name, ports in TRY_FLEET.items()}
    inventory = {"zentavor_servers": {
        "vars": {"zentavor_package_dir": str(root / "package"),
                 "zentavor_program": str(build_bin / "zentavor"),
                 "zentavor_batch": 2, "zentavor_reboot": True},
        "hosts": {name: host.variables(root / "logs") for name, host in hosts.items()}}}
    (root / "inventory.yml").write_text(json.dumps(inventory, indent=2) + "\n")
    print(f"""A firmware package and {len(hosts)} simulated servers are in {root}.
Roll the role out over them (from the repository's top directory):

  export LC_ALL=C.UTF-8 ANSIBLE_CONNECTION_PLUGINS={TESTS / 'connection_plugins'}
  cd deploy/ansible
  ansible-playbook -i {root}/inventory.yml site.yml -e zentavor_mode=compliance
  ansible-playbook -i {root}/inventory.yml rollout.yml

The logs and the fleet report come back to {root}/logs.""")


if __name__ == "__main__":
    main()

"""The zentavor role for real: Debian's ansible-playbook against this machine
(connection local), the POSIX build of Zentavor, and the simulated vendor
utility standing in for a server's adapters.

Each test lays out the controller's side (the firmware package and the
program) and the host's side (the package directory, the system drive that
holds the log, the temporary directory, the simulated server's state) in its
own temporary directory, runs the test playbook and judges the play recap, the
role's verdict and what happened to the simulated adapters.
"""

import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(ROOT / "tests"))

from sim_state import (FOREIGN_IDS, SimState, flashed_locations, installed, port,  # noqa: E402
                       read_calls, write_image, write_package)

PLAYBOOK = Path(__file__).resolve().parent / "simulated_server.yml"
INVENTORY = Path(__file__).resolve().parent / "inventory"
BUILD_BIN = (ROOT / os.environ.get("ZENTAVOR_POSIX_DIR", "build/posix")).resolve() / "bin"
CHECKING = "Checking for any other instance of NetXen tool!\n"
JUDGE_TASK = "Judge the run by its result file and exit code"
ROLES = Path(__file__).resolve().parents[1] / "roles"
ROLLOUT = Path(__file__).resolve().parents[1] / "rollout.yml"
VERDICT_TASK = "Zentavor's verdict"


def ansible_environment(home):
    """A quiet ansible that keeps everything it writes under home and reports in JSON."""
    return dict(os.environ, HOME=str(home), LC_ALL="C.UTF-8", ANSIBLE_STDOUT_CALLBACK="json",
                ANSIBLE_LOCAL_TEMP=str(home / "local"), ANSIBLE_REMOTE_TEMP=str(home / "remote"),
                ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
                ANSIBLE_DEPRECATION_WARNINGS="0", ANSIBLE_PIPELINING="1",
                ANSIBLE_ROLES_PATH=str(ROLES), ANSIBLE_FORKS="10")


class Play:
    """What one ansible-playbook run reported."""

    def __init__(self, completed):
        self.rc = completed.returncode
        self.stderr = completed.stderr
        try:
            report = json.loads(completed.stdout)
        except json.JSONDecodeError:
            pytest.fail(f"ansible-playbook printed no report:\n{completed.stdout}\n{self.stderr}")
        self.all_stats = report["stats"]
        self.stats = report["stats"].get("localhost", {})
        self.tasks = {}
        for play in report["plays"]:
            for task in play["tasks"]:
                name = task["task"]["name"].split(" : ", 1)[-1]
                self.tasks[name] = task["hosts"].get("localhost", {})
        self.result = self.tasks.get(JUDGE_TASK, {}).get("ansible_facts", {}).get("zentavor_result")
        self.verdict = self.tasks.get(VERDICT_TASK, {})

    def __repr__(self):
        return f"Play(rc={self.rc}, stats={self.stats}, result={self.result}, stderr={self.stderr!r})"


class Server:
    """A controller with a firmware package and one simulated host."""

    def __init__(self, root, ports, **state):
        if not (BUILD_BIN / "zentavor").exists():
            pytest.fail(f"no POSIX build of zentavor in {BUILD_BIN}")
        self.root = root
        self.package = root / "controller" / "package"
        self.logs = root / "controller" / "logs"
        self.install_dir = root / "host" / "opt" / "zentavor"
        self.sysdrive = root / "host" / "sysdrive"
        self.state_dir = root / "host" / "server"
        for directory in (self.package, self.sysdrive, self.state_dir, root / "host" / "tmp",
                          root / "host" / "run", root / "home"):
            directory.mkdir(parents=True)
        write_package(self.package)
        write_image(self.package)
        # The vendor utility travels with the package: Zentavor finds it beside
        # itself. The server's state stays outside the package, so that a
        # second copy of the package does not reset the adapters.
        shutil.copy2(BUILD_BIN / "netscli", self.package / "netscli")
        SimState(ports=list(ports), **state).write(self.state_dir)

    @property
    def log(self):
        return self.sysdrive / "tavensystem" / "log" / "zentavor.log"

    @property
    def fetched_log(self):
        return self.logs / "localhost" / "zentavor.log"

    def play(self, mode="update", check=False, **variables):
        settings = {
            "zentavor_mode": mode,
            "zentavor_package_dir": str(self.package),
            "zentavor_program": str(BUILD_BIN / "zentavor"),
            "zentavor_install_dir": str(self.install_dir),
            "zentavor_fetch_dir": str(self.logs),
            "zentavor_environment": {
                "SystemDrive": str(self.sysdrive),
                "TMPDIR": str(self.root / "host" / "tmp"),
                # The single-instance lock of this host alone, not the machine's /run.
                "ZENTAVOR_LOCK_DIR": str(self.root / "host" / "run"),
                "NETSCLI_STATE": str(self.state_dir / "netscli_state.xml"),
            },
            **variables,
        }
        extra = self.root / "variables.json"
        extra.write_text(json.dumps(settings))
        completed = subprocess.run(
            ["ansible-playbook", "-i", str(INVENTORY), str(PLAYBOOK), "-e", f"@{extra}"]
            + (["--check"] if check else []),
            env=ansible_environment(self.root / "home"), stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
        return Play(completed)

    def installed(self):
        return installed(self.state_dir)

    def calls(self):
        return read_calls(self.state_dir)

    def flashed(self):
        return flashed_locations(self.state_dir)


WINDOWS_PATHS = ["C:\\zentavor", "C:\\zentavor\\zentavor.exe",
                 "D:\\tavensystem\\log\\zentavor.log"]


@pytest.mark.parametrize("host, paths", [
    ({"ansible_connection": "winrm"}, WINDOWS_PATHS),
    ({"ansible_connection": "ssh", "ansible_shell_type": "powershell"}, WINDOWS_PATHS),
    ({"ansible_os_family": "Windows"}, WINDOWS_PATHS),
    ({"zentavor_environment": {}},
     ["/opt/zentavor", "/opt/zentavor/zentavor", "/var/log/tavensystem/zentavor.log"]),
    ({"ansible_connection": "ssh", "zentavor_environment": {"SystemDrive": "/srv"}},
     ["/opt/zentavor", "/opt/zentavor/zentavor", "/srv/tavensystem/log/zentavor.log"]),
], ids=["winrm", "windows-over-ssh", "windows-facts", "posix", "posix-SystemDrive"])
def test_hosts_get_the_programs_paths_by_default(tmp_path, host, paths):
    # Without facts the platform is known from how Ansible reaches the host.
    completed = subprocess.run(
        ["ansible-playbook", "-i", str(INVENTORY), "-e", json.dumps(host),
         str(PLAYBOOK.with_name("windows_paths.yml"))],
        env=ansible_environment(tmp_path), stdin=subprocess.DEVNULL, capture_output=True,
        text=True, timeout=600)
    assert completed.returncode == 0, completed.stdout + completed.stderr
    task = json.loads(completed.stdout)["plays"][0]["tasks"][0]
    assert task["hosts"]["localhost"]["msg"] == paths


def test_outdated_port_is_recommended_then_updated_then_ok(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")])

    # Compliance: the update would change the host; nothing is flashed.
    play = server.play("compliance")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "update-recommended" and play.result["rc"] == 4, play
    assert play.verdict["changed"] is True
    assert server.flashed() == []

    # Update: the outdated port is flashed, the current one left alone, and the
    # reboot the new firmware waits for is reported, not done.
    play = server.play("update")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "updated" and play.result["rc"] == 2, play
    assert play.result["reboot_required"] is True and play.result["flashed"] == ["03:00.0"]
    assert "reboot required: True" in play.verdict["msg"]
    assert play.verdict["changed"] is True and play.stats["changed"] >= 1
    assert server.flashed() == ["03:00.0"]
    assert server.installed() == {"03:00.0": "4.0.556", "03:00.1": "4.0.556"}
    # The parsed result file is the fact, and the log came back to the controller.
    assert play.result["document"]["ports"][0]["flash"]["result"] == "updated"
    assert server.fetched_log.read_bytes() == server.log.read_bytes()

    # The same again: nothing to do, nothing changed anywhere in the play.
    play = server.play("update")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.stats["changed"] == 0, play
    assert play.result["outcome"] == "nothing-selected" and play.result["rc"] == 3, play
    assert play.result["reboot_required"] is False
    assert server.flashed() == ["03:00.0"]

    play = server.play("compliance")
    assert play.stats["changed"] == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "all-current" and play.result["rc"] == 5, play


def test_check_mode_runs_a_compliance_check_and_changes_nothing(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555")])
    for mode in ("update", "compliance"):
        play = server.play(mode, check=True)
        assert play.rc == 0 and play.stats["failures"] == 0, play
        assert play.result["outcome"] == "update-recommended" and play.result["rc"] == 4, play
        assert play.verdict["changed"] is True
        assert play.result["document"]["command_line"][1] == "-n"
    assert server.flashed() == [] and server.installed() == {"03:00.0": "4.0.555"}
    assert not server.install_dir.exists()


def test_only_the_chosen_ports_are_flashed(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")])
    play = server.play("update", zentavor_ports=["00:0E:1E:03:00:01"])
    assert play.stats["failures"] == 0 and play.result["flashed"] == ["03:00.1"], play
    assert server.installed() == {"03:00.0": "4.0.555", "03:00.1": "4.0.556"}
    play = server.play("update", zentavor_ports=["09:00.0"])
    assert play.stats["failures"] == 1 and "09:00.0" in play.result["message"], play


def test_failing_flash_reports_failed_with_the_reason_and_still_fetches_the_log(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555", flash_exit=7),
                               port("03:00.1", "4.0.555")])
    play = server.play("update")
    assert play.rc != 0 and play.stats["failures"] == 1, play
    assert play.result["outcome"] == "updated-with-errors" and play.result["rc"] == 0, play
    assert play.verdict["failed"] is True
    # The other port was flashed: the host did change.
    assert play.result["changed"] is True and play.result["flashed"] == ["03:00.1"]
    assert "internal error code 7" in play.result["message"]
    assert server.installed() == {"03:00.0": "4.0.555", "03:00.1": "4.0.556"}
    assert server.fetched_log.read_text().endswith("Exiting with code 0\n")


def test_host_without_a_served_adapter_fails_unless_allowed(tmp_path):
    server = Server(tmp_path, [port("05:00.0", "3.4.216", ids=FOREIGN_IDS)])
    play = server.play("update")
    assert play.stats["failures"] == 1, play
    assert play.result["outcome"] == "no-supported-port" and play.result["rc"] == 0, play

    play = server.play("update", zentavor_no_adapter_ok=True)
    assert play.stats["failures"] == 0 and play.stats["changed"] == 0, play
    assert play.result["outcome"] == "no-supported-port", play


def test_options_zentavor_refuses_stop_the_role_before_anything_is_copied(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555")])
    play = server.play("update", zentavor_force=True, zentavor_allow_downgrade=True)
    assert play.stats["failures"] == 1, play
    assert play.result is None
    assert "force (-f) goes with neither" in play.stderr + json.dumps(play.tasks)
    assert not server.install_dir.exists()
    assert server.calls() == []


def rollout(root, hosts):
    """Runs the staged-rollout playbook over simulated hosts on this machine,
    each with its own package directory, log, lock directory and simulator
    state. hosts: {name: [ports]}. Returns the stats per host."""
    package = root / "package"
    package.mkdir()
    write_package(package)
    write_image(package)
    shutil.copy2(BUILD_BIN / "netscli", package / "netscli")
    inventory = {}
    for name, ports in hosts.items():
        host = root / name
        for directory in ("sysdrive", "tmp", "lock", "server"):
            (host / directory).mkdir(parents=True)
        SimState(ports=ports).write(host / "server")
        inventory[name] = {
            "ansible_connection": "local", "ansible_python_interpreter": "/usr/bin/python3",
            "zentavor_install_dir": str(host / "opt"), "zentavor_fetch_dir": str(root / "logs"),
            "zentavor_environment": {"SystemDrive": str(host / "sysdrive"),
                                     "TMPDIR": str(host / "tmp"),
                                     "ZENTAVOR_LOCK_DIR": str(host / "lock"),
                                     "NETSCLI_STATE": str(host / "server" / "netscli_state.xml")}}
    (root / "hosts.yml").write_text(json.dumps({"zentavor_servers": {"hosts": inventory}}))
    extra = {"zentavor_package_dir": str(package), "zentavor_program": str(BUILD_BIN / "zentavor"),
             "zentavor_batch": 5}
    (root / "extra.json").write_text(json.dumps(extra))
    (root / "home").mkdir()
    completed = subprocess.run(
        ["ansible-playbook", "-i", str(root / "hosts.yml"), str(ROLLOUT), "-e", f"@{root / 'extra.json'}"],
        env=ansible_environment(root / "home"), stdin=subprocess.DEVNULL, capture_output=True,
        text=True, timeout=900)
    return completed, json.loads(completed.stdout)["stats"]


HOSTS = [f"server{i:02d}" for i in range(1, 21)]


def test_failing_canary_stops_the_rollout_before_any_other_host(tmp_path):
    hosts = {name: [port("03:00.0", "4.0.555")] for name in HOSTS}
    hosts[HOSTS[0]] = [port("03:00.0", "4.0.555", flash_exit=7)]
    completed, stats = rollout(tmp_path, hosts)
    assert completed.returncode != 0
    assert stats[HOSTS[0]]["failures"] == 1, stats
    assert set(stats) == {HOSTS[0]}, stats
    for name in HOSTS[1:]:
        assert read_calls(tmp_path / name / "server") == [], name
        assert not (tmp_path / name / "opt").exists(), name


def test_clean_rollout_updates_every_host_in_batches(tmp_path):
    hosts = {name: [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")] for name in HOSTS}
    completed, stats = rollout(tmp_path, hosts)
    assert completed.returncode == 0, completed.stdout[-2000:] + completed.stderr
    assert set(stats) == set(HOSTS)
    for name in HOSTS:
        assert stats[name]["failures"] == 0 and stats[name]["changed"] >= 1, (name, stats[name])
        assert installed(tmp_path / name / "server") == {"03:00.0": "4.0.556",
                                                         "03:00.1": "4.0.556"}, name
        assert flashed_locations(tmp_path / name / "server") == ["03:00.0"], name

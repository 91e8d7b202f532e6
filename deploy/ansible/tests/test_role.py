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
JUDGE_TASK = "Judge the run by its exit code and the lines it logged"
VERDICT_TASK = "Zentavor's verdict"


def ansible_environment(home):
    """A quiet ansible that keeps everything it writes under home and reports in JSON."""
    return dict(os.environ, HOME=str(home), LC_ALL="C.UTF-8", ANSIBLE_STDOUT_CALLBACK="json",
                ANSIBLE_LOCAL_TEMP=str(home / "local"), ANSIBLE_REMOTE_TEMP=str(home / "remote"),
                ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
                ANSIBLE_DEPRECATION_WARNINGS="0", ANSIBLE_PIPELINING="1")


class Play:
    """What one ansible-playbook run reported."""

    def __init__(self, completed):
        self.rc = completed.returncode
        self.stderr = completed.stderr
        try:
            report = json.loads(completed.stdout)
        except json.JSONDecodeError:
            pytest.fail(f"ansible-playbook printed no report:\n{completed.stdout}\n{self.stderr}")
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
                          root / "home"):
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

    def play(self, mode="update", **variables):
        settings = {
            "zentavor_mode": mode,
            "zentavor_package_dir": str(self.package),
            "zentavor_program": str(BUILD_BIN / "zentavor"),
            "zentavor_install_dir": str(self.install_dir),
            "zentavor_fetch_dir": str(self.logs),
            "zentavor_environment": {
                "SystemDrive": str(self.sysdrive),
                "TMPDIR": str(self.root / "host" / "tmp"),
                "NETSCLI_STATE": str(self.state_dir / "netscli_state.xml"),
            },
            **variables,
        }
        extra = self.root / "variables.json"
        extra.write_text(json.dumps(settings))
        completed = subprocess.run(
            ["ansible-playbook", "-i", str(INVENTORY), str(PLAYBOOK), "-e", f"@{extra}"],
            env=ansible_environment(self.root / "home"), stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
        return Play(completed)

    def installed(self):
        return installed(self.state_dir)

    def calls(self):
        return read_calls(self.state_dir)

    def flashed(self):
        return flashed_locations(self.state_dir)


def only_this_run(result):
    """The run's part of the log starts where the run did and holds one run."""
    log = result["log"]
    assert log.startswith(CHECKING), log
    assert log.count("Upgrade began") == 1, log
    return log


def test_windows_hosts_get_drive_paths_by_default(tmp_path):
    completed = subprocess.run(
        ["ansible-playbook", "-i", str(INVENTORY), str(PLAYBOOK.with_name("windows_paths.yml"))],
        env=ansible_environment(tmp_path), stdin=subprocess.DEVNULL, capture_output=True,
        text=True, timeout=600)
    assert completed.returncode == 0, completed.stdout + completed.stderr
    task = json.loads(completed.stdout)["plays"][0]["tasks"][0]
    assert task["hosts"]["localhost"]["msg"] == [
        "C:\\zentavor", "C:\\zentavor\\zentavor.exe", "D:\\tavensystem\\log\\zentavor.log"]


def test_outdated_port_is_recommended_then_updated_then_ok(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")])

    # Compliance: the update would change the host; nothing is flashed.
    play = server.play("compliance")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "update_recommended" and play.result["rc"] == 4, play
    assert play.verdict["changed"] is True
    assert server.flashed() == []
    assert server.installed() == {"03:00.0": "4.0.555", "03:00.1": "4.0.556"}

    # Update: the outdated port is flashed, the current one left alone.
    play = server.play("update")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "updated" and play.result["rc"] == 2, play
    assert play.verdict["changed"] is True and play.stats["changed"] >= 1
    assert server.flashed() == ["03:00.0"]
    assert server.installed() == {"03:00.0": "4.0.556", "03:00.1": "4.0.556"}
    assert (server.install_dir / "NICFWData.xml").is_file()
    # The log came back to the controller, and the verdict read only this run.
    assert server.fetched_log.read_bytes() == server.log.read_bytes()
    assert server.fetched_log.read_text().endswith("Exiting with code 2\n")
    assert "MAC 00:0E:1E:03:00:00 upgrade SUCCESS!\n" in only_this_run(play.result)

    # The same again: nothing to do, nothing changed anywhere in the play.
    play = server.play("update")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.stats["changed"] == 0, play
    assert play.result["outcome"] == "current" and play.result["rc"] == 3, play
    assert server.flashed() == ["03:00.0"]
    assert "SUCCESS" not in only_this_run(play.result)
    assert server.fetched_log.read_text().count("Upgrade began") == 3

    play = server.play("compliance")
    assert play.stats["changed"] == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "current" and play.result["rc"] == 5, play


def test_failing_flash_reports_failed_and_still_fetches_the_log(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555", flash_exit=7),
                               port("03:00.1", "4.0.555")])
    play = server.play("update")
    assert play.rc != 0 and play.stats["failures"] == 1, play
    assert play.result["outcome"] == "flash_failed" and play.result["rc"] == 0, play
    assert play.verdict["failed"] is True
    # The other port was flashed: the host did change.
    assert play.result["changed"] is True
    assert "internal error code 7" in play.result["message"]
    assert server.installed() == {"03:00.0": "4.0.555", "03:00.1": "4.0.556"}
    assert server.fetched_log.read_text().endswith("Exiting with code 0\n")


def test_host_without_a_served_adapter_fails_unless_allowed(tmp_path):
    server = Server(tmp_path, [port("05:00.0", "3.4.216", ids=FOREIGN_IDS)])
    play = server.play("update")
    assert play.stats["failures"] == 1, play
    assert play.result["outcome"] == "no_adapter" and play.result["rc"] == 0, play
    assert "8086-10FB-8086-000C" in play.result["message"]

    play = server.play("update", zentavor_no_adapter_ok=True)
    assert play.stats["failures"] == 0 and play.stats["changed"] == 0, play
    assert play.result["outcome"] == "no_adapter", play


def test_options_zentavor_refuses_stop_the_role_before_anything_is_copied(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555")])
    play = server.play("update", zentavor_force=True, zentavor_allow_downgrade=True)
    assert play.stats["failures"] == 1, play
    assert play.result is None
    assert "force (-f) goes with neither" in play.stderr + json.dumps(play.tasks)
    assert not server.install_dir.exists()
    assert server.calls() == []

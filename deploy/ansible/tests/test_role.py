"""The zentavor role for real: Debian's ansible-playbook against this machine
(the connection "simulated", which is the local one under another name, so
that the reboot handler runs), the POSIX build of Zentavor, and the simulated
vendor utility standing in for a server's adapters.

Each test lays out the controller's side (the firmware package and the
program) and the host's side (the package directory, the system drive that
holds the log, the temporary directory, the simulated server's state, its boot
id and the script that "reboots" it by changing that id) in its own temporary
directory, runs a playbook and judges the play recap, the role's verdict and
what happened to the simulated adapters.
"""

import csv
import io
import json
import os
import shutil
import stat
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(ROOT / "tests"))

from sim_state import FOREIGN_IDS, port  # noqa: E402
from simulated_fleet import MARKER, SimulatedHost, write_firmware_package  # noqa: E402

TESTS = Path(__file__).resolve().parent
PLAYBOOK = TESTS / "simulated_server.yml"
INVENTORY = TESTS / "inventory"
BUILD_BIN = (ROOT / os.environ.get("ZENTAVOR_POSIX_DIR", "build/posix")).resolve() / "bin"
DEPLOY = TESTS.parent
ROLES = DEPLOY / "roles"
ROLLOUT = DEPLOY / "rollout.yml"
SITE = DEPLOY / "site.yml"
VERDICT_TASK = "Zentavor's verdict"


def ansible_environment(home):
    """A quiet ansible that keeps everything it writes under home and reports
    in JSON, with the custom statistics, and knows the simulated connection."""
    return dict(os.environ, HOME=str(home), LC_ALL="C.UTF-8", ANSIBLE_STDOUT_CALLBACK="json",
                ANSIBLE_LOCAL_TEMP=str(home / "local"), ANSIBLE_REMOTE_TEMP=str(home / "remote"),
                ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
                ANSIBLE_DEPRECATION_WARNINGS="0", ANSIBLE_PIPELINING="1",
                ANSIBLE_ROLES_PATH=str(ROLES), ANSIBLE_FORKS="10",
                ANSIBLE_CONNECTION_PLUGINS=str(TESTS / "connection_plugins"),
                ANSIBLE_SHOW_CUSTOM_STATS="1")


class Play:
    """What one ansible-playbook run reported, for one host."""

    def __init__(self, completed, host="localhost"):
        self.rc = completed.returncode
        self.stderr = completed.stderr
        try:
            report = json.loads(completed.stdout)
        except json.JSONDecodeError:
            pytest.fail(f"ansible-playbook printed no report:\n{completed.stdout}\n{self.stderr}")
        self.report = report
        self.all_stats = report["stats"]
        self.stats = report["stats"].get(host, {})
        self.custom_stats = report.get("global_custom_stats", {})
        self.tasks = {}
        self.result = None
        for play in report["plays"]:
            for task in play["tasks"]:
                name = task["task"]["name"].split(" : ", 1)[-1]
                self.tasks[name] = task["hosts"].get(host, {})
                # The host's zentavor_result as the play left it.
                fact = self.tasks[name].get("ansible_facts", {}).get("zentavor_result")
                if fact is not None and name != "Note that the host has not been reached yet":
                    self.result = fact
        self.verdict = self.tasks.get(VERDICT_TASK, {})

    def messages(self, task):
        """Every message task printed, whatever host it ran for (run_once)."""
        return [m for play in self.report["plays"] for t in play["tasks"]
                if t["task"]["name"].split(" : ", 1)[-1] == task
                for h in t["hosts"].values() for m in [h.get("msg")] if m]

    def __repr__(self):
        return f"Play(rc={self.rc}, stats={self.stats}, result={self.result}, stderr={self.stderr!r})"


class Server(SimulatedHost):
    """A controller with a firmware package and one simulated host, localhost."""

    def __init__(self, root, ports, **state):
        if not (BUILD_BIN / "zentavor").exists():
            pytest.fail(f"no POSIX build of zentavor in {BUILD_BIN}")
        super().__init__(root / "host", ports, **state)
        self.package = root / "controller" / "package"
        self.logs = root / "controller" / "logs"
        self.program = BUILD_BIN / "zentavor"
        (root / "home").mkdir()
        self.home = root / "home"
        # The vendor utility travels with the package: Zentavor finds it beside
        # itself. The server's state stays outside the package, so that a
        # second copy of the package does not reset the adapters.
        write_firmware_package(self.package, BUILD_BIN)

    @property
    def fetched_log(self):
        return self.logs / "localhost" / "zentavor.log"

    def play(self, mode="update", check=False, playbook=PLAYBOOK, options=(), **variables):
        settings = {
            "zentavor_mode": mode,
            "zentavor_package_dir": str(self.package),
            "zentavor_program": str(self.program),
            **self.variables(self.logs),
            **variables,
        }
        extra = self.root / "variables.json"
        extra.write_text(json.dumps(settings))
        inventory = self.root / "inventory.json"
        inventory.write_text(json.dumps({"zentavor_servers": {"hosts": {"localhost": {}}}}))
        completed = subprocess.run(
            ["ansible-playbook", "-i", str(inventory), str(playbook), "-e", f"@{extra}"]
            + (["--check"] if check else []) + list(options),
            env=ansible_environment(self.home), stdin=subprocess.DEVNULL, capture_output=True,
            text=True, timeout=int(os.environ.get("PLAY_TIMEOUT", "600")))
        return Play(completed)


WINDOWS_PATHS = ["C:\\zentavor", "C:\\zentavor\\zentavor.exe",
                 "D:\\tavensystem\\log\\zentavor.log",
                 "D:\\ProgramData\\Zentavor\\reboot-pending.json", "C:\\zentavor-check"]


@pytest.mark.parametrize("host, paths", [
    ({"ansible_connection": "winrm"}, WINDOWS_PATHS),
    ({"ansible_connection": "ssh", "ansible_shell_type": "powershell"}, WINDOWS_PATHS),
    ({"ansible_os_family": "Windows"}, WINDOWS_PATHS),
    ({"zentavor_environment": {}},
     ["/opt/zentavor", "/opt/zentavor/zentavor", "/var/log/tavensystem/zentavor.log",
      "/opt/zentavor/zentavor-reboot-pending.json", "/opt/zentavor-check"]),
    ({"ansible_connection": "ssh", "zentavor_environment": {"SystemDrive": "/srv"}},
     ["/opt/zentavor", "/opt/zentavor/zentavor", "/srv/tavensystem/log/zentavor.log",
      "/opt/zentavor/zentavor-reboot-pending.json", "/opt/zentavor-check"]),
], ids=["winrm", "windows-over-ssh", "windows-facts", "posix", "posix-SystemDrive"])
def test_hosts_get_the_programs_paths_by_default(tmp_path, host, paths):
    # Without facts the platform is known from how Ansible reaches the host.
    completed = subprocess.run(
        ["ansible-playbook", "-i", str(INVENTORY), "-e", json.dumps(host),
         str(PLAYBOOK.with_name("windows_paths.yml"))],
        env=ansible_environment(tmp_path), stdin=subprocess.DEVNULL, capture_output=True,
        text=True, timeout=int(os.environ.get("PLAY_TIMEOUT", "600")))
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
    # reboot the new firmware waits for is reported, not done: the host is
    # marked "flashed, reboot pending".
    play = server.play("update")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "updated" and play.result["rc"] == 2, play
    assert play.result["reboot_required"] is True and play.result["flashed"] == ["03:00.0"]
    assert play.result["reboot_pending"] is True and play.result["pending_ports"] == ["03:00.0"]
    assert "reboot required: True" in play.verdict["msg"]
    assert play.verdict["changed"] is True and play.stats["changed"] >= 1
    assert server.flashed() == ["03:00.0"]
    assert server.installed() == {"03:00.0": "4.0.556", "03:00.1": "4.0.556"}
    assert json.loads(server.marker.read_text())["ports"] == ["03:00.0"]
    # The parsed result file is the fact, and the log came back to the controller.
    assert play.result["document"]["ports"][0]["flash"]["result"] == "updated"
    assert play.result["log"] == str(server.log)
    assert server.fetched_log.read_bytes() == server.log.read_bytes()

    # The same again: nothing to do, nothing changed anywhere in the play, but
    # the reboot the first run left pending is not forgotten.
    play = server.play("update")
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.stats["changed"] == 0, play
    assert play.result["outcome"] == "nothing-selected" and play.result["rc"] == 3, play
    assert play.result["reboot_required"] is False
    assert play.result["reboot_pending"] is True
    assert "flashed, reboot pending since" in play.verdict["msg"]
    assert server.flashed() == ["03:00.0"]

    play = server.play("compliance")
    assert play.stats["changed"] == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "all-current" and play.result["rc"] == 5, play
    assert play.result["reboot_pending"] is True and server.reboots() == 0


def test_pending_reboot_is_done_by_a_later_run_and_cleared_by_any_reboot(tmp_path):
    server = Server(tmp_path, [port("03:00.0", "4.0.555")])
    play = server.play("update")
    assert play.result["reboot_pending"] is True and server.marker.exists(), play

    # A reboot that fails leaves the host marked, and fails it after the report.
    play = server.play("update", zentavor_reboot=True,
                       zentavor_reboot_command=str(server.failing_reboot_script))
    assert play.stats["failures"] == 1 and server.marker.exists(), play
    assert play.result["reboot_pending"] is True and "the reboot failed" in play.result["message"]
    # The reboot is the role's tag: skipped with it, the host stays marked.
    play = server.play("update", zentavor_reboot=True, options=["--skip-tags", "zentavor_reboot"])
    assert play.stats["failures"] == 0 and server.reboots() == 0 and server.marker.exists(), play

    # A later run with zentavor_reboot finishes the job: the handler reboots
    # the host although this run flashed nothing, and the marker goes.
    play = server.play("update", zentavor_reboot=True)
    assert play.rc == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == "nothing-selected" and play.result["rebooted"] is True, play
    assert play.result["reboot_pending"] is False and server.reboots() == 1
    assert not server.marker.exists()
    assert server.flashed() == ["03:00.0"]

    # A reboot nobody asked the role for also ends the wait: the marker
    # records the boot of the flash, and the next run sees another.
    play = server.play("update", zentavor_allow_rewrite=True)
    assert play.result["flashed"] == ["03:00.0"] and server.marker.exists(), play
    server.boot_id.write_text("booted by someone else\n")
    play = server.play("compliance")
    assert play.result["reboot_pending"] is False and not server.marker.exists(), play
    assert play.stats["changed"] == 0 and server.reboots() == 1, play


OUTDATED = [port("03:00.0", "4.0.555")]
CURRENT_AND_NEWER = [port("03:00.0", "4.0.556"), port("03:00.1", "4.0.557")]
# Each row a host of one check-mode play: its ports, its settings, the outcome
# and the ports an update would flash (None: a compliance run says none).
CHECKED = {
    "compliance": (OUTDATED, {"zentavor_mode": "compliance"}, "update-recommended", None, True),
    "outdated": (OUTDATED, {}, "update-recommended", ["03:00.0"], True),
    "current": (CURRENT_AND_NEWER, {}, "some-newer", [], False),
    # The runs that flash most must not be predicted as no change.
    "downgrade": (CURRENT_AND_NEWER, {"zentavor_allow_downgrade": True}, "some-newer",
                  ["03:00.1"], True),
    "force": (CURRENT_AND_NEWER, {"zentavor_force": True}, "some-newer", ["03:00.0", "03:00.1"],
              True),
}


@pytest.fixture(scope="module")
def checked(tmp_path_factory):
    return Fleet(tmp_path_factory.mktemp("checked"), {h: r[0] for h, r in CHECKED.items()},
                 playbook=PLAYBOOK, host_vars={h: r[1] for h, r in CHECKED.items()},
                 options=["--check"])


@pytest.mark.parametrize("host", list(CHECKED))
def test_check_mode_runs_a_compliance_check_and_changes_nothing(checked, host):
    _, _, outcome, would_flash, changed = CHECKED[host]
    play, simulated = checked.play(host), checked.hosts[host]
    assert checked.rc == 0 and play.stats["failures"] == 0, play
    assert play.result["outcome"] == outcome, play
    assert play.result.get("would_flash") == would_flash, play
    # Changed exactly when the run would change the host, nothing else counts.
    assert play.verdict["changed"] is changed and play.stats["changed"] == int(changed), play
    # Zentavor ran -n from the scratch folder beside the install directory,
    # never from the remote temporary folder, which may forbid programs.
    check_dir = Path(str(simulated.install_dir) + "-check")
    assert play.result["document"]["command_line"][:2] == [str(check_dir / "zentavor"), "-n"]
    assert not simulated.install_dir.exists() and not check_dir.exists()
    assert simulated.flashed() == [] and simulated.installed() == {
        p.location: p.firmware_id for p in CHECKED[host][0]}


# One update over a host for each of the next tests: chosen ports, a failing
# flash, no served adapter.
UPDATED = {
    "chosen-port": ([port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")],
                    {"zentavor_ports": ["00:0E:1E:03:00:01"]}),
    "unknown-port": ([port("03:00.0", "4.0.555")], {"zentavor_ports": ["09:00.0"]}),
    "failing-flash": ([port("03:00.0", "4.0.555", flash_exit=7), port("03:00.1", "4.0.555")],
                      {}),
    "no-adapter": ([port("05:00.0", "3.4.216", ids=FOREIGN_IDS)], {}),
    "no-adapter-ok": ([port("05:00.0", "3.4.216", ids=FOREIGN_IDS)],
                      {"zentavor_no_adapter_ok": True}),
}


@pytest.fixture(scope="module")
def updated(tmp_path_factory):
    return Fleet(tmp_path_factory.mktemp("updated"), {h: r[0] for h, r in UPDATED.items()},
                 playbook=PLAYBOOK, host_vars={h: r[1] for h, r in UPDATED.items()})


def test_only_the_chosen_ports_are_flashed(updated):
    play = updated.play("chosen-port")
    assert play.stats["failures"] == 0 and play.result["flashed"] == ["03:00.1"], play
    assert updated.hosts["chosen-port"].installed() == {"03:00.0": "4.0.555", "03:00.1": "4.0.556"}
    play = updated.play("unknown-port")
    assert play.stats["failures"] == 1 and "09:00.0" in play.result["message"], play


def test_failing_flash_reports_failed_with_the_reason_and_still_fetches_the_log(updated):
    play, host = updated.play("failing-flash"), updated.hosts["failing-flash"]
    assert updated.rc != 0 and play.stats["failures"] == 1, play
    assert play.result["outcome"] == "updated-with-errors" and play.result["rc"] == 0, play
    assert play.verdict["failed"] is True
    # The other port was flashed: the host did change.
    assert play.result["changed"] is True and play.result["flashed"] == ["03:00.1"]
    assert "internal error code 7" in play.result["message"]
    assert host.installed() == {"03:00.0": "4.0.555", "03:00.1": "4.0.556"}
    fetched = updated.logs / "failing-flash" / "zentavor.log"
    assert fetched.read_text().endswith("Exiting with code 0\n")


def test_host_without_a_served_adapter_fails_unless_allowed(updated):
    play = updated.play("no-adapter")
    assert play.stats["failures"] == 1, play
    assert play.result["outcome"] == "no-supported-port" and play.result["rc"] == 0, play

    play = updated.play("no-adapter-ok")
    assert play.stats["failures"] == 0 and play.verdict["changed"] is False, play
    assert play.result["outcome"] == "no-supported-port", play


# Each row a host of one play, with settings the role refuses and what it says.
REFUSED = {
    # Options Zentavor refuses together: the role's own check.
    "force-with-downgrade": ({"zentavor_force": True, "zentavor_allow_downgrade": True},
                             "force (-f) goes with neither"),
    # Values the types and choices in meta/argument_specs.yml refuse.
    "reboot-maybe": ({"zentavor_reboot": "maybe"}, "zentavor_reboot"),
    "mode-misspelt": ({"zentavor_mode": "updat"}, "zentavor_mode"),
    "timeout-with-unit": ({"zentavor_reboot_timeout": "30m"}, "zentavor_reboot_timeout"),
}


@pytest.fixture(scope="module")
def refused(tmp_path_factory):
    return Fleet(tmp_path_factory.mktemp("refused"), {h: OUTDATED for h in REFUSED},
                 playbook=PLAYBOOK, host_vars={h: r[0] for h, r in REFUSED.items()})


@pytest.mark.parametrize("host", list(REFUSED))
def test_settings_the_role_refuses_stop_it_before_anything_is_copied(refused, host):
    says = REFUSED[host][1]
    play, simulated = refused.play(host), refused.hosts[host]
    assert play.stats["failures"] == 1, play
    assert says in json.dumps(play.tasks)
    # The role's own refusal is its verdict; the argument check's comes first.
    if play.result is not None:
        assert play.result["failed"] is True and says in play.result["message"], play
    assert not simulated.install_dir.exists()
    assert simulated.calls() == [] and simulated.reboots() == 0


def test_package_arrives_with_fixed_modes_whatever_the_controllers(tmp_path):
    # A package unpacked from a zip or a share: everything 0777, except the
    # vendor utility, which lost its execute bits; the program carries its
    # version in its name. The fleet playbook runs it, gathering no facts.
    server = Server(tmp_path, [port("03:00.0", "4.0.555")])
    server.program = server.package.parent / "zentavor-4.0.0.1"
    shutil.copy2(BUILD_BIN / "zentavor", server.program)
    (server.package / "tools").mkdir()
    (server.package / "tools" / "readme.txt").write_text("vendor notes\n")
    for path in [server.program, *server.package.rglob("*")]:
        path.chmod(0o777)
    (server.package / "netscli").chmod(0o644)

    play = server.play("update", playbook=SITE)
    assert play.rc == 0 and play.result["outcome"] == "updated", play
    assert not any("Gathering Facts" in name for name in play.tasks)
    modes = {str(path.relative_to(server.install_dir)): stat.S_IMODE(path.stat().st_mode)
             for path in [server.install_dir, *server.install_dir.rglob("*")]}
    assert modes == {".": 0o755, "zentavor": 0o755, "netscli": 0o755, "NICFWData.xml": 0o644,
                     "p3p_rom.bin": 0o644, "tools": 0o755, "tools/readme.txt": 0o644,
                     MARKER: 0o644,
                     "zentavor-result.json": modes.get("zentavor-result.json")}, modes

    # Put right again when changed on the host; everything else left alone.
    (server.install_dir / "netscli").chmod(0o777)
    play = server.play("compliance", playbook=SITE)
    assert play.tasks["Run Zentavor unattended"]["package_changes"] == ["netscli"], play
    assert stat.S_IMODE((server.install_dir / "netscli").stat().st_mode) == 0o755


# Each row a host of one check-mode play, whose Zentavor is a stand-in that
# cannot be started, leaves its result file cut short, or outlives the role's
# time limit; the scratch folder must go, and zentavor_result be set, all the
# same.
UNSOUND = {
    "missing": (None, {"zentavor_program": "", "zentavor_executable": "/nonexistent/zentavor"},
                "Zentavor was not started: /nonexistent/zentavor: No such file or directory"),
    "truncated": ('#!/bin/sh\nprintf \'{"format_version": 1, "outcome": "upd\' '
                  '> zentavor-result.json\nexit 2\n', {},
                  "Zentavor ended with exit code 2, but the result file is not complete JSON"),
    "hanging": ("#!/bin/sh\nexec sleep 60\n", {"zentavor_timeout": 1},
                "Zentavor ran longer than 1 s and was asked to stop: Zentavor ended with exit "
                "code 143, but no result file"),
}


@pytest.fixture(scope="module")
def unsound(tmp_path_factory):
    root = tmp_path_factory.mktemp("unsound")
    programs = {}
    for host, (script, _, _) in UNSOUND.items():
        if script:
            programs[host] = root / f"zentavor-{host}"
            programs[host].write_text(script)
    return Fleet(root, {h: OUTDATED for h in UNSOUND}, playbook=PLAYBOOK, options=["--check"],
                 host_vars={h: {**({"zentavor_program": str(programs[h])} if h in programs
                                   else {}), **UNSOUND[h][1]} for h in UNSOUND})


@pytest.mark.parametrize("host", list(UNSOUND))
def test_run_without_a_sound_result_fails_the_host_with_a_plain_message(unsound, host):
    says = UNSOUND[host][2]
    play, simulated = unsound.play(host), unsound.hosts[host]
    assert play.stats["failures"] == 1, play
    assert play.result["failed"] is True and says in play.result["message"], play
    # Never an errno shown as Zentavor's exit code.
    assert play.result["rc"] in (None, 2, 143) and "exit code 2 and" not in play.verdict["msg"]
    assert not Path(str(simulated.install_dir) + "-check").exists()
    assert simulated.calls() == []


def test_role_is_documented_and_its_playbooks_load_from_their_directory(tmp_path):
    # ansible-doc documents every variable the role has, and only those.
    defaults = yaml_keys(ROLES / "zentavor" / "defaults" / "main.yml")
    specs = yaml_load(ROLES / "zentavor" / "meta" / "argument_specs.yml")
    assert set(specs["argument_specs"]["main"]["options"]) == defaults
    environment = {k: v for k, v in ansible_environment(tmp_path).items()
                   if k != "ANSIBLE_ROLES_PATH"}
    doc = subprocess.run(["ansible-doc", "-t", "role", "-r", str(ROLES), "zentavor"], env=environment,
                         stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    assert doc.returncode == 0 and "zentavor_reboot_timeout" in doc.stdout, doc.stderr
    # Without a roles path of their own, as an adopter runs them: ansible.cfg.
    check = subprocess.run(["ansible-playbook", "--syntax-check", "tests/simulated_server.yml",
                            "site.yml", "rollout.yml"], cwd=DEPLOY, env=environment,
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    assert check.returncode == 0, check.stdout + check.stderr


def yaml_load(path):
    import yaml
    return yaml.safe_load(path.read_text())


def yaml_keys(path):
    return set(yaml_load(path))


class Fleet:
    """One ansible-playbook run (the staged rollout unless told otherwise)
    over simulated hosts on this machine, each with its own package
    directory, log, lock directory, simulator state and boot id."""

    def __init__(self, root, hosts, playbook=ROLLOUT, group="zentavor_servers", group_vars=None,
                 all_vars=None, host_vars=None, extra=None, options=()):
        package = root / "package"
        write_firmware_package(package, BUILD_BIN)
        self.root = root
        self.logs = root / "logs"
        self.hosts = {name: SimulatedHost(root / name, ports) for name, ports in hosts.items()}
        # The package and program as the group's: a host's own variables may
        # replace them.
        group_vars = {"zentavor_package_dir": str(package),
                      "zentavor_program": str(BUILD_BIN / "zentavor"), **(group_vars or {})}
        inventory = {"all": {"vars": all_vars or {}, "children": {group: {
            "vars": group_vars,
            "hosts": {name: {**host.variables(self.logs), **(host_vars or {}).get(name, {})}
                      for name, host in self.hosts.items()}}}}}
        (root / "hosts.yml").write_text(json.dumps(inventory))
        (root / "extra.json").write_text(json.dumps(extra or {}))
        (root / "home").mkdir()
        self.completed = subprocess.run(
            ["ansible-playbook", "-i", str(root / "hosts.yml"), str(playbook),
             "-e", f"@{root / 'extra.json'}", *options],
            env=ansible_environment(root / "home"), stdin=subprocess.DEVNULL,
            capture_output=True, text=True, timeout=900)
        self.rc = self.completed.returncode
        try:
            self.report = json.loads(self.completed.stdout)
        except json.JSONDecodeError:
            pytest.fail(f"ansible-playbook printed no report:\n{self.completed.stdout}\n"
                        f"{self.completed.stderr}")
        # The planning play runs on the controller, which is no server.
        self.stats = {h: s for h, s in self.report["stats"].items() if h != "localhost"}

    def play(self, host):
        return Play(self.completed, host)

    def summary(self):
        """The lines of the last fleet summary the rollout printed."""
        return self.play("localhost").messages("Summarise the fleet")[-1]

    def batches(self):
        """The servers of each play and batch, in order."""
        return [sorted({h for t in p["tasks"] for h in t["hosts"]} - {"localhost"})
                for p in self.report["plays"]]


HOSTS = [f"server{i:02d}" for i in range(1, 21)]


def test_failing_canary_stops_the_rollout_before_any_other_host(tmp_path):
    hosts = {name: [port("03:00.0", "4.0.555")] for name in HOSTS}
    hosts[HOSTS[0]] = [port("03:00.0", "4.0.555", flash_exit=7)]
    run = Fleet(tmp_path, hosts, extra={"zentavor_batch": 5})
    assert run.rc != 0
    assert run.stats[HOSTS[0]]["failures"] == 1, run.stats
    assert set(run.stats) == {HOSTS[0]}, run.stats
    for name in HOSTS[1:]:
        assert run.hosts[name].calls() == [], name
        assert not (tmp_path / name / "opt").exists(), name
    # The report of the stopped rollout lists the whole group.
    assert run.summary()[0] == ("20 hosts: 1 failed, 0 unreachable, 0 reboot pending, "
                                "0 update recommended, 0 updated, 0 current, 19 not run")
    assert (run.logs / "zentavor-fleet-report.html").exists()


def test_group_without_servers_stops_the_rollout_with_a_message(tmp_path):
    run = Fleet(tmp_path, {}, group="web", all_vars={"zentavor_group": "db"})
    assert run.rc != 0 and run.stats == {}, run.stats
    assert "The group db has no servers in the inventory" in json.dumps(run.report)


# A fleet with every outcome, rolled out with zentavor_reboot in batches of 5
# (both from the inventory): the canary, then batches in which servers are
# outdated (updated and rebooted), current, checked only (compliance), not to
# be rebooted, unreachable, or hold a product name that is markup; the last
# batch has a failing flash, a server without a served adapter, and an
# outdated server whose flash the failures leave waiting for its reboot.
FLEET_GROUP = "p3p_fleet"
SCRIPT_PRODUCT = "<script>document.title='pwned'</script> 10GbE"
FLEET = {name: [port("03:00.0", "4.0.556"), port("03:00.1", "4.0.556")] for name in HOSTS}
for name in ("server01", "server02", "server04", "server05", "server06", "server09", "server10",
             "server12", "server14", "server16", "server20"):
    FLEET[name] = [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")]
FLEET["server08"] = [port("03:00.0", "4.0.556", product_id=SCRIPT_PRODUCT)]
FLEET["server18"] = [port("03:00.0", "4.0.555", flash_exit=7), port("03:00.1", "4.0.555")]
FLEET["server19"] = [port("05:00.0", "3.4.216", ids=FOREIGN_IDS)]
FLEET_HOST_VARS = {"server04": {"zentavor_mode": "compliance"},
                   "server05": {"zentavor_reboot": False},
                   "server07": {"simulated_unreachable": True}}
FLEET_STATES = {
    "updated": ["server01", "server02", "server06", "server09", "server10", "server12",
                "server14", "server16"],
    "current": ["server03", "server08", "server11", "server13", "server15", "server17"],
    "update recommended": ["server04"],
    "reboot pending": ["server05", "server20"],
    "unreachable": ["server07"],
    "failed": ["server18", "server19"],
}


@pytest.fixture(scope="module")
def fleet(tmp_path_factory):
    return Fleet(tmp_path_factory.mktemp("fleet"), FLEET, group=FLEET_GROUP,
                   all_vars={"zentavor_group": FLEET_GROUP},
                   group_vars={"zentavor_batch": 5, "zentavor_reboot": True},
                   host_vars=FLEET_HOST_VARS)


def test_rollout_over_a_mixed_fleet_finishes_or_marks_every_flashed_host(fleet):
    assert fleet.rc != 0
    # The canary, then batches of 5 as the inventory says; the batch with the
    # failures is the last.
    assert fleet.batches() == [[], ["server01"], HOSTS[1:6], HOSTS[6:11], HOSTS[11:16],
                               HOSTS[16:20]]
    outcome = {name: fleet.play(name).result for name in HOSTS}
    assert fleet.report["stats"]["server07"]["unreachable"] == 1
    for name in FLEET_STATES["updated"]:
        host = fleet.hosts[name]
        assert fleet.stats[name]["failures"] == 0 and fleet.stats[name]["changed"] >= 1, name
        assert host.installed()["03:00.0"] == "4.0.556" and host.flashed() == ["03:00.0"], name
        # Rebooted by the handler at the end of its batch, and no longer marked.
        assert host.reboots() == 1 and not host.marker.exists(), name
        assert outcome[name]["rebooted"] is True and outcome[name]["reboot_pending"] is False
    for name in FLEET_STATES["current"] + FLEET_STATES["update recommended"]:
        assert fleet.hosts[name].flashed() == [] and fleet.hosts[name].reboots() == 0, name
        assert fleet.stats[name]["failures"] == 0, name
    assert outcome["server04"]["outcome"] == "update-recommended"
    # Flashed and left waiting: by its settings, or because its batch stopped
    # (a stopped play runs no handler). Marked on the host, named in the summary.
    for name in FLEET_STATES["reboot pending"]:
        host = fleet.hosts[name]
        assert fleet.stats[name]["failures"] == 0 and host.flashed() == ["03:00.0"], name
        assert host.reboots() == 0 and json.loads(host.marker.read_text())["ports"] == ["03:00.0"]
        assert outcome[name]["reboot_pending"] is True, name
    summary = fleet.summary()
    assert summary[0] == ("20 hosts: 2 failed, 1 unreachable, 2 reboot pending, "
                          "1 update recommended, 8 updated, 6 current, 0 not run"), summary
    assert "Flashed, reboot pending: server05; server20" in summary, summary
    assert [line for line in summary if line.startswith("Failed: server18 (")], summary
    # A failed host is not rebooted: its flashed port stays marked.
    assert fleet.stats["server18"]["failures"] == 1 and fleet.hosts["server18"].reboots() == 0
    assert json.loads(fleet.hosts["server18"].marker.read_text())["ports"] == ["03:00.1"]
    assert outcome["server19"]["outcome"] == "no-supported-port"
    assert fleet.hosts["server07"].calls() == []
    # The job's artifacts (set_stats) hold each host's outcome as it ended.
    artifacts = fleet.play("server01").custom_stats["zentavor"]
    assert artifacts["server20"]["reboot_pending"] is True and artifacts["server18"]["failed"]
    assert artifacts["server02"] == {**artifacts["server02"], "outcome": "updated",
                                     "reboot_pending": False}
    # A run is one module run on the host (the package travels with it) and
    # the log's fetch another; no facts are gathered. A reboot adds the reboot
    # module's own and the marker's removal.
    assert fleet.hosts["server03"].module_runs() <= 2, fleet.hosts["server03"].module_runs()
    assert fleet.hosts["server02"].module_runs() <= 4, fleet.hosts["server02"].module_runs()


def report_rows(fleet):
    """The report's CSV as dicts, checked for its form on the way."""
    data = (fleet.logs / "zentavor-fleet-report.csv").read_bytes()
    assert data.startswith("\ufeff".encode()) and data.endswith(b"\r\n")
    assert b"\n" not in data.replace(b"\r\n", b"")
    return list(csv.DictReader(io.StringIO(data.decode("utf-8-sig"), newline="")))


def expected_rows(fleet):
    """{(host, location): (status, fields)} from the hosts' result files."""
    expected = {}
    for state, names in FLEET_STATES.items():
        for name in names:
            document = json.loads((fleet.hosts[name].install_dir
                                   / "zentavor-result.json").read_text()) \
                if state != "unreachable" else {"ports": []}
            for entry in document["ports"] or [{"location": ""}]:
                expected[(name, entry["location"])] = (state, entry)
    return expected


def test_fleet_report_csv_has_a_row_per_host_and_port_as_the_result_files_say(fleet):
    rows = report_rows(fleet)
    assert list(rows[0]) == ["host", "status", "location", "mac", "product", "installed",
                             "available", "comparison", "decision", "result", "reason"]
    expected = expected_rows(fleet)
    assert sorted((r["host"], r["location"]) for r in rows) == sorted(expected)
    for row in rows:
        state, entry = expected[(row["host"], row["location"])]
        assert row["status"] == state, row
        if entry.get("mac"):
            assert (row["mac"], row["product"], row["installed"], row["available"],
                    row["comparison"], row["decision"] or None) == (
                entry["mac"], entry["product"], entry["installed_version"],
                entry["available_version"] or "", entry["package_is"] or "",
                entry["decision"]), row
            assert row["result"] == ((entry["flash"] or {}).get("result") or ""), row
    # Failed rows first, then unreachable and the other states needing someone.
    assert [r["status"] for r in rows[:5]] == ["failed"] * 3 + ["unreachable", "reboot pending"]
    assert "internal error code 7" in rows[0]["reason"]
    assert "flashed, reboot pending since" in rows[4]["reason"], rows[4]


def test_fleet_report_page_in_a_browser(fleet, tmp_path):
    from browser import Chromium
    page = fleet.logs / "zentavor-fleet-report.html"
    html = page.read_text()
    # Self-contained: nothing fetched from elsewhere, the markup in data shown as text.
    assert "http" not in html.replace("http-equiv", "") and "<link" not in html
    assert SCRIPT_PRODUCT not in html and html.count("<script>") == 1
    browser = Chromium(tmp_path / "profile")
    try:
        browser.load(page.as_uri())
        assert browser.console_problems() == []
        shown = browser.evaluate("""({
            title: document.title,
            scripts: document.scripts.length,
            counts: Object.fromEntries([...document.querySelectorAll('#summary .count')]
                .map(e => [e.dataset.state, Number(e.textContent)])),
            bars: document.querySelectorAll('#summary svg rect').length,
            rows: [...document.querySelectorAll('#ports tbody tr')]
                .map(r => [...r.cells].map(c => c.textContent))})""")
        browser.screenshot(tmp_path / "fleet-report.png")
        browser.click("#ports th:nth-child(5)")
        by_product = browser.evaluate(
            "[...document.querySelectorAll('#ports tbody tr')].map(r => r.cells[4].textContent)")
        browser.click("#ports th:nth-child(5)")
        by_product_down = browser.evaluate(
            "[...document.querySelectorAll('#ports tbody tr')].map(r => r.cells[4].textContent)")
        problems = browser.console_problems()
    finally:
        browser.close()
    assert problems == []
    assert shown["title"] == "Zentavor fleet report" and shown["scripts"] == 1, shown
    assert shown["counts"] == {"failed": 2, "unreachable": 1, "reboot-pending": 2,
                               "update-recommended": 1, "updated": 8, "current": 6,
                               "not-run": 0}, shown["counts"]
    assert shown["bars"] == 7
    # One row per host and port, as the CSV has them, failed first.
    assert shown["rows"] == [list(r.values()) for r in report_rows(fleet)]
    assert [r[0] for r in shown["rows"] if SCRIPT_PRODUCT in r] == ["server08"]
    # A click on a heading sorts by that column, a second click the other way.
    products = [r[4] for r in shown["rows"]]
    assert by_product == sorted(products, key=str.casefold) != products
    assert by_product_down == list(reversed(by_product))
    screenshot = (tmp_path / "fleet-report.png").read_bytes()
    assert screenshot.startswith(b"\x89PNG\r\n\x1a\n") and len(screenshot) > 10000

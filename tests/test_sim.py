"""The simulated vendor utility, driven directly as Zentavor drives it: one
process per command line, in a working directory, in both builds."""

import os
import subprocess
import time
import xml.etree.ElementTree as ElementTree

import pytest

import conftest
from sim_state import (DISCOVERY_NAME, EXIT_BAD_REPORT, EXIT_BAD_STATE, EXIT_NO_IMAGE_FILE,
                       EXIT_REFUSED, EXIT_REPORT_FOR_OTHER_IMAGE, EXIT_UNKNOWN_IMAGE, IMAGE_NAME,
                       STATE_NAME, Image, SimState, installed, port, read_calls, read_state,
                       standard_server, write_image)

DISCOVER = ["-flashsupport", "-d", IMAGE_NAME, DISCOVERY_NAME, "-p3"]


def flash(location, image=IMAGE_NAME):
    return ["-flashsupport", "-i", location, "-a", image]


class Utility:
    """One build's netscli, run in a private working directory."""

    def __init__(self, build, tmp_path):
        self.build = build
        self.program = build.program("netscli").resolve()  # runs from another directory
        self.cwd = tmp_path / "work"
        self.cwd.mkdir()
        self.env = dict(build.env)
        self.env.pop("NETSCLI_STATE", None)
        if build.windows:
            self.temp_dir = conftest._wine_session()["temp"]
        else:
            self.temp_dir = tmp_path / "tmp"
            self.temp_dir.mkdir()
            self.env["TMPDIR"] = str(self.temp_dir)
        self.lock = self.temp_dir / "netxen_lock_file"
        if self.lock.exists():
            self.lock.unlink()

    def command(self, args):
        return self.build.prefix + [str(self.program)] + list(args)

    def run(self, *args, env=None):
        return subprocess.run(self.command(args), cwd=self.cwd, env=env or self.env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)

    def start(self, *args):
        return subprocess.Popen(self.command(args), cwd=self.cwd, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def discovery(self):
        """The devices of the discovery file, as {tag: value} per device plus
        the fw_item's children under "fw_item"."""
        root = ElementTree.parse(self.cwd / DISCOVERY_NAME).getroot()
        devices = []
        for device in root.find("devices"):
            entry = {child.tag: child.get("value") for child in device if child.tag != "fw_item"}
            entry["fw_item"] = {child.tag: child.get("value") for child in device.find("fw_item")}
            devices.append(entry)
        return root, devices


@pytest.fixture(params=conftest.BUILDS)
def sim(request, tmp_path):
    build = conftest.Build(request.param)
    if not build.program("netscli").exists():
        pytest.skip(f"netscli not built in {build.bin}")
    return Utility(build, tmp_path)


def succeeds(sim, *args):
    """Runs the utility and expects success. A failure shows the call log as
    well: a call missing there ended before the simulator's own code ran (the
    process never started as a program), one logged ended inside it."""
    result = sim.run(*args)
    assert result.returncode == 0, (result, read_calls(sim.cwd))


def test_rehearsal_discover_flash_discover(sim):
    standard_server(sim.cwd)
    succeeds(sim, *DISCOVER)
    root, devices = sim.discovery()
    assert root.tag == "korvel_rom_discovery"
    assert root.find("type").get("value") == "QLOGIC_NIC"
    assert [(d["busnumber"], d["devicenumber"], d["funcnumber"], d["fw_item"]["firmware_id"])
            for d in devices] == [("03", "00", "0", "4.0.555"), ("03", "00", "1", "4.0.556"),
                                  ("04", "00", "0", "4.0.557"), ("05", "00", "0", "3.4.216")]
    assert devices[3]["venid"] == "8086" and devices[0]["macaddress"] == "00:0E:1E:03:00:00"

    succeeds(sim, *flash("03:00.0"))
    assert installed(sim.cwd)["03:00.0"] == "4.0.556"
    succeeds(sim, *DISCOVER)
    assert sim.discovery()[1][0]["fw_item"]["firmware_id"] == "4.0.556"
    # The state written back keeps every port's identity.
    assert read_state(sim.cwd).ports[3].product_id == "Other 10GbE"

    assert read_calls(sim.cwd) == [DISCOVER, flash("03:00.0"), DISCOVER]


def test_every_call_is_logged_and_only_the_four_forms_are_accepted(sim):
    standard_server(sim.cwd)
    refused = [
        [],
        [""],                                             # one empty argument
        ["-flashsupport", "-d", DISCOVERY_NAME, "-p3"],    # empty image, nothing between
        ["-flashsupport", "-i", "03:00.0", "-a"],          # empty image on a flash
        ["-flashsupport", "-x", IMAGE_NAME, DISCOVERY_NAME, "-p3"],
    ]
    for args in refused:
        assert sim.run(*args).returncode == EXIT_REFUSED, args
    # A value with blanks arrives as one argument and is logged as one.
    write_image(sim.cwd, "rom image.bin")
    state = read_state(sim.cwd)
    state.images.append(Image(file="rom image.bin", version="9.9.9"))
    state.write(sim.cwd)
    assert sim.run(*flash("03:00.1", "rom image.bin")).returncode == 0
    assert installed(sim.cwd)["03:00.1"] == "9.9.9"
    assert read_calls(sim.cwd) == refused + [flash("03:00.1", "rom image.bin")]

    (sim.cwd / STATE_NAME).unlink()
    result = sim.run(*DISCOVER)
    assert result.returncode == EXIT_BAD_STATE
    assert b"no state file" in result.stderr
    assert read_calls(sim.cwd)[-1] == DISCOVER  # logged although it could do nothing
    (sim.cwd / STATE_NAME).mkdir()  # a directory is no state file either
    assert sim.run(*DISCOVER).returncode == EXIT_BAD_STATE


def test_the_utility_is_as_strict_as_the_real_one(sim):
    standard_server(sim.cwd)
    elsewhere = "other/dir/" + IMAGE_NAME
    (sim.cwd / "other" / "dir").mkdir(parents=True)
    write_image(sim.cwd / "other" / "dir")
    # The image exactly as named, relative to the current directory: a file of
    # the same name elsewhere is not the image the state knows.
    assert sim.run(*flash("03:00.0", elsewhere)).returncode == EXIT_UNKNOWN_IMAGE
    assert sim.run(*flash("03:00.0", "./" + IMAGE_NAME)).returncode == 0

    # A report is replayed only with the image it was written for.
    state = read_state(sim.cwd)
    state.images.append(Image(file=elsewhere, version="9.9.9"))
    state.write(sim.cwd)
    assert sim.run("-flashsupport", "-d", IMAGE_NAME, "r.xml", "-p3").returncode == 0
    replay = ["-flashsupport", "-u", elsewhere, "r.xml", DISCOVERY_NAME, "-p3"]
    assert sim.run(*replay).returncode == EXIT_REPORT_FOR_OTHER_IMAGE
    assert "9.9.9" not in installed(sim.cwd).values()

    # An attribute it does not know, a misspelt fault among them, is refused.
    text = (sim.cwd / STATE_NAME).read_text().replace("<port ", '<port flashexit="3" ', 1)
    (sim.cwd / STATE_NAME).write_text(text)
    result = sim.run(*flash("03:00.1"))
    assert result.returncode == EXIT_BAD_STATE
    assert b"unknown attribute flashexit" in result.stderr


def test_state_named_by_the_environment(sim):
    server = sim.cwd / "server"
    server.mkdir()
    SimState(ports=[port("03:00.0", "1.0.0")]).write(server, "rack7.xml")
    write_image(sim.cwd)
    env = dict(sim.env, NETSCLI_STATE="server/rack7.xml")
    assert sim.run(*flash("03:00.0"), env=env).returncode == 0
    assert installed(server, "rack7.xml") == {"03:00.0": "4.0.556"}
    assert read_calls(server) == [flash("03:00.0")]
    assert not (sim.cwd / STATE_NAME).exists() and read_calls(sim.cwd) == []


def test_report_then_replay_flashes_the_older_ports(sim):
    standard_server(sim.cwd)
    report = "reports dir/server report.xml"
    (sim.cwd / "reports dir").mkdir()
    assert sim.run("-flashsupport", "-d", IMAGE_NAME, report, "-p3").returncode == 0
    marks = {p.get("location"): p.get("action")
             for p in ElementTree.parse(sim.cwd / report).getroot()}
    assert marks == {"03:00.0": "flash", "03:00.1": "keep", "04:00.0": "keep",
                     "05:00.0": "keep"}
    replay = ["-flashsupport", "-u", IMAGE_NAME, report, DISCOVERY_NAME, "-p3"]
    assert sim.run(*replay).returncode == 0
    assert installed(sim.cwd) == {"03:00.0": "4.0.556", "03:00.1": "4.0.556",
                                  "04:00.0": "4.0.557", "05:00.0": "3.4.216"}
    assert not (sim.cwd / DISCOVERY_NAME).exists()

    (sim.cwd / IMAGE_NAME).unlink()
    assert sim.run(*replay).returncode == EXIT_NO_IMAGE_FILE
    write_image(sim.cwd)
    (sim.cwd / report).write_text("<netscli_report><port")
    assert sim.run(*replay).returncode == EXIT_BAD_REPORT


@pytest.mark.parametrize("script, expect", [
    ({"output": "none"}, None),
    ({"output": "corrupt"}, "unreadable"),
    ({"type": "NETXEN_NIC"}, "NETXEN_NIC"),
    ({"replace_image": "other.bin"}, "image replaced"),
])
def test_scripted_discovery_faults(sim, script, expect):
    SimState(ports=[port("03:00.0", "4.0.555")], discovery=script).write(sim.cwd)
    write_image(sim.cwd)
    write_image(sim.cwd, "other.bin", b"someone else's bytes")
    assert sim.run(*DISCOVER).returncode == 0
    path = sim.cwd / DISCOVERY_NAME
    if expect == "image replaced":
        # After the discovery file, which is as usual.
        assert (sim.cwd / IMAGE_NAME).read_bytes() == b"someone else's bytes"
        assert sim.discovery()[1][0]["fw_item"]["firmware_id"] == "4.0.555"
        (sim.cwd / "other.bin").unlink()
        assert sim.run(*DISCOVER).returncode == EXIT_BAD_STATE
    elif expect is None:
        assert not path.exists()
    elif expect == "unreadable":
        with pytest.raises(ElementTree.ParseError):
            ElementTree.parse(path)
        assert path.read_bytes().startswith(b"<korvel_rom_discovery")
    else:
        assert sim.discovery()[0].find("type").get("value") == expect


def test_raw_discovery_and_scripted_exit_codes(sim):
    raw = b"\xff\xfe<\x00x\x00/\x00>\x00"  # handed out byte for byte
    state = SimState(ports=[port("03:00.0", "4.0.555", flash_exit=7)], raw_discovery=raw,
                     report={"exit": 3})
    state.write(sim.cwd)
    write_image(sim.cwd)
    assert sim.run(*DISCOVER).returncode == 0
    assert (sim.cwd / DISCOVERY_NAME).read_bytes() == raw
    assert sim.run(*flash("03:00.0")).returncode == 7
    assert sim.run("-flashsupport", "-d", IMAGE_NAME, "r.xml", "-p3").returncode == 3
    assert not (sim.cwd / "r.xml").exists()
    assert installed(sim.cwd) == {"03:00.0": "4.0.555"}


def test_flash_takes_its_time_and_holds_the_vendor_lock(sim):
    SimState(ports=[port("03:00.0", "4.0.555")],
             flash={"delay_ms": 3000, "hold_lock": "yes"}).write(sim.cwd)
    write_image(sim.cwd)
    child = sim.start(*flash("03:00.0"))
    seen = False
    deadline = time.monotonic() + 30
    while child.poll() is None and time.monotonic() < deadline:
        if sim.lock.exists():
            seen = True
            # Still flashing: the port has not changed yet.
            assert installed(sim.cwd) == {"03:00.0": "4.0.555"}
            break
        time.sleep(0.02)
    assert child.wait(timeout=60) == 0
    assert seen, "the lock file never appeared while the flash ran"
    assert not sim.lock.exists()
    assert installed(sim.cwd) == {"03:00.0": "4.0.556"}

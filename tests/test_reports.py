"""The report modes end to end, against the simulated vendor utility: the
discovery report (-d), its replay (-u) and the version-only report (-v <file>
with -ql, and each of them alone)."""

import re
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pytest

from sim_state import (FOREIGN_IDS, IMAGE_NAME, PACKAGE_VERSION, SimState, installed, port,
                       read_calls, standard_server, write_image, write_package)

RULE = "-" * 77
DISCOVERY = ["-flashsupport", "-d", IMAGE_NAME, "tempNicList.xml", "-p3"]
NO_ADAPTERS = "No supported network adapters for firmware upgrade.\n"


def after_banner(text):
    assert text.startswith(RULE + "\n"), text
    return text.split(RULE + "\n\n", 1)[1]


def serve(z, *ports, image=True, **state):
    write_package(z.cwd)
    if image:
        write_image(z.cwd)
    SimState(ports=list(ports), **state).write(z.cwd)


def native(z, path):
    return "Z:" + str(path).replace("/", "\\") if z.windows else str(path)


def product_version():
    text = (Path(__file__).resolve().parent.parent / "CMakeLists.txt").read_text()
    return re.search(r"project\(zentavor VERSION ([\d.]+)", text).group(1)


# -d

def test_report_replaces_an_existing_file(z):
    standard_server(z.cwd)
    z.write("report.xml", "an old report")
    r = z.run("-d", "report.xml")
    assert r.rc == 1, r
    message = "\nSuccessfully generated NIC discovery report to report.xml.\n"
    assert after_banner(r.out) == message
    assert r.log.count(message) == 1
    assert read_calls(z.cwd) == [DISCOVERY, ["-flashsupport", "-d", IMAGE_NAME, "report.xml", "-p3"]]
    report = ElementTree.parse(z.cwd / "report.xml").getroot()
    assert report.tag == "netscli_report"


def test_failed_report_leaves_no_old_one_behind(z):
    standard_server(z.cwd)
    state = SimState(ports=[port("03:00.0", "4.0.555")], report={"exit": "7"})
    state.write(z.cwd)
    z.write("report.xml", "an old report")
    r = z.run("-d", "report.xml", "-s")
    assert r.rc == 0, r
    assert r.out == ""
    assert "\nFailed to generate NIC discovery report to report.xml.\n" in r.log
    assert not (z.cwd / "report.xml").exists()


def test_failed_discovery_leaves_no_old_report_behind(z):
    standard_server(z.cwd)
    SimState(ports=[port("03:00.0", "4.0.555")], discovery={"exit": "3"}).write(z.cwd)
    z.write("report.xml", "last week's report")
    r = z.run("-d", "report.xml", "-s")
    assert r.rc == 0, r
    assert "Device discovery failed with error code 3\n" in r.log
    assert not (z.cwd / "report.xml").exists()


@pytest.mark.parametrize("old", ["directory", "read-only file"])
def test_old_report_that_cannot_be_removed_fails_before_the_utility_runs(z, old):
    if old == "read-only file" and not z.windows:
        pytest.skip("a POSIX directory that may be written lets its files be removed")
    standard_server(z.cwd)
    # The utility would end well without writing: only the old file would be there.
    SimState(ports=[port("03:00.0", "4.0.555")], report={"output": "none"}).write(z.cwd)
    path = z.cwd / "report.xml"
    if old == "directory":
        (path / "inside").mkdir(parents=True)
    else:
        path.write_text("last week's report")
        path.chmod(0o444)
    r = z.run("-d", "report.xml")
    assert r.rc == 0, r
    assert after_banner(r.out) == "\nFailed to generate NIC discovery report to report.xml.\n"
    # Said on standard error too; a folder is no file of an earlier run's and
    # is left as it is.
    said = ("Error: report.xml is not a regular file; it is left as it is, and nothing is "
            "written there.\n" if old == "directory" else
            "Error: Could not remove the file report.xml left by an earlier run (error ")
    assert said in r.log and said in r.err
    assert read_calls(z.cwd) == []
    assert path.exists()


# A path an option names (-d, -u, -v, -json) that is one of the run's own files
# (the package, the discovery file, the log, a lock) or another option's file,
# by any spelling, is refused as an option: the modes would remove or replace it.
@pytest.mark.parametrize("args", [
    ["-d", "NICFWData.xml"],
    ["-d", IMAGE_NAME],
    ["-d", "tempNicList.xml"],
    ["-d", "./NICFWData.xml"],
    ["-d", "sub/../" + IMAGE_NAME],
    ["-d", "{cwd}/tempNicList.xml"],
    ["-d", "nicfwdata.XML"],
    ["-ql", "-v", "NICFWData.xml"],
    ["-s", "-v", IMAGE_NAME],
    ["-n", "-json", "{log}"],
    ["-n", "-json", "{vendor_lock}"],
    ["-n", "-json", "{instance_lock}"],
    ["-s", "-d", "new.xml", "-json", "new.xml"],
    ["-s", "-u", "approved.xml", "-json", "approved.xml"],
    ["-ql", "-v", "v.xml", "-JSON", "./v.xml"],
    ["-n", "-json", ""],
    ["-d", ""],
    ["-n", "-json", "NICFWData.xml::$DATA"],
    ["-n", "-json", "NICFWData.xml. "],
])
def test_option_path_that_names_a_file_of_the_run_is_refused(z, args):
    if "{instance_lock}" in args and z.windows:
        pytest.skip("the Windows build's lock is a named mutex, no file")
    standard_server(z.cwd)
    (z.cwd / "sub").mkdir()
    z.write("approved.xml", "<report/>")
    z.run("-n")  # a log with history
    protected = [z.cwd / name for name in ("NICFWData.xml", IMAGE_NAME, "approved.xml")]
    before = {path: path.read_bytes() for path in protected}
    history = z.log_bytes()
    lock_dir = getattr(z, "lock_dir", z.root)
    places = {"cwd": native(z, z.cwd), "vendor_lock": native(z, z.lock_path),
              "instance_lock": native(z, lock_dir / "zentavor.lock"),
              "log": "C:\\tavensystem\\log\\zentavor.log" if z.windows else str(z.log_path)}
    args = [a.format(**places) for a in args]
    calls = len(read_calls(z.cwd))
    r = z.run(*args)
    assert {path: path.read_bytes() for path in protected} == before
    assert z.log_bytes().startswith(history)
    if args[1] == "nicfwdata.XML" and not z.windows:
        assert r.rc == 1, r  # another file on POSIX, where letter case tells names apart
        return
    if args[-1].endswith(("::$DATA", ". ")) and not z.windows:
        assert r.rc == 4 and r.document is not None, r  # ordinary names on POSIX
        return
    assert r.rc == 0, r
    assert "USAGE: " in r.log
    assert "Upgrade completed" not in r.log
    assert len(read_calls(z.cwd)) == calls
    assert r.document is None and not z.lock_path.exists()
    assert not (z.cwd / "new.xml").exists() and not (z.cwd / "v.xml").exists()


def test_report_the_utility_never_wrote_is_a_failure(z):
    standard_server(z.cwd)
    state = SimState(ports=[port("03:00.0", "4.0.555")], report={"output": "none"})
    state.write(z.cwd)
    z.write("report.xml", "an old report")
    r = z.run("-d", "report.xml")
    assert r.rc == 0, r
    assert after_banner(r.out) == "\nFailed to generate NIC discovery report to report.xml.\n"
    assert "Error: The vendor utility ended without writing report.xml.\n" in r.log
    assert "Successfully" not in r.log
    assert not (z.cwd / "report.xml").exists()


def test_report_path_with_a_blank_reaches_the_utility_whole(z):
    standard_server(z.cwd)
    r = z.run("-d", "my report.xml")
    assert r.rc == 1, r
    assert read_calls(z.cwd)[-1] == ["-flashsupport", "-d", IMAGE_NAME, "my report.xml", "-p3"]
    r = z.run("-u", "my report.xml")
    assert r.rc == 2, r


# -u

def test_replay_of_a_report_flashes_what_it_marks(z):
    older, same, newer, _ = standard_server(z.cwd).ports
    assert z.run("-d", "report.xml").rc == 1
    r = z.run("-u", "report.xml")
    assert r.rc == 2, r
    assert after_banner(r.out) == "\nNIC firmware update complete.\n"
    assert read_calls(z.cwd)[-1] == ["-flashsupport", "-u", IMAGE_NAME, "report.xml",
                                     "tempNicList.xml", "-p3"]
    # No discovery and no question: the utility applies the report itself.
    assert "Found " not in r.log
    assert len(read_calls(z.cwd)) == 3
    now = installed(z.cwd)
    assert (now[older.location], now[same.location], now[newer.location]) == (
        PACKAGE_VERSION, PACKAGE_VERSION, newer.firmware_id)


@pytest.mark.parametrize("utility_exit, code, message", [
    ("5", 3, "\nNo firmware is selected for update.\n"),
    ("7", 0, "Error: Failed to process discovery file report.xml.\n"),
    (None, 0, "Error: Failed to process discovery file report.xml.\n"),  # no utility
])
def test_replay_that_the_utility_does_not_complete(z, utility_exit, code, message):
    serve(z, port("03:00.0", "4.0.555"), replay={"exit": utility_exit or "0"})
    if utility_exit is None:
        z.remove("netscli")
    z.write("report.xml", "<netscli_report/>")
    r = z.run("-u", "report.xml")
    assert r.rc == code, r
    assert after_banner(r.out) == message
    assert r.log.endswith(message + r.log[r.log.rindex("Upgrade completed: "):])
    assert installed(z.cwd) == {"03:00.0": "4.0.555"}


def test_replay_without_the_report_says_so_only_in_the_log(z):
    serve(z, port("03:00.0", "4.0.555"))
    r = z.run("-u", "missing.xml")
    assert r.rc == 0, r
    assert after_banner(r.out) == ""
    assert "Error: Discovery file missing.xml not found!.\n" in r.log
    assert read_calls(z.cwd) == []


def test_replay_without_the_image_runs_no_utility(z):
    serve(z, port("03:00.0", "4.0.555"), image=False)
    z.write("report.xml", "<netscli_report/>")
    r = z.run("-u", "report.xml", "-ql", "-y")  # -u wins over -ql
    assert r.rc == 3, r
    assert after_banner(r.out) == NO_ADAPTERS
    assert f"Warning: Could not find firmware file {IMAGE_NAME}!\n" + NO_ADAPTERS in r.log
    assert read_calls(z.cwd) == []


# -ql and -v

def version_only_file(current, package=PACKAGE_VERSION):
    return ("\ufeff<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            f"<korvel_rom_discovery version=\"{product_version()}\">\n"
            "\t<type value=\"QLOGIC_NIC\"/>\n"
            "\t<alt_name value=\"Zentavor\"/>\n"
            f"\t<current_version value=\"{current}\"/>\n"
            f"\t<package_version value=\"{package}\"/>\n"
            "\t<takes_effect value=\"reboot\"/>\n"
            "</korvel_rom_discovery>\n")


@pytest.mark.parametrize("args", [["-v", "versions.xml", "-ql"], ["-ql", "-s", "-v", "versions.xml"]])
def test_version_report_of_the_file_that_discovery_writes(z, args):
    serve(z, port("03:00.0", "4.0.555"), port("03:00.1", "4.0.554"))
    z.write("versions.xml", "from an earlier run")
    r = z.run(*args)
    assert r.rc == 0, r
    message = "Created file versions.xml with only firmware version details.\n"
    if "-s" in args:
        assert r.out == ""
    else:
        assert after_banner(r.out) == message
    assert message in r.log
    text = (z.cwd / "versions.xml").read_bytes().decode("utf-8").replace("\r\n", "\n")
    assert text == version_only_file("4.0.554")
    assert read_calls(z.cwd) == [DISCOVERY]


def test_version_report_is_about_the_served_port_not_an_adapter_after_it(z):
    serve(z, port("03:00.0", "4.0.555"), port("05:00.0", "1.2.3", ids=FOREIGN_IDS))
    r = z.run("-v", "versions.xml", "-ql", "-s")
    assert r.rc == 0, r
    text = (z.cwd / "versions.xml").read_bytes().decode("utf-8").replace("\r\n", "\n")
    assert text == version_only_file("4.0.555")


def test_version_report_never_passes_off_a_file_from_an_earlier_run(z):
    # The port is taken, but the reading stops at the second port's firmware item
    # before the version-only file would be written.
    serve(z, port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555", fw_type="pxe"))
    z.write("versions.xml", "from an earlier run")
    r = z.run("-v", "versions.xml", "-ql")
    assert r.rc == 1, r
    assert after_banner(r.out) == (
        "Failed to create file versions.xml with only firmware version details!\n")
    assert not (z.cwd / "versions.xml").exists()


def test_version_report_never_passes_off_what_it_cannot_remove(z):
    serve(z, port("03:00.0", "4.0.555"))
    (z.cwd / "versions.xml").mkdir()
    r = z.run("-v", "versions.xml", "-ql")
    assert r.rc == 1, r
    assert after_banner(r.out) == (
        "Failed to create file versions.xml with only firmware version details!\n")
    said = ("Error: versions.xml is not a regular file; it is left as it is, and nothing is "
            "written there.\n")
    assert said in r.log and said in r.err
    assert (z.cwd / "versions.xml").is_dir()


def test_version_report_alone_has_no_file_to_report(z):
    serve(z, port("03:00.0", "4.0.555"))
    r = z.run("-ql")
    assert r.rc == 1, r
    assert after_banner(r.out) == "Failed to create file  with only firmware version details!\n"


def test_version_report_without_a_supported_port(z):
    serve(z, port("05:00.0", "4.0.555", ids=FOREIGN_IDS))
    r = z.run("-v", "versions.xml", "-ql")
    assert r.rc == 4, r
    assert after_banner(r.out) == NO_ADAPTERS
    # No version of an adapter the package does not serve is reported as if it were.
    assert not (z.cwd / "versions.xml").exists()


def test_verify_alone_runs_no_discovery_and_writes_no_file(z):
    serve(z, port("03:00.0", "4.0.555"))
    r = z.run("-v", "versions.xml")
    assert r.rc == 0, r
    assert after_banner(r.out) == ""
    assert read_calls(z.cwd) == []
    assert not (z.cwd / "versions.xml").exists()

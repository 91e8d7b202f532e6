"""Names and texts outside the Windows ANSI code page (1252 here), end to end:
in arguments, the temporary directory, the package folder, the descriptor and
the discovery data. Both builds treat every name as the user wrote it, and the
log and redirected output are UTF-8 throughout."""

import json
import shutil
import subprocess
from pathlib import Path

import pytest

from conftest import Result
from sim_state import (IMAGE_NAME, Image, Kind, SimState, installed, package_xml, port,
                       read_calls, write_image, write_package)
from test_shell import product_version

DISCOVERY = ["-flashsupport", "-d", IMAGE_NAME, "tempNicList.xml", "-p3"]
STALE_LOCK = "Warning: last session did not close gracefully.  Clearing lock.\n"


def outdated_server(z, product="NX3031 Dual Port 10GbE", image=IMAGE_NAME):
    write_package(z.cwd, [Kind(fwFile=image)])
    write_image(z.cwd, image)
    SimState(ports=[port("03:00.0", "4.0.555", product_id=product)],
             images=[Image(file=image)]).write(z.cwd)


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def run_with_temp_directory(z, temp, *args):
    """Runs the Windows program with its temporary directory at temp. Wine takes
    TMP and TEMP from its own registry, not from the Unix environment, so they
    are set through cmd."""
    native = windows_path(temp)
    # Wine's cmd does not take a quoted program after "&&"; the test's paths
    # hold no blank.
    line = f"set TMP={native}&& set TEMP={native}&& {windows_path(z.program)} " + " ".join(args)
    before = z.log_bytes()
    completed = subprocess.run(["wine", "cmd", "/c", line], cwd=z.cwd, env=z.env,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    return Result(completed, before, z.log_bytes())


def test_vendor_lock_in_a_temporary_directory_outside_the_code_page_is_seen(z):
    if not z.windows:
        pytest.skip("a POSIX directory name is bytes; no code page stands between")
    outdated_server(z)
    temp = z.root / "Łukasz" / "Temp"
    temp.mkdir(parents=True)
    lock = temp / "netxen_lock_file"
    lock.write_text("stale")
    r = run_with_temp_directory(z, temp, "-n")
    assert r.rc == 4, r
    assert STALE_LOCK in r.log
    assert not lock.exists()


# Ł and ź lie outside code page 1252 (a best-fit mapping turns them into L and
# z), the fullwidth reverse solidus and quotation mark would become a real path
# separator and a real quote, and CJK text has no place in it at all.
REPORT_NAMES = [
    ("Łódź.xml", "Lódz.xml"),
    ("ａ＂ｂ＂.xml", 'a"b".xml'),
    ("ｄｉｒ＼report.xml", None),
    ("报告.xml", "??.xml"),
    # 107 characters, 307 bytes of UTF-8: within the 259 characters of a path.
    ("/".join(["报告" * 15] * 3 + ["报告" * 5 + ".xml"]), None),
]


@pytest.mark.parametrize("name, look_alike", REPORT_NAMES)
def test_report_is_written_under_the_name_given(z, name, look_alike):
    outdated_server(z)
    (z.cwd / name).parent.mkdir(parents=True, exist_ok=True)
    decoy = None
    if look_alike and '"' not in look_alike and "?" not in look_alike:
        decoy = z.write(look_alike, "an unrelated file")
    r = z.run("-d", name)
    assert r.rc == 1, r
    message = f"\nSuccessfully generated NIC discovery report to {name}.\n"
    assert r.out.endswith(message)
    assert (z.cwd / name).read_bytes().startswith(b"\xef\xbb\xbf<?xml")
    assert read_calls(z.cwd) == [DISCOVERY, ["-flashsupport", "-d", IMAGE_NAME, name, "-p3"]]
    if decoy:
        assert decoy.read_text() == "an unrelated file"
    # The log holds the name in UTF-8, in the command-line echo as in the messages.
    assert f"\t{z.echoed_program()} -d {name} \n" in r.log
    assert message in r.log


def test_image_named_outside_ascii_is_flashed(z):
    outdated_server(z, image="p3p_röm.bin")
    r = z.run("-s")
    assert r.rc == 2, r
    assert installed(z.cwd) == {"03:00.0": "4.0.556"}
    assert read_calls(z.cwd)[-1] == ["-flashsupport", "-i", "03:00.0", "-a", "p3p_röm.bin"]
    assert "netscli -flashsupport -i 03:00.0 -a p3p_röm.bin\n" in r.log


def test_program_in_a_folder_outside_the_code_page(z):
    package = z.root / "Pakiet Łódź"
    package.mkdir()
    for stem in ("zentavor", "netscli"):
        shutil.copy2(z.build.program(stem), package / (stem + z.build.suffix))
    z.cwd = package
    outdated_server(z)
    r = z.run("-n", program=package / ("zentavor" + z.build.suffix))
    assert r.rc == 4, r
    # The version comes from the program's own file, found by its real path.
    assert r.out.splitlines()[1] == f"Zentavor ({product_version()})"


def test_log_and_redirected_output_are_utf8_throughout(z):
    outdated_server(z, product="Carte réseau 10GbE")
    shown = z.run("-c")
    assert shown.rc == 0, shown
    assert "Carte réseau 10GbE".encode() in shown.out_raw
    reported = z.run("-s", "-d", "Łódź.xml")
    assert reported.rc == 1, reported
    # ASCII output keeps every byte; the rest is UTF-8, in the log as on the console.
    log = z.log_bytes().decode("utf-8").replace("\r\n", "\n")
    assert "Carte réseau 10GbE" in log
    assert f"\t{z.echoed_program()} -s -d Łódź.xml \n" in log


# Every spelling of a package file outside ASCII is that file: letter case
# beyond ASCII, the absolute path through a folder outside the code page. None
# may be named as an output path.
@pytest.mark.parametrize("args", [
    ["-n", "-json", "{folder}\\NICFWData.xml"],
    ["-n", "-json", "P3P_RÖM.BIN"],
    ["-d", "P3P_RÖM.BIN"],
    ["-ql", "-v", "{folder}\\p3p_röm.bin"],
])
def test_no_spelling_of_a_package_file_outside_ascii_passes_the_guard(z, args):
    if not z.windows:
        pytest.skip("letter case beyond ASCII names another file on POSIX")
    z.cwd = z.root / "Mise à jour"
    z.cwd.mkdir()
    outdated_server(z, image="p3p_röm.bin")
    package = {name: (z.cwd / name).read_bytes() for name in ("NICFWData.xml", "p3p_röm.bin")}
    r = z.run(*[a.format(folder=windows_path(z.cwd)) for a in args])
    assert r.rc == 0 and "USAGE: " in r.out, r
    assert {name: (z.cwd / name).read_bytes() for name in package} == package
    assert read_calls(z.cwd) == []


SIMULATED_DISCOVERY = Path(__file__).parent.parent / "fuzz" / "corpus" / "discovery_file" / "simulator.xml"


@pytest.mark.parametrize("declaration", ['<?xml version="1.0" encoding="windows-1252"?>\n', ""],
                         ids=["declared", "undeclared"])
def test_files_saved_in_code_page_1252_read_as_utf8_everywhere(z, declaration):
    """A descriptor and a discovery file saved by an editor "in ANSI": the log,
    standard error and the result file all hold their names in UTF-8, and the
    image is still found and flashed."""
    image = "p3p_röm.bin"
    descriptor = package_xml([Kind(fwFile=image)]).split("\n", 1)[1]
    z.write("NICFWData.xml", declaration + descriptor, encoding="cp1252")
    write_image(z.cwd, image)
    discovery = SIMULATED_DISCOVERY.read_bytes()[1:].decode("utf-8-sig").split("\n", 1)[1]
    discovery = declaration + discovery.replace("NX3031 Dual Port 10GbE", "Carte réseau 10GbE")
    server = SimState(ports=[port("03:00.0", "4.0.555", flash_exit="3")], images=[Image(file=image)],
                      raw_discovery=discovery.encode("cp1252"))
    server.write(z.cwd)
    flash = ["-flashsupport", "-i", "03:00.0", "-a", image]

    failed = z.run("-s", "-json", "result.json")
    assert failed.rc == 0, failed
    assert read_calls(z.cwd)[-1] == flash
    assert f"netscli -flashsupport -i 03:00.0 -a {image}\n" in failed.log
    assert "Found Carte réseau 10GbE MAC: " in failed.log
    assert f"-a {image}" in failed.err
    assert f"-a {image}" in failed.document["reason"]
    assert failed.document["ports"][0]["product"] == "Carte réseau 10GbE"

    server.ports[0].flash_exit = None
    server.write(z.cwd)
    flashed = z.run("-s")
    assert flashed.rc == 2, flashed
    assert read_calls(z.cwd)[-1] == flash
    assert installed(z.cwd) == {"03:00.0": "4.0.556"}


def spawn_with_code_units(z, *args):
    """Runs the Windows program through a Windows parent that hands it UTF-16
    arguments, where "{U+XXXX}" stands for that one code unit."""
    helper = z.install("testchild")
    before = z.log_bytes()
    completed = subprocess.run(z.command(helper, "spawn", windows_path(z.program), *args),
                               cwd=z.cwd, env=z.env, stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=120)
    return Result(completed, before, z.log_bytes())


@pytest.mark.parametrize("args, result_file", [
    (["-d", "r{U+D800}.xml"], None),
    (["-v", "v{U+DC00}.xml", "-s"], None),
    (["-json", "r{U+D83D}.json", "-c"], None),
    (["-json", "r.json", "-ql", "-v", "{U+DE00}v.xml"], "r.json"),
])
def test_argument_with_an_unpaired_surrogate_is_refused(z, args, result_file):
    if not z.windows:
        pytest.skip("POSIX arguments are bytes, and every byte string names a file")
    outdated_server(z)
    before = set(z.cwd.iterdir())
    r = spawn_with_code_units(z, *args)
    assert r.rc == 0, r
    assert "USAGE: zentavor " in r.out
    # Nothing ran, and nothing was written under a look-alike name.
    assert read_calls(z.cwd) == []
    made = {path.name for path in set(z.cwd.iterdir()) - before}
    assert made == ({result_file} if result_file else set()), made
    if result_file:
        document = json.loads((z.cwd / result_file).read_text(encoding="utf-8"))
        assert (document["exit_code"], document["outcome"]) == (0, "refused")
    # The log shows the argument, the unit that has no UTF-8 form as U+FFFD.
    assert "\ufffd" in r.log

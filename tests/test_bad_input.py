"""What the program reads, at its worst: the package descriptor and the discovery
file damaged, foreign-encoded, nested without end or 100 MB long; IDs out of
range; names and values of thousands of characters; arguments of 10,000
characters; answers too long or cut off; an image file named with blanks and
quotes. Each case has the outcome it must have: the message where there is one,
the exit code, no crash, and nothing half done reported as success."""

import hashlib
import random
import re
from pathlib import Path

import pytest

from sim_state import (IMAGE_BYTES, IMAGE_NAME, PACKAGE_VERSION, Image, Kind, SimState,
                       flashed_locations, installed, package_xml, port, read_calls, write_image,
                       write_package)

DISCOVER = ["-flashsupport", "-d", IMAGE_NAME, "tempNicList.xml", "-p3"]
MB = 1024 * 1024
P3P_KEY = "4040-0100-4040-0124"
SIMULATED_DISCOVERY = (Path(__file__).parent / ".." / "fuzz" / "corpus" / "discovery_file"
                       / "simulator.xml").resolve()


def outdated_port(z, descriptor=None, raw_discovery=None, **kinds):
    """A server with one port older than the package, which a silent run flashes
    when everything it reads is sound."""
    write_package(z.cwd, **kinds)
    if descriptor is not None:
        z.write("NICFWData.xml", descriptor)
    write_image(z.cwd)
    p = port("03:00.0", "4.0.555")
    SimState(ports=[p], raw_discovery=raw_discovery).write(z.cwd)
    return p


def refused_code(r, name):
    """The XML error code with which the file was refused (the log says it)."""
    match = re.search(rf"Loading configuration file {name} failed\. Error code: (\d+)\.\n", r.log)
    assert match, r.log
    return int(match.group(1))


def assert_nothing_done(z, r):
    """A silent run that found nothing it may flash: exit code 0, nothing on the
    console, no flash, the discovery file gone."""
    assert r.rc == 0, r
    assert r.out == ""
    assert "Device discovery failed with error code " in r.log
    assert r.log.endswith("Exiting with code 0\n")
    assert flashed_locations(z.cwd) == []
    assert installed(z.cwd) == {"03:00.0": "4.0.555"}
    assert not (z.cwd / "tempNicList.xml").exists()


def assert_flashed(z, r):
    assert r.rc == 2, r
    assert "\nNIC firmware update complete.\n" in r.log
    assert flashed_locations(z.cwd) == ["03:00.0"]
    assert installed(z.cwd) == {"03:00.0": PACKAGE_VERSION}


def binary_bytes():
    generator = random.Random(20261208)
    return bytes(generator.randrange(256) for _ in range(4096))


def simulated_discovery():
    """The discovery file the simulator writes for the outdated port (seed of
    the discovery fuzz target, after its flag byte)."""
    return SIMULATED_DISCOVERY.read_bytes()[1:]


def truncated(data):
    return data[:len(data) // 2]


def deeply_nested(root, element, depth=100000):
    return (f"<{root}>" + f"<{element}>" * depth + f"</{element}>" * depth
            + f"</{root}>").encode()


# The package descriptor and the discovery file, each damaged in every way the
# XML reader can meet. A refused file leaves every port unsupported.

def package_text():
    return package_xml()


DAMAGED = {
    "empty": lambda text, root, element: b"",
    "truncated": lambda text, root, element: truncated(text.encode()),
    "binary": lambda text, root, element: binary_bytes(),
    "UTF-16 big-endian without mark": lambda text, root, element: text.encode("utf-16-be"),
    "deeply nested": lambda text, root, element: deeply_nested(root, element),
}
# XML error codes: 3 no data, 1 an end tag missing (a warning, which counts as
# failure), 11 the first tag not found, 17 nesting too deep. Random bytes are
# refused on both builds, but the Windows runtime takes this sample for 16-bit
# text and fails its conversion (14), so only the refusal is checked there.
EXPECTED_CODE = {"empty": 3, "truncated": 1, "binary": None,
                 "UTF-16 big-endian without mark": 11, "deeply nested": 17}

READABLE = {
    # Saved by an editor in Windows-1252: an accented letter ending a product
    # name is one byte that UTF-8 reads as the start of a three-byte character.
    "Windows-1252 with an accented name":
        lambda text: re.sub(r'(NX3031[^"]*)"', '\\1\u00e9"', text).encode("cp1252"),
    # A processing instruction without data, inside the document element.
    "processing instruction without data":
        lambda text: re.sub(r"(<(nic_fw_package|korvel_rom_discovery)[^>]*>)", r"\1<?edited?>",
                            text).encode(),
    "UTF-16 little-endian with mark": lambda text: b"\xff\xfe" + text.encode("utf-16-le"),
    "UTF-16 little-endian without mark": lambda text: text.encode("utf-16-le"),
    "UTF-16 big-endian with mark": lambda text: b"\xfe\xff" + text.encode("utf-16-be"),
    "UTF-8 with mark": lambda text: b"\xef\xbb\xbf" + text.encode(),
}


@pytest.mark.parametrize("damage", DAMAGED)
def test_damaged_descriptor_serves_no_port(z, damage):
    outdated_port(z, descriptor=DAMAGED[damage](package_text(), "nic_fw_package", "nic"))
    r = z.run("-s")
    code = refused_code(r, "NICFWData.xml")
    assert code == EXPECTED_CODE[damage] or (EXPECTED_CODE[damage] is None and code != 0)
    # Without a descriptor there is no image to name: the utility is asked with
    # an empty one and refuses.
    assert "Warning: Could not find firmware file !\n" in r.log
    assert read_calls(z.cwd) == [["-flashsupport", "-d", "tempNicList.xml", "-p3"]]
    assert_nothing_done(z, r)


@pytest.mark.parametrize("damage", DAMAGED)
def test_damaged_discovery_file_yields_no_port(z, damage):
    text = simulated_discovery().decode("utf-8-sig")
    outdated_port(z, raw_discovery=DAMAGED[damage](text, "korvel_rom_discovery", "device"))
    r = z.run("-s")
    code = refused_code(r, "tempNicList.xml")
    assert code == EXPECTED_CODE[damage] or (EXPECTED_CODE[damage] is None and code != 0)
    assert "Could not generate discovery file." not in r.log
    assert "Device discovery failed with error code 0\n" in r.log
    assert_nothing_done(z, r)


def test_a_directory_named_as_the_descriptor_is_not_read(z):
    # Refused as Windows refuses to open a directory: the load fails with "file not
    # found", and no port is served.
    outdated_port(z)
    (z.cwd / "NICFWData.xml").unlink()
    (z.cwd / "NICFWData.xml").mkdir()
    r = z.run("-c")
    assert r.rc == 2, r
    assert refused_code(r, "NICFWData.xml") == 10
    assert "An unexpected error" not in r.out
    assert r.log.endswith("Exiting with code 2\n")


@pytest.mark.parametrize("encoding", READABLE)
def test_foreign_encodings_are_read(z, encoding):
    text = simulated_discovery().decode("utf-8-sig")
    outdated_port(z, descriptor=READABLE[encoding](package_text()),
                  raw_discovery=READABLE[encoding](text))
    r = z.run("-s")
    assert "Loading configuration file" not in r.log
    assert_flashed(z, r)


@pytest.mark.parametrize("which", ["descriptor", "discovery file"])
def test_hundred_megabyte_files_are_read_whole(z, which):
    # Generated here, never kept: what makes them big (a comment in the
    # descriptor, an element the reader skips in the discovery file) comes
    # before the end, so the whole file must be read to find the root's end tag.
    if which == "descriptor":
        descriptor = package_text().replace(
            "</nic_fw_package>", "<!--" + "x" * (100 * MB) + "-->\n</nic_fw_package>").encode()
        outdated_port(z, descriptor=descriptor)
    else:
        discovery = simulated_discovery().replace(
            b"</devices>", b"</devices><padding>" + b"y" * (100 * MB) + b"</padding>")
        outdated_port(z, raw_discovery=discovery)
    r = z.run("-s", timeout=300)
    assert "Loading configuration file" not in r.log
    assert_flashed(z, r)


# IDs out of range.

@pytest.mark.parametrize("value", ["80000000", "FFFFFFFF", "100000000", "-80000001", "4040 "])
def test_discovered_id_out_of_range_is_a_warning_and_no_port(z, value):
    write_package(z.cwd)
    write_image(z.cwd)
    # The vendor ID reads as 0, so the port's key is one the package does not serve.
    SimState(ports=[port("03:00.0", "4.0.555", ids=(value, "0100", "4040", "0124"))]).write(z.cwd)
    r = z.run("-s")
    assert "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.\n" in r.log
    assert ("NIC with PCI ID 0000-0100-4040-0124 is not identified as a supported QLogic P3P "
            "NIC.\n") in r.log
    assert_nothing_done(z, r)


@pytest.mark.parametrize("venid, note", [
    ("04040", "five digits: a key that no discovered port can have"),
    ("4" * 300, "a key too long for its buffer: the kind is left out"),
])
def test_package_id_out_of_range_serves_nothing(z, venid, note):
    outdated_port(z, kinds=[Kind(venid=venid)])
    r = z.run("-s")
    if len(venid) > 255:
        assert ("Warning: adapter kind 'NX3031 P3P' in NICFWData.xml skipped: its PCI IDs are "
                "too long for a package key.\n") in r.log, note
    assert f"NIC with PCI ID {P3P_KEY} is not identified" in r.log
    assert_nothing_done(z, r)


# Names and values of thousands of characters.

def test_values_of_thousands_of_characters_are_kept_whole(z):
    write_package(z.cwd)
    write_image(z.cwd)
    long_port = port("03:00.0", "4.0.555", name="eth-" + "i" * 5000,
                     product_id="P" * 4000 + " %s%n%d", message="m" * 8000,
                     action="update" * 1000)
    long_port.macaddress = "M" * 3000
    long_port.busnumber = "0" * 2000 + "3"
    SimState(ports=[long_port]).write(z.cwd)
    r = z.run("-c")
    assert r.rc == 0, r
    # Printed in full, as text and never as a format.
    assert f"{long_port.macaddress}    {long_port.location}     {P3P_KEY}     " \
           f"{long_port.product_id}\n" in r.out
    assert r.out.endswith(f"ROM       4.0.555      ROM       {PACKAGE_VERSION}  "
                          f"{long_port.device_id}\n")

    r = z.run("-s")
    assert r.rc == 2, r
    # The 2001-character bus number reaches the utility whole and finds the port.
    assert flashed_locations(z.cwd) == [long_port.location]
    assert f"MAC {long_port.macaddress} upgrade SUCCESS!\n" in r.log


def test_long_question_is_asked_whole(z):
    write_package(z.cwd)
    write_image(z.cwd)
    p = port("03:00.0", "4.0.555", name="eth-" + "q" * 3000)
    SimState(ports=[p]).write(z.cwd)
    r = z.run(input="y\n")
    assert r.rc == 2, r
    assert (f"Update firmware on '{p.device_id}' ({p.location}) : \nFrom ROM 4.0.555 to "
            f"{PACKAGE_VERSION}?  y/n/q/c (y):") in r.out


def test_version_texts_of_thousands_of_characters(z):
    # Parts after the third are not read, however long.
    outdated_port(z, kinds=[Kind(rom="4.0.556." + "9" * 5000)])
    SimState(ports=[port("03:00.0", "4.0.555." + "7" * 5000)]).write(z.cwd)
    r = z.run("-n")
    assert r.rc == 4, r
    assert "\nNIC firmware update is recommended.\n" in r.out
    r = z.run("-c")
    assert r.out.endswith(f"ROM       4.0.555      ROM       {PACKAGE_VERSION}  eth24\n"), r.out


def test_names_of_thousands_of_characters_are_skipped(z):
    descriptor = package_text().replace(
        "<nic name=\"P3P family\">",
        f"<{'e' * 5000} {'a' * 5000}=\"{'v' * 5000}\"/><nic name=\"P3P family\" "
        f"{'b' * 5000}=\"x\">")
    discovery = simulated_discovery().replace(
        b"<devices>", b"<devices><" + b"d" * 5000 + b"/>").replace(
        b"<fw_item>", b"<fw_item><" + b"f" * 5000 + b" " + b"g" * 5000 + b"=\"1\"/>")
    outdated_port(z, descriptor=descriptor, raw_discovery=discovery)
    assert_flashed(z, z.run("-s"))


# Arguments of 10,000 characters.

LONG = "z" * 10000


@pytest.mark.parametrize("args", [
    ["-d", LONG],
    ["-v", LONG, "-ql"],
    ["-" + LONG],
    [LONG, "-s"],
])
def test_long_arguments_are_refused_with_the_usage_text(z, args):
    outdated_port(z)
    r = z.run(*args)
    assert r.rc == 0, r
    assert "USAGE: zentavor " in r.out
    # The echo keeps the argument whole; nothing ran.
    assert "".join(f"{a} " for a in args) + "\n" in r.log
    assert "Upgrade completed" not in r.log
    assert read_calls(z.cwd) == []


def test_long_argument_carrying_the_ignored_option_is_accepted(z):
    outdated_port(z)
    accepted = "x" * 5000 + "-no_overwrite" + "x" * 5000
    r = z.run(accepted, "-n")
    assert r.rc == 4, r
    assert f" {accepted} -n \n" in r.log


# Answers of 200 characters and answers cut off by the end of input.

def two_ports(z):
    write_package(z.cwd)
    write_image(z.cwd)
    first, second = port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")
    SimState(ports=[first, second]).write(z.cwd)
    return first, second


@pytest.mark.parametrize("typed, flashed, code", [
    # 79 characters answer the first question; the rest of the line the second.
    ("n" * 79 + "y\n", ["03:00.1"], 2),
    ("y" * 200 + "\n", [], 3),
    ("q" * 200 + "\n", [], 3),
])
def test_long_answers_are_read_79_characters_at_a_time(z, typed, flashed, code):
    two_ports(z)
    r = z.run(input=typed)
    assert r.rc == code, r
    assert flashed_locations(z.cwd) == flashed
    first_piece = typed[:79]
    assert "(y):" + first_piece in r.log
    assert "Firmware upgrade cancelled" not in r.log


@pytest.mark.parametrize("typed, flashed, code, input_ran_out", [
    ("y\n", ["03:00.0"], 2, True),    # the second question meets the end of input
    ("n\ny", ["03:00.1"], 2, False),  # the last answer has no line end
    ("", [], 3, True),
])
def test_answers_cut_off_by_the_end_of_input(z, typed, flashed, code, input_ran_out):
    two_ports(z)
    r = z.run(input=typed)
    assert r.rc == code, r
    assert flashed_locations(z.cwd) == flashed
    assert ("Unknown input problem!\nQuit...\n" in r.out) == input_ran_out


# Lines typed at a Windows terminal, or written there, end in CR LF: the CR
# belongs to the line end in both builds.
@pytest.mark.parametrize("typed, flashed, code", [
    ("n\r\ny\r\n", ["03:00.1"], 2),
    ("\r\nn\r\n", ["03:00.0"], 2),  # the first takes its default, yes
    ("q\r\n", [], 3),
])
def test_answers_ending_in_cr_lf(z, typed, flashed, code):
    two_ports(z)
    r = z.run(input=typed)
    assert r.rc == code, r
    assert flashed_locations(z.cwd) == flashed
    assert "Unknown input problem!" not in r.out


# A firmware image named with blanks and quotes.

@pytest.mark.parametrize("image", ["p3p rom.bin", "o'brien's rom.bin", 'the "new" rom.bin',
                                   '  "  leading.bin'])
def test_image_name_with_blanks_and_quotes_reaches_the_utility_as_one_argument(z, image):
    write_package(z.cwd, [Kind(fwFile=image)])
    write_image(z.cwd, image)
    SimState(ports=[port("03:00.0", "4.0.555")], images=[Image(file=image)]).write(z.cwd)
    r = z.run("-s")
    assert read_calls(z.cwd) == [["-flashsupport", "-d", image, "tempNicList.xml", "-p3"],
                                 ["-flashsupport", "-i", "03:00.0", "-a", image]]
    if z.windows and '"' in image:
        # No Windows file name holds a double quote: the utility cannot open the
        # image, and the run says the flash failed.
        assert r.rc == 0, r
        assert "Command to upgrade firmware failed with internal error code 12\n" in r.log
        assert installed(z.cwd) == {"03:00.0": "4.0.555"}
    else:
        assert_flashed(z, r)


def test_location_with_blanks_and_quotes_cannot_smuggle_arguments(z):
    # The discovery file's bus number is the utility's own text, but it must
    # still arrive as the one location argument, never as options of its own.
    write_package(z.cwd)
    write_image(z.cwd)
    p = port("03:00.0", "4.0.555")
    p.busnumber = '03 -a "other.bin" -i'
    SimState(ports=[p]).write(z.cwd)
    r = z.run("-s")
    assert read_calls(z.cwd)[1] == ["-flashsupport", "-i", p.location, "-a", IMAGE_NAME]
    assert r.rc == 2, r
    assert installed(z.cwd) == {p.location: PACKAGE_VERSION}


# The image against the SHA-256 digest the descriptor promises for it: any
# other bytes, or a promise that cannot be checked, and no firmware is written.

SHA = hashlib.sha256(IMAGE_BYTES).hexdigest()
OTHER_BYTES = b"P3P boot ROM image, another build\n"
OTHER_SHA = hashlib.sha256(OTHER_BYTES).hexdigest()
GIVES_IT = "the SHA-256 digest that NICFWData.xml gives for it"
NOT_CHECKED = "cannot be checked: "

DIGESTS = {
    # name: (kinds' digests, image bytes (None: a directory), discovery script,
    #        problem (None: flashed), expected in the result file, found in it)
    "lower case": ([SHA], IMAGE_BYTES, {}, None, SHA, SHA),
    "upper case": ([SHA.upper()], IMAGE_BYTES, {}, None, SHA, SHA),
    "two kinds agree in either case": ([SHA, SHA.upper()], IMAGE_BYTES, {}, None, SHA, SHA),
    "different image": ([SHA], OTHER_BYTES, {},
                        f"does not match {GIVES_IT}: expected {SHA}, found {OTHER_SHA}", SHA,
                        OTHER_SHA),
    "truncated image": ([SHA], IMAGE_BYTES[:7], {},
                        f"does not match {GIVES_IT}: expected {SHA}, found "
                        f"{hashlib.sha256(IMAGE_BYTES[:7]).hexdigest()}", SHA,
                        hashlib.sha256(IMAGE_BYTES[:7]).hexdigest()),
    "image replaced after discovery": ([SHA], IMAGE_BYTES, {"replace_image": "other.bin"},
                                       f"does not match {GIVES_IT}: expected {SHA}, found "
                                       f"{OTHER_SHA}", SHA, OTHER_SHA),
    "image is a directory": ([SHA], None, {},
                             f"cannot be read (not a regular file), so it cannot be checked "
                             f"against {GIVES_IT}", SHA, None),
    "digest one digit short": ([SHA[:-1]], IMAGE_BYTES, {},
                               f"{NOT_CHECKED}the SHA-256 digest '{SHA[:-1]}' that NICFWData.xml "
                               "gives for it is not 64 hexadecimal digits", SHA[:-1], None),
    "digest with a non-hexadecimal digit": (
        [SHA[:-1] + "g"], IMAGE_BYTES, {},
        f"{NOT_CHECKED}the SHA-256 digest '{SHA[:-1]}g' that NICFWData.xml gives for it is not "
        "64 hexadecimal digits", SHA[:-1] + "g", None),
    "two kinds disagree": ([SHA, OTHER_SHA], IMAGE_BYTES, {},
                           f"{NOT_CHECKED}NICFWData.xml gives it two different SHA-256 digests, "
                           f"{SHA} and {OTHER_SHA}", SHA, None),
}


def digest_server(z, digests, image, discovery=None):
    """One outdated port, served by one kind per digest (all naming the image),
    and the image: bytes, or a directory in its place when None."""
    kinds = [Kind(subdevid=f"{0x124 + i:04X}", sha256=d) for i, d in enumerate(digests)]
    write_package(z.cwd, kinds)
    if image is None:
        (z.cwd / IMAGE_NAME).mkdir()
    else:
        write_image(z.cwd, data=image)
    write_image(z.cwd, "other.bin", OTHER_BYTES)
    SimState(ports=[port("03:00.0", "4.0.555")], discovery=discovery or {}).write(z.cwd)


def refusal(problem):
    return f"Error: Firmware image {IMAGE_NAME} {problem}. No firmware is written from it."


@pytest.mark.parametrize("case", DIGESTS)
def test_only_the_image_the_package_promises_is_flashed(z, case):
    digests, image, discovery, problem, expected, found = DIGESTS[case]
    digest_server(z, digests, image, discovery)
    r = z.run("-s", "-json", "result.json")
    document = r.document
    warnings = r.log.count(f"Warning: Firmware image {IMAGE_NAME} ")
    if problem is None:
        assert r.rc == 2 and (r.out, r.err) == ("", ""), r
        assert flashed_locations(z.cwd) == ["03:00.0"]
        assert (f"Firmware image {IMAGE_NAME} matches {GIVES_IT} ({SHA}).\n"
                f"netscli -flashsupport -i 03:00.0 -a {IMAGE_NAME}\n") in r.log
        assert warnings == 0
        assert document["image"] == {"name": IMAGE_NAME, "expected": expected, "found": found,
                                     "matched": True}
        return
    line = refusal(problem)
    assert (r.rc, r.out) == (0, ""), r
    assert f"{line}\n\nNIC firmware update completed with errors. \n" in r.log
    assert r.err == f"Zentavor: {line} (log: {r.err.split('(log: ')[1]}", r.err
    # Never flashed: the utility ran for discovery only.
    assert [call[1] for call in read_calls(z.cwd)] == ["-d"]
    assert installed(z.cwd) == {"03:00.0": "4.0.555"}
    # Discovery looked first: one warning, unless the image was still sound then.
    assert warnings == (0 if discovery else 1), r.log
    assert (document["outcome"], document["reason"]) == ("failed", line)
    assert document["ports"][0]["flash"] == {"exit_code": None, "result": "failed",
                                             "reason": line}
    image_entry = document["image"]
    assert image_entry.pop("problem", None) == (None if found else problem)
    assert image_entry == {"name": IMAGE_NAME, "expected": expected, "found": found,
                           "matched": False}


@pytest.mark.parametrize("args, rc, outcome", [
    (["-n"], 4, "update-recommended"),
    (["-c"], 0, "table-shown"),
    (["-s", "-d", "report.xml"], 1, "report-written"),
    (["-s", "-ql", "-v", "versions.xml"], 0, "version-file-written"),
])
def test_runs_that_change_nothing_warn_once_of_an_image_that_does_not_match(z, args, rc, outcome):
    digest_server(z, [SHA], OTHER_BYTES)
    r = z.run(*args, "-json", "result.json")
    assert (r.rc, r.err, r.document["outcome"]) == (rc, "", outcome), r
    assert r.log.count("Warning: ") == 1 and (
        f"Warning: Firmware image {IMAGE_NAME} does not match {GIVES_IT}: expected {SHA}, found "
        f"{OTHER_SHA}; no firmware will be written from it.\n") in r.log
    assert r.document["image"] == {"name": IMAGE_NAME, "expected": SHA, "found": OTHER_SHA,
                                   "matched": False}
    assert [call[1] for call in read_calls(z.cwd)] == ["-d"] * (2 if "-d" in args else 1)


@pytest.mark.parametrize("replayed", [IMAGE_BYTES, OTHER_BYTES])
def test_replay_writes_only_the_image_the_package_promises(z, replayed):
    digest_server(z, [SHA], IMAGE_BYTES)
    assert z.run("-s", "-d", "report.xml").rc == 1
    write_image(z.cwd, data=replayed)
    calls = len(read_calls(z.cwd))
    r = z.run("-s", "-u", "report.xml", "-json", "result.json")
    entry = r.document["ports"][0]
    if replayed == IMAGE_BYTES:
        assert (r.rc, r.err, r.document["outcome"]) == (2, "", "replayed"), r
        assert entry["flash"] == {"exit_code": None, "result": "updated"}
        assert r.document["image"]["matched"] is True
        return
    line = refusal(f"does not match {GIVES_IT}: expected {SHA}, found {OTHER_SHA}")
    assert (r.rc, r.out) == (0, ""), r
    assert r.log.index(f"{line}\n") < r.log.index("Error: Failed to process discovery file "
                                                   "report.xml.\n"), r.log
    assert "Warning: " not in r.log  # the refusal said it
    assert r.err.startswith(f"Zentavor: {line} (log: ") and r.err.count("\n") == 1, r.err
    # No replay: only the discovery that tells the result file what each port holds.
    assert [call[1] for call in read_calls(z.cwd)[calls:]] == ["-d"]
    assert installed(z.cwd) == {"03:00.0": "4.0.555"}
    assert (r.document["outcome"], r.document["reason"]) == ("failed", line)
    assert entry["flash"] == {"exit_code": None, "result": "failed", "reason": line}

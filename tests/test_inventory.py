"""`zentavor -c` and discovery, end to end, against the simulated vendor utility.

Each test lays out a firmware package (descriptor and image) and a simulated
server in the working directory, runs the program and judges it by its exit
code, its console text and its log.
"""

import pytest

from sim_state import (FOREIGN_IDS, IMAGE_NAME, P3P_IDS, Kind, SimState, port, read_calls,
                       standard_server, write_image, write_package)

COMMAND = f"netscli -flashsupport -d {IMAGE_NAME} tempNicList.xml -p3\n"
P3P_KEY = "4040-0100-4040-0124"
IDENTITY_HEADER = "MAC                  B:D.F     PCI-ID                  NIC\n"
VERSION_HEADERS = ("\n"
                   "   (Installed)            (Available)     Interface     \n"
                   "Image     Version      Image     Version   \n"
                   + "-" * 56 + "\n")


def block(p, installed, available):
    """The seven lines the table shows for one port."""
    return (IDENTITY_HEADER
            + f"{p.macaddress}    {p.location}     {p.pci_id}     {p.product_id}\n"
            + VERSION_HEADERS
            + f"ROM       {installed}      ROM       {available}  {p.device_id}\n")


def serve(z, *ports, image=True):
    """The default package (P3P kind, rom 4.0.556) and a server with the ports."""
    write_package(z.cwd)
    if image:
        write_image(z.cwd)
    SimState(ports=list(ports)).write(z.cwd)


def test_table_shows_every_supported_port_in_discovery_order(z):
    state = standard_server(z.cwd)
    older, same, newer, foreign = state.ports
    r = z.run("-c")
    assert r.rc == 0, r
    table = (block(older, "4.0.555", "4.0.556") + block(same, "4.0.556", "4.0.556")
             + block(newer, "4.0.557", "4.0.556"))
    # The table is the last thing on the console and stands whole in the log.
    assert r.out.endswith(table), r.out
    assert table in r.log
    assert "Started device discovery!\n" + COMMAND in r.log
    assert (f"NIC with PCI ID {foreign.pci_id} is not identified as a supported QLogic P3P "
            "NIC.\n") in r.log
    assert "Device discovery completed successfully!\n" in r.log
    assert r.log.endswith("Exiting with code 0\n")
    assert not (z.cwd / "tempNicList.xml").exists()
    assert len(read_calls(z.cwd)) == 1


def test_table_is_output_not_a_format(z):
    p = port("03:00.0", "4.0.555", name="eth%d", product_id="100% %s %n adapter")
    serve(z, p)
    r = z.run("-c")
    assert r.rc == 0, r
    assert r.out.endswith(block(p, "4.0.555", "4.0.556")), r.out


def test_loosely_written_versions_and_debug_lines(z):
    write_package(z.cwd, [Kind(rom="v4.0.556")])
    write_image(z.cwd)
    decorated = port("03:00.0", "NCSI v4.0.555")
    # Only the word after the first blank is read, and "beta" is no number: the
    # version is read only in part, from its own text alone, and the table shows
    # the text as discovery gave it.
    trailing_word = port("03:00.1", "4.0.557 beta")
    SimState(ports=[decorated, trailing_word]).write(z.cwd)
    r = z.run("-c", "-debug")
    assert r.rc == 0, r
    assert "Parsed version to be 4.0.556 \n" in r.log
    assert "Parsed version to be 4.0.555 \n" in r.log
    assert "Parsed version to be 0.0.0 \n" in r.log
    assert r.out.endswith(block(decorated, "4.0.555", "4.0.556")
                          + block(trailing_word, "4.0.557 beta", "4.0.556")), r.out


def test_missing_image_is_only_a_warning(z):
    p = port("03:00.0", "4.0.555")
    serve(z, p, image=False)
    r = z.run("-c")
    assert r.rc == 0, r
    assert f"Warning: Could not find firmware file {IMAGE_NAME}!\n" + COMMAND in r.log
    assert r.out.endswith(block(p, "4.0.555", "4.0.556"))


def test_ports_before_a_non_rom_firmware_item_are_kept(z):
    kept = port("03:00.0", "4.0.555")
    serve(z, kept, port("03:00.1", "4.0.555", fw_type="pxe"), port("04:00.0", "4.0.555"))
    r = z.run("-c")
    assert r.rc == 0, r
    assert ("Warning!!! - firmware type is not expected!. Expected type is ROM, current value is "
            "pxe\n") in r.log
    assert r.out.endswith(block(kept, "4.0.555", "4.0.556"))
    assert r.out.count(IDENTITY_HEADER) == 1


P3P_DEVICE = ("<korvel_rom_discovery><devices><device>"
              + "".join(f'<{tag} value="{value}"/>' for tag, value in
                        zip(("venid", "devid", "subvenid", "subdevid"), P3P_IDS))
              + "</device></devices></korvel_rom_discovery>")

FAILURES = {
    "no supported port": (
        dict(ports=[port("05:00.0", "4.0.555", ids=FOREIGN_IDS)]),
        "is not identified as a supported QLogic P3P NIC.\n"
        "Device discovery failed with error code 0\n"),
    "utility cannot be started": (
        None, "Could not generate discovery file.\nDevice discovery failed with error code 98\n"),
    "utility exit code": (
        dict(discovery={"exit": "7"}),
        "Could not generate discovery file.\nDevice discovery failed with error code 7\n"),
    # The utility writes nothing; an old file from an earlier run must not be read.
    "stale file, none written": (
        dict(discovery={"output": "none"}),
        "Could not generate discovery file.\nDevice discovery failed with error code 0\n"),
    "corrupt file": (
        dict(discovery={"output": "corrupt"}),
        "Loading configuration file tempNicList.xml failed. Error code: "),
    "foreign file": (
        dict(discovery={"type": "NETXEN_NIC"}),
        "This Tallet tool can only be used to update P3P-series QLogic NICs.\n"
        "Device discovery failed with error code 0\n"),
    "unreadable IDs": (
        dict(ports=[port("03:00.0", "4.0.555", ids=("40G0",) + P3P_IDS[1:])]),
        "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.\n"
        "NIC with PCI ID 0000-0100-4040-0124 is not identified"),
}


@pytest.mark.parametrize("case", FAILURES)
def test_failed_discovery_shows_no_table_and_ends_with_two(z, case):
    state, expected_log = FAILURES[case]
    write_package(z.cwd)
    write_image(z.cwd)
    z.write("tempNicList.xml", P3P_DEVICE)
    if state is None:
        z.remove("netscli")
    else:
        SimState(**{"ports": [port("03:00.0", "4.0.555"), port("03:00.1", "4.0.555")],
                    **state}).write(z.cwd)
    r = z.run("-c")
    assert r.rc == 2, r
    assert IDENTITY_HEADER not in r.out
    assert "Started device discovery!\n" + COMMAND in r.log
    assert expected_log in r.log, r.log
    assert "Device discovery completed successfully!" not in r.log
    assert r.log.endswith("Exiting with code 2\n")
    assert not (z.cwd / "tempNicList.xml").exists()

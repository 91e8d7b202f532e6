"""A simulated server for the end-to-end tests and the demo.

Writes what the program and the simulated vendor utility (`netscli`, see
sim/README.md) find in a working directory, and reads back what they left:

    from sim_state import Port, SimState, standard_server, write_package, write_image

    state = SimState(ports=[port("03:00.0", "4.0.555"), port("03:00.1", "4.0.556")])
    state.write(z.cwd)                    # netscli_state.xml (+ raw discovery file)
    write_package(z.cwd)                  # NICFWData.xml serving the P3P kind, rom 4.0.556
    write_image(z.cwd)                    # the image file it names
    ...run the program...
    installed(z.cwd)   -> {"03:00.0": "4.0.556", "03:00.1": "4.0.556"}
    read_calls(z.cwd)  -> [["-flashsupport", "-d", "p3p_rom.bin", "tempNicList.xml", "-p3"], ...]

Values of None leave an attribute (and so the discovery element it fills) out.
The state is read from "netscli_state.xml" in the utility's current directory
unless NETSCLI_STATE names another file; the call log lies beside it.
"""

import xml.etree.ElementTree as ElementTree
from dataclasses import dataclass, field, fields
from pathlib import Path

STATE_NAME = "netscli_state.xml"
CALL_LOG_NAME = "netscli_calls.log"
RAW_DISCOVERY_NAME = "netscli_raw_discovery.xml"
PACKAGE_NAME = "NICFWData.xml"
DISCOVERY_NAME = "tempNicList.xml"
IMAGE_NAME = "p3p_rom.bin"
PACKAGE_VERSION = "4.0.556"
# The four PCI IDs (vendor, device, subsystem vendor, subsystem) of the adapter
# kind the default package serves, and of one it does not.
P3P_IDS = ("4040", "0100", "4040", "0124")
FOREIGN_IDS = ("8086", "10FB", "8086", "000C")

# The utility's own exit codes (sim/README.md).
EXIT_REFUSED = 10
EXIT_BAD_STATE = 11
EXIT_NO_IMAGE_FILE = 12
EXIT_UNKNOWN_IMAGE = 13
EXIT_NO_PORT = 14
EXIT_UNFIT_IMAGE = 15
EXIT_BAD_REPORT = 16
EXIT_CANNOT_WRITE = 17
EXIT_REPORT_FOR_OTHER_IMAGE = 18


def _escape(value):
    return (str(value).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("\n", "&#10;").replace("\r", "&#13;")
            .replace("\t", "&#9;"))


def _element(name, attributes, indent="  "):
    text = "".join(f' {key}="{_escape(value)}"' for key, value in attributes.items()
                   if value is not None)
    return f"{indent}<{name}{text}/>\n"


@dataclass
class Port:
    """One adapter port; the fields are the state file's port attributes."""
    device_id: str = "eth0"
    venid: str = P3P_IDS[0]
    devid: str = P3P_IDS[1]
    subvenid: str = P3P_IDS[2]
    subdevid: str = P3P_IDS[3]
    macaddress: str = "00:0E:1E:03:00:00"
    product_id: str = "NX3031 Dual Port 10GbE"
    busnumber: str = "03"
    devicenumber: str = "00"
    funcnumber: str = "0"
    slotnumber: str = "1"
    fw_type: str = None
    firmware_id: str = "4.0.555"
    fw_version: str = None
    action: str = None
    shared: str = None
    duration: str = None
    message: str = None
    flash_exit: int = None

    @property
    def location(self):
        """The identifier the program passes to the utility's flash command."""
        return f"{self.busnumber}:{self.devicenumber}.{self.funcnumber}"

    @property
    def pci_id(self):
        """The key the program forms from the four IDs ("%04X-%04X-%04X-%04X")."""
        return "-".join(f"{int(i, 16):04X}" for i in
                        (self.venid, self.devid, self.subvenid, self.subdevid))

    def attributes(self):
        return {f.name: getattr(self, f.name) for f in fields(self)}


def port(location, firmware, name=None, ids=P3P_IDS, **others):
    """A port at "bus:dev.func" with the installed version; its MAC address and
    interface name follow from the location unless given."""
    bus, rest = location.split(":")
    device, function = rest.split(".")
    venid, devid, subvenid, subdevid = ids
    # Eight functions per bus number keep default names apart.
    return Port(device_id=name or f"eth{int(bus, 16) * 8 + int(function)}",
                macaddress=f"00:0E:1E:{bus}:{device}:{int(function):02d}",
                busnumber=bus, devicenumber=device, funcnumber=function,
                firmware_id=firmware, venid=venid, devid=devid, subvenid=subvenid,
                subdevid=subdevid, **others)


@dataclass
class Image:
    file: str = IMAGE_NAME
    version: str = PACKAGE_VERSION
    # Blank-separated keys of the kinds it fits (None: every port). The image of
    # the default package fits its P3P kind only, as a real image does.
    pci_ids: str = "-".join(P3P_IDS)


@dataclass
class SimState:
    """Everything netscli_state.xml holds. discovery, report, replay and flash
    are the attributes of those elements (exit, output, type, delay_ms, ...);
    raw_discovery, when given (text or bytes), is written beside the state and
    handed out verbatim as the discovery file."""
    ports: list = field(default_factory=list)
    images: list = field(default_factory=lambda: [Image()])
    discovery: dict = field(default_factory=dict)
    report: dict = field(default_factory=dict)
    replay: dict = field(default_factory=dict)
    flash: dict = field(default_factory=dict)
    raw_discovery: object = None

    def to_xml(self):
        discovery = dict(self.discovery)
        if self.raw_discovery is not None:
            discovery["raw_file"] = RAW_DISCOVERY_NAME
        text = '<?xml version="1.0" encoding="utf-8"?>\n<netscli_state>\n'
        text += "".join(_element("image", vars(image)) for image in self.images)
        for name, attributes in (("discovery", discovery), ("report", self.report),
                                 ("replay", self.replay), ("flash", self.flash)):
            if attributes:
                text += _element(name, attributes)
        text += "".join(_element("port", p.attributes()) for p in self.ports)
        return text + "</netscli_state>\n"

    def write(self, directory, name=STATE_NAME):
        """Writes the state (and the raw discovery file) into directory."""
        directory = Path(directory)
        if self.raw_discovery is not None:
            raw = self.raw_discovery
            (directory / RAW_DISCOVERY_NAME).write_bytes(
                raw.encode() if isinstance(raw, str) else raw)
        path = directory / name
        path.write_text(self.to_xml(), encoding="utf-8")
        return path


def read_state(directory, name=STATE_NAME):
    """The state as the utility left it (it rewrites the file after a flash)."""
    root = ElementTree.parse(Path(directory) / name).getroot()
    state = SimState(images=[])
    known = {f.name for f in fields(Port)}
    for element in root:
        attributes = dict(element.attrib)
        if element.tag == "port":
            present = {k: v for k, v in attributes.items() if k in known}
            state.ports.append(Port(**{**dict.fromkeys(known), **present}))
        elif element.tag == "image":
            state.images.append(Image(**attributes))
        elif element.tag in ("discovery", "report", "replay", "flash"):
            setattr(state, element.tag, attributes)
    return state


def installed(directory, name=STATE_NAME):
    """{location: installed version} of every port, in state order."""
    return {p.location: p.firmware_id for p in read_state(directory, name).ports}


def _unescape(argument):
    out, chars = [], iter(argument)
    for c in chars:
        if c == "\\":
            c = {"t": "\t", "n": "\n", "r": "\r"}.get(next(chars, ""), "\\")
        out.append(c)
    return "".join(out)


def read_calls(directory):
    """Every command line that reached the utility, as argument lists without
    the program name; [] when it was never called."""
    path = Path(directory) / CALL_LOG_NAME
    if not path.exists():
        return []
    calls = []
    for line in path.read_bytes().decode("utf-8", errors="surrogateescape").split("\n")[:-1]:
        count, *arguments = line.split("\t")
        assert int(count) == len(arguments), f"damaged call log line {line!r}"
        calls.append([_unescape(a) for a in arguments])
    return calls


def flashed_locations(directory):
    """The locations of the flash commands, in call order."""
    return [call[2] for call in read_calls(directory) if call[1:2] == ["-i"]]


@dataclass
class Kind:
    """One adapter kind of the package descriptor (an inner nic element)."""
    name: str = "NX3031 P3P"
    venid: str = P3P_IDS[0]
    devid: str = P3P_IDS[1]
    subvenid: str = P3P_IDS[2]
    subdevid: str = P3P_IDS[3]
    rom: str = PACKAGE_VERSION
    fwFile: str = IMAGE_NAME
    sha256: str = None


def package_xml(kinds=None, version="1.0"):
    kinds = [Kind()] if kinds is None else kinds
    inner = "".join(_element("nic", vars(kind), "    ") for kind in kinds)
    return (f'<?xml version="1.0" encoding="utf-8"?>\n<nic_fw_package version="{version}">\n'
            f'  <nic name="P3P family">\n{inner}  </nic>\n</nic_fw_package>\n')


def write_package(directory, kinds=None, version="1.0"):
    """Writes NICFWData.xml with the given kinds (default: the P3P kind, rom
    4.0.556, image p3p_rom.bin)."""
    path = Path(directory) / PACKAGE_NAME
    path.write_text(package_xml(kinds, version), encoding="utf-8")
    return path


IMAGE_BYTES = b"P3P boot ROM image\n"


def write_image(directory, name=IMAGE_NAME, data=IMAGE_BYTES):
    path = Path(directory) / name
    path.write_bytes(data)
    return path


def standard_server(directory, package_version=PACKAGE_VERSION):
    """The rehearsal server: a package serving the P3P kind with its image, and
    four ports, one older than the package, one the same, one newer, and one of
    a kind the package does not serve. Returns the state written."""
    parts = [int(p) for p in package_version.split(".")]
    older = ".".join(map(str, parts[:-1] + [parts[-1] - 1]))
    newer = ".".join(map(str, parts[:-1] + [parts[-1] + 1]))
    state = SimState(
        images=[Image(version=package_version, pci_ids="-".join(P3P_IDS))],
        ports=[port("03:00.0", older, "Ethernet"), port("03:00.1", package_version, "Ethernet 2"),
               port("04:00.0", newer, "Ethernet 3"),
               port("05:00.0", "3.4.216", "Ethernet 4", ids=FOREIGN_IDS,
                    product_id="Other 10GbE")])
    write_package(directory, [Kind(rom=package_version)])
    write_image(directory)
    state.write(directory)
    return state


def describe(directory):
    """Lines saying what the package in directory offers and what each
    simulated port holds (for the demo)."""
    directory = Path(directory)
    lines = []
    for kind in ElementTree.parse(directory / PACKAGE_NAME).getroot().iter("nic"):
        if kind.get("rom") is not None:
            ids = "-".join(kind.get(k, "") for k in ("venid", "devid", "subvenid", "subdevid"))
            lines.append(f"package  ROM {kind.get('rom')} in {kind.get('fwFile')} "
                         f"for PCI ID {ids}")
    for p in read_state(directory).ports:
        lines.append(f"port     {p.location}  {p.device_id:10} PCI ID {p.pci_id}  "
                     f"MAC {p.macaddress}  ROM {p.firmware_id}")
    return lines

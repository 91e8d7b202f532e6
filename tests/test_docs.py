"""The users' documentation against the program: what the README and the
manual page show (usage text, options, the option matrix, sample output, the
sample descriptor) must be what the program does, byte for byte where the
documentation quotes it."""

import re
import shutil
import subprocess
from pathlib import Path

import pytest

from sim_state import SimState, port, write_image

ROOT = Path(__file__).resolve().parent.parent
README = (ROOT / "README.md").read_text()
MANPAGE = (ROOT / "docs" / "zentavor.1").read_text()
SAMPLE_DESCRIPTOR = (ROOT / "packaging" / "NICFWData.xml").read_text()
FILE_OPTIONS = {"-d", "-u", "-v", "-json", "-port"}
HELP_OPTIONS = {"-h", "-help", "?"}
STAMP = r"[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}"


def fenced_block(starting_with):
    """The fenced code block of the README whose text starts as given."""
    for block in re.findall(r"^```[a-z]*\n(.*?)^```$", README, re.S | re.M):
        if block.startswith(starting_with):
            return block
    pytest.fail(f"no code block starting with {starting_with!r} in README.md")


def readme_options():
    """Every option the README's option table names, as the user types it."""
    table = README[README.index("| Option | Effect |"):]
    table = table[:table.index("\n\n")]
    options = []
    for row in table.splitlines()[2:]:
        first_cell = row.split("|")[1]
        options += [o.split(" ")[0] for o in re.findall(r"`([^`]+)`", first_cell)]
    return options


def readme_matrix():
    """{(row option, column option): allowed} from the README's matrix."""
    lines = README[README.index("|  | -c |"):].splitlines()
    columns = [c.strip() for c in lines[0].strip("|").split("|")][1:]
    matrix = {}
    for line in lines[2:2 + len(columns)]:
        cells = [c.strip() for c in line.strip("|").split("|")]
        row = cells[0].strip("*")
        for column, entry in zip(columns, cells[1:]):
            matrix[row, column] = entry == "yes"
    return matrix


def arguments(option):
    return [option, "report.xml"] if option in FILE_OPTIONS else [option]


def refused(z, *args):
    """True when the program showed the usage text for these arguments."""
    return "USAGE: " in z.run(*args).log


@pytest.fixture
def zq(z):
    """A sandbox whose runs end quickly: a descriptor, and no vendor utility
    to start, so that a mode that gets going fails at once."""
    z.write("NICFWData.xml", SAMPLE_DESCRIPTOR)
    if (z.bin / ("netscli" + z.build.suffix)).exists():
        z.remove("netscli")
    return z


def test_usage_text_in_the_readme_is_the_programs(zq):
    r = zq.run("-h")
    assert r.rc == 0
    usage = r.out[r.out.index("USAGE: "):]
    assert usage == fenced_block("USAGE: ")


def test_every_documented_option_is_accepted_and_nothing_is_missing(zq):
    documented = readme_options()
    assert "-no_overwrite" in documented and "-ql" in documented
    for option in documented:
        if option == "(none)":
            continue
        if option in HELP_OPTIONS:
            assert refused(zq, option), option
        else:
            assert not refused(zq, *arguments(option)), option
    # The options of the usage text are all in the table.
    listed = re.findall(r"\[(-\w+)", fenced_block("USAGE: ").splitlines()[0])
    assert set(listed) <= set(documented)


def test_option_matrix_in_the_readme_is_the_programs(zq):
    matrix = readme_matrix()
    options = sorted({row for row, _ in matrix})
    assert len(options) == 12
    for row, column in matrix:
        assert matrix[row, column] == matrix[column, row], (row, column)
    for i, row in enumerate(options):
        for column in options[i + 1:]:
            args = arguments(row) + arguments(column)
            assert refused(zq, *args) == (not matrix[row, column]), args


def test_manual_page_renders_without_warnings_and_names_every_option():
    for command in (["groff", "-man", "-Tutf8", "-ww", "-z"],
                    ["man", "--warnings", "-l"]):
        if shutil.which(command[0]) is None:
            pytest.skip(f"{command[0]} is not installed")
        done = subprocess.run(command + [str(ROOT / "docs" / "zentavor.1")], capture_output=True,
                              text=True, env={"MANWIDTH": "80", "PATH": "/usr/bin:/bin"},
                              stdin=subprocess.DEVNULL)
        assert done.returncode == 0 and done.stderr == "", done.stderr
    version = re.search(r"project\(zentavor VERSION ([\d.]+)", (ROOT / "CMakeLists.txt").read_text())
    assert f'"Zentavor {version.group(1)}"' in MANPAGE.splitlines()[0]
    options = MANPAGE[MANPAGE.index(".SH OPTIONS"):MANPAGE.index(".SH EXIT STATUS")]
    for option in readme_options():
        if option != "(none)":
            assert option.replace("-", "\\-") in options, option


def test_sample_descriptor_is_the_one_both_documents_show():
    assert fenced_block("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<nic_fw_package") == (
        SAMPLE_DESCRIPTOR)
    example = MANPAGE[MANPAGE.index(".nf\n<?xml") + 4:]
    example = example[:example.index(".fi\n")].replace("\\-", "-")
    assert example == SAMPLE_DESCRIPTOR


@pytest.fixture
def server(z):
    """The sample package and a simulated server with one outdated port, as the
    README's examples show it."""
    z.write("NICFWData.xml", SAMPLE_DESCRIPTOR)
    write_image(z.cwd)
    SimState(ports=[port("03:00.0", "4.0.555", name="eth0")]).write(z.cwd)
    return z


def test_installed_firmware_table_example(server):
    r = server.run("-c")
    assert r.rc == 0, r
    assert r.out.endswith(fenced_block("MAC  ")), r.out


def test_question_example(server):
    shown = re.search(r"^( +)Found NX3031.*?y/n/q/c \(y\):$", README, re.S | re.M)
    indent = len(shown.group(1))
    question = "\n".join(line[indent:] for line in shown.group(0).splitlines())
    r = server.run(input="n\n")
    assert question in r.out, r
    assert r.rc == 3, r


def test_log_excerpt_of_a_silent_update(server):
    # The time stamps and the program's path are the run's own.
    excerpt = fenced_block("Command line supplied:")
    pattern = STAMP.join(re.escape(part) for part in re.split(STAMP, excerpt))
    pattern = pattern.replace(re.escape("\tzentavor -s \n"), r"\t\S+ -s \n")
    r = server.run("-s")
    assert r.rc == 2, r
    assert re.search(pattern + r"\Z", r.log), r.log

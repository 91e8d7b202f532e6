"""The users' documentation against the program and against itself: what the
README and the manual page show (usage text, options, the option matrix,
sample output, the sample descriptor) must be what the program does, byte for
byte where the documentation quotes it, and the facts both documents state
(options, exit codes, files, how file names reach the vendor utility) must be
the same in both.

Sections are found by their headings, so new sections may come and go; a new
option is added to the program's matrix, the README's option table (and its
matrix, or the options that go with everything), the manual page's OPTIONS
and a form of its SYNOPSIS, and an option taking a value of a new kind to
PLACEHOLDER_VALUES."""

import re
import shlex
import shutil
import subprocess
from pathlib import Path

import pytest

from sim_state import SimState, port, read_calls, write_image

ROOT = Path(__file__).resolve().parent.parent
README = (ROOT / "README.md").read_text()
MANPAGE = (ROOT / "docs" / "zentavor.1").read_text()
SAMPLE_DESCRIPTOR = (ROOT / "packaging" / "NICFWData.xml").read_text()
HELP_OPTIONS = {"-h", "-help", "?", "-?"}
# A value the program accepts for each kind of option argument the README's
# option table names (`-d <file>`).
PLACEHOLDER_VALUES = {"file": "report.xml", "id": "03:00.0"}
# A file of its own for the result file, so that no command line names one
# file for two purposes.
OPTION_VALUES = {"-json": "result.json"}
STAMP = r"[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}"


def fenced_block(starting_with):
    """The fenced code block of the README whose text starts as given."""
    for block in re.findall(r"^```[a-z]*\n(.*?)^```$", README, re.S | re.M):
        if block.startswith(starting_with):
            return block
    pytest.fail(f"no code block starting with {starting_with!r} in README.md")


def readme_section(title):
    """The README's section under the heading `title` (any level), up to the
    next heading of the same or a higher level."""
    found = re.search(rf"^(#+) {re.escape(title)}\n", README, re.M)
    assert found, f"README.md has no section {title!r}"
    level = len(found.group(1))
    rest = README[found.end():]
    end = re.search(rf"^#{{1,{level}}} ", rest, re.M)
    return rest[:end.start()] if end else rest


def readme_table(section, first_header):
    """The rows (lists of cell texts) of the table in a README section whose
    header starts with the cell `first_header`."""
    text = readme_section(section)
    start = text.index(f"| {first_header} |")
    rows = []
    for line in text[start:].splitlines()[2:]:
        if not line.startswith("|"):
            break
        rows.append([cell.strip() for cell in line.strip().strip("|").split("|")])
    return rows


def manual_section(name):
    """The manual page's section .SH NAME, up to the next .SH."""
    found = re.search(rf"^\.SH {re.escape(name)}\n", MANPAGE, re.M)
    assert found, f"the manual page has no section {name!r}"
    rest = MANPAGE[found.end():]
    end = re.search(r"^\.SH ", rest, re.M)
    return rest[:end.start()] if end else rest


def manual_tags(section):
    """The tag line after each .TP of a manual page section, with each block's
    text: [(tag, body)]."""
    blocks = re.split(r"^\.TP\n", manual_section(section), flags=re.M)[1:]
    return [tuple(block.split("\n", 1)) for block in blocks]


def roff_escapes(text):
    """Text as a reader sees it: the escapes of a roff line resolved."""
    return text.replace("\\-", "-").replace("\\(dq", '"').replace("\\e", "\\").replace("\\:", "")


def roff_text(line):
    """The words of a roff macro line as a reader sees them: the font macro,
    the quotes that group its arguments and the escapes taken away."""
    line = re.sub(r"^\.[A-Z]{1,2} ?", "", line)
    return roff_escapes(re.sub(r'"([^"]*)"', r"\1", line))


# Options: the README's option table, the manual page's OPTIONS.

def readme_option_rows():
    """[(names, argument kind)] of the README's option table: `-e`, `-rewrite`
    is (("-e", "-rewrite"), None); `-d <file>` is (("-d",), "file")."""
    rows = []
    for cells in readme_table("Options", "Option"):
        spelled = re.findall(r"`([^`]+)`", cells[0])
        if not spelled:
            continue  # (none)
        kinds = {m for o in spelled for m in re.findall(r"<(\w+)>", o)}
        rows.append((tuple(o.split(" ")[0] for o in spelled), kinds.pop() if kinds else None))
    return rows


def manual_option_rows():
    rows = []
    for tag, _ in manual_tags("OPTIONS"):
        words = roff_text(tag).replace(",", " ").split()
        names = tuple(w for w in words if w.startswith("-") or w == "?")
        others = [w for w in words if w not in names]
        rows.append((names, others[0] if others else None))
    return rows


def readme_options():
    """Every option the README's option table names, as the user types it."""
    return [name for names, _ in readme_option_rows() for name in names]


def argument_kind(option):
    for names, kind in readme_option_rows():
        if option in names:
            return kind
    return None


def arguments(option):
    kind = argument_kind(option)
    if kind is None:
        return [option]
    assert kind in PLACEHOLDER_VALUES, f"no sample value for <{kind}> in PLACEHOLDER_VALUES"
    return [option, PLACEHOLDER_VALUES[kind]]


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


def readme_free_options():
    """The options that the README says go with everything."""
    text = readme_section("Which options go together")
    sentence = re.search(r"([^.]*) go\s+with\s+everything", text)
    assert sentence, "README.md does not say which options go with everything"
    return set(re.findall(r"`([^`]+)`", sentence.group(1)))


# The manual page's SYNOPSIS: one form per .SY, each a sequence of words and
# groups ("[-s | -y]" optional, "{-h | -help}" one of them, "]..." repeated).

def manual_synopsis_forms():
    """Each form of the SYNOPSIS as its tokens: words, and the signs
    [ ] { } | ... apart."""
    forms = []
    for line in manual_section("SYNOPSIS").splitlines():
        if line.startswith(".SY"):
            forms.append([])
        text = roff_text(line).replace("\\&", "")
        forms[-1] += re.findall(r"\.\.\.|[][{}|]|[^][{}|\s]+", text)
    assert forms, "the manual page's SYNOPSIS has no .SY form"
    return forms


def synopsis_items(tokens):
    """Parses tokens (consumed) into items: a word, or a group
    (optional, repeated, [alternative item lists])."""
    items = []
    while tokens and tokens[0] not in ("]", "}", "|"):
        token = tokens.pop(0)
        if token not in ("[", "{"):
            items.append(token)
            continue
        alternatives = [synopsis_items(tokens)]
        while tokens.pop(0) == "|":
            alternatives.append(synopsis_items(tokens))
        repeated = bool(tokens) and tokens[0] == "..."
        if repeated:
            tokens.pop(0)
        items.append((token == "[", repeated, alternatives))
    return items


def synopsis_command_lines(items, choice, full):
    """The words of one command line the items stand for: the alternative
    `choice` (modulo their number) of every group, optional groups only when
    `full`, a repeated group twice."""
    words = []
    for item in items:
        if isinstance(item, str):
            words.append(item)
            continue
        optional, repeated, alternatives = item
        if optional and not full:
            continue
        chosen = synopsis_command_lines(alternatives[choice % len(alternatives)], choice, full)
        words += chosen * (2 if repeated else 1)
    return words


def is_option(word):
    return word.startswith("-") or word == "?"


def synopsis_instances():
    """[(form, words)]: for every form the shortest command line and, for each
    alternative of its groups, the longest; placeholders as the manual page
    writes them (`-d file`)."""
    instances = []
    for tokens in manual_synopsis_forms():
        form = " ".join(tokens)
        items = synopsis_items(list(tokens))
        widest = max([len(item[2]) for item in items if not isinstance(item, str)] + [1])
        lines = [synopsis_command_lines(items, 0, False)]
        lines += [synopsis_command_lines(items, k, True) for k in range(widest)]
        for words in lines:
            assert words[0] == "zentavor", form
            if (form, words) not in instances:
                instances.append((form, words))
    return instances


def manual_synopsis_options():
    return sorted({w for _, words in synopsis_instances() for w in words if is_option(w)})


# Exit codes: the README's table, the manual page's EXIT STATUS.

def mode_key(heading):
    """"Update (default, `-s`, `-y`)" and its roff form are the update; a
    mode's option stands for the others."""
    text = roff_text(heading).replace("`", "")
    return "update" if text.startswith("Update") else text.split()[0]


def readme_exit_codes():
    text = readme_section("Exit codes")
    header = [c.strip() for c in text[text.index("| Code |"):].splitlines()[0].strip("|").split("|")]
    codes = {mode_key(mode): set() for mode in header[1:]}
    for cells in readme_table("Exit codes", "Code"):
        for mode, cell in zip(header[1:], cells[1:]):
            if cell not in ("—", "-", ""):
                codes[mode_key(mode)].add(int(cells[0]))
    return codes


def manual_exit_codes():
    return {mode_key(tag): {int(c) for c in re.findall(r"^\.B (\d+)$", body, re.M)}
            for tag, body in manual_tags("EXIT STATUS")}


# Files: the README's table, the manual page's FILES.

def file_key(name):
    """A file as both documents can name it: a path by its last component, a
    described file ("the report file (`-d`, `-u`)") by its description."""
    name = roff_text(name).replace("`", "").split(" (")[0]
    return name.rsplit("/", 1)[-1] if "/" in name or "." in name or "_" in name else name


def readme_files():
    return sorted(file_key(cells[0]) for cells in readme_table("Files", "File"))


def manual_files():
    return sorted(file_key(tag) for tag, _ in manual_tags("FILES"))


# How a file name with a blank reaches the vendor utility: the example both
# documents give, the program's run and the command line it logs.

def readme_quoting_example():
    found = re.search(r"`(zentavor [^`]+)` runs:\n\n {4}(netscli .+)\n",
                      readme_section("The vendor utility"))
    assert found, "README.md gives no example of a quoted file name"
    return found.groups()


def manual_quoting_example():
    found = re.search(r"^\.B (zentavor .+)\nruns:\n\.PP\n\.RS\n\.nf\n(netscli .+)\n",
                      manual_section("NOTES"), re.M)
    assert found, "the manual page gives no example of a quoted file name"
    command, logged = found.groups()
    return roff_text(command), roff_escapes(logged)


SHARED_FACTS = {
    "options": (readme_option_rows, manual_option_rows),
    "exit codes": (readme_exit_codes, manual_exit_codes),
    "files": (readme_files, manual_files),
    "quoting of file names": (readme_quoting_example, manual_quoting_example),
    "options of the synopsis": (lambda: sorted(set(readme_options())), manual_synopsis_options),
}


@pytest.mark.parametrize("fact", SHARED_FACTS)
def test_readme_and_manual_page_state_the_same(fact):
    from_readme, from_manual = SHARED_FACTS[fact]
    readme, manual = from_readme(), from_manual()
    assert readme, f"README.md states no {fact}"
    if isinstance(readme, list):
        readme, manual = sorted(readme, key=str), sorted(manual, key=str)
    assert readme == manual


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
        if option in HELP_OPTIONS:
            assert refused(zq, option), option
        else:
            assert not refused(zq, *arguments(option)), option
    # The options of the usage text are all in the table, and so is every word
    # the program takes for an option.
    listed = re.findall(r"\[(-\w+)", fenced_block("USAGE: ").splitlines()[0])
    assert set(listed) <= set(documented)
    compared = set(re.findall(r'"(-[\w?]+|\?)"', (ROOT / "app" / "command_line.cc").read_text()))
    assert {"-c", "-json", "-no_overwrite", "?"} <= compared
    assert compared <= set(documented), compared - set(documented)


def test_every_form_of_the_synopsis_is_a_command_line_the_program_takes(zq):
    for form, words in synopsis_instances():
        args = []
        words = words[1:]
        while words:
            option = words.pop(0)
            assert is_option(option), (form, option)
            args.append(option)
            # The value, of the kind the README's table names.
            kind = argument_kind(option)
            if kind is not None:
                assert words and words[0] == kind, (form, option)
                words.pop(0)
                args.append(OPTION_VALUES.get(option, PLACEHOLDER_VALUES[kind]))
        help_asked = bool(HELP_OPTIONS & set(args))
        assert refused(zq, *args) == help_asked, (form, args)


def test_option_matrix_in_the_readme_is_the_programs(zq):
    matrix = readme_matrix()
    options = sorted({row for row, _ in matrix})
    # Every option is in the matrix, goes with everything, or asks for help.
    main_options = {names[0] for names, _ in readme_option_rows()}
    assert set(options) == main_options - readme_free_options() - HELP_OPTIONS
    for row, column in matrix:
        assert matrix[row, column] == matrix[column, row], (row, column)
    for i, row in enumerate(options):
        for column in options[i + 1:]:
            args = arguments(row) + arguments(column)
            assert refused(zq, *args) == (not matrix[row, column]), args


def test_manual_page_renders_without_warnings_and_carries_the_version():
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


def test_quoted_file_name_example(server):
    command, logged = readme_quoting_example()
    args = shlex.split(command)[1:]
    r = server.run(*args)
    assert r.rc == 1, r
    assert f"\n{logged}\n" in r.log
    # The name reached the utility as one argument: the report is there.
    report = args[args.index("-d") + 1]
    assert " " in report and (server.cwd / report).is_file()
    assert read_calls(server.cwd)[-1][3] == report

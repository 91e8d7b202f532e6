"""End-to-end harness: runs the built program as a user would.

Every test gets a fresh working directory (the program's current directory)
and a private bin directory holding copies of the program and of the simulator
of the vendor utility, so that a test can leave the utility out or replace it.
The same test code runs against the POSIX build and against the Windows build
under Wine; the fixture `z` is parametrised over the builds named in the
environment variable ZENTAVOR_BUILDS (default: "posix windows").

POSIX runs get their own SystemDrive (the log lands under it), TMPDIR (the
vendor lock file lives there) and ZENTAVOR_LOCK_DIR (the single-instance lock,
machine-wide in /run otherwise, so that test runs side by side never meet). Windows runs share one Wine prefix per session:
the log is $WINEPREFIX/drive_c/tavensystem/log/zentavor.log and is removed
before each test.
"""

import json
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
BUILDS = os.environ.get("ZENTAVOR_BUILDS", "posix windows").split()


def _build_dir(name):
    return Path(os.environ.get(f"ZENTAVOR_{name.upper()}_DIR", ROOT / "build" / name))


class Build:
    """One build of the product: where its programs are and how to start them."""

    def __init__(self, name):
        self.name = name
        self.windows = name == "windows"
        self.suffix = ".exe" if self.windows else ""
        self.bin = _build_dir(name) / "bin"
        self.prefix = ["wine"] if self.windows else []
        self.env = dict(os.environ)
        if self.windows:
            self.env["WINEDEBUG"] = "-all"

    def program(self, stem):
        return self.bin / (stem + self.suffix)


_wine_state = {}


def _wine_session():
    """Boots Wine once per session (unless the test script did) and finds its
    temporary directory and drive_c."""
    if _wine_state:
        return _wine_state
    own = "WINEPREFIX" not in os.environ
    if own:
        os.environ["WINEPREFIX"] = tempfile.mkdtemp(prefix="zentavor-wine-")
    os.environ["WINEDEBUG"] = "-all"
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p", "600"], **quiet)
    subprocess.run(["wine", "cmd", "/c", "exit"], **quiet)
    temp = subprocess.run(["wine", "cmd", "/c", "echo %TEMP%"], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True).stdout.strip()
    unix_temp = subprocess.run(["winepath", "-u", temp], stdin=subprocess.DEVNULL,
                               capture_output=True, text=True).stdout.strip()
    prefix = Path(os.environ["WINEPREFIX"])
    _wine_state.update(prefix=prefix, own=own, temp=Path(unix_temp),
                       drive_c=prefix / "drive_c")
    return _wine_state


def pytest_sessionfinish(session, exitstatus):
    if _wine_state and _wine_state["own"]:
        subprocess.run(["wineserver", "-k"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(_wine_state["prefix"], ignore_errors=True)


# What a sanitizer prints when it finds something (ASan, LSan, UBSan). The
# sanitizer stage also sends the reports of every process, the utility started
# by the program among them, to files in ZENTAVOR_SANITIZER_LOGS.
SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"ERROR: LeakSanitizer", b"runtime error:")


def _sanitizer_logs():
    directory = os.environ.get("ZENTAVOR_SANITIZER_LOGS")
    return set(Path(directory).iterdir()) if directory else set()


def _fail_on_sanitizer_reports(stderr, logs_before):
    """Fails the test whose run printed a sanitizer report, or whose run left one
    in the sanitizer log directory."""
    reports = [stderr.decode(errors="replace")] if any(
        mark in stderr for mark in SANITIZER_MARKS) else []
    reports += [path.read_text(errors="replace") for path in
                sorted(_sanitizer_logs() - logs_before)]
    if reports:
        pytest.fail("sanitizer report:\n" + "\n".join(reports), pytrace=False)


# A PID namespace of its own with its own /proc: the program's process list
# then holds only the processes of its run (and the utility it starts), never
# another test's or another job's on the same machine.
PRIVATE_PROCESS_TABLE = ["unshare", "--pid", "--fork", "--mount-proc"]
if os.geteuid() != 0:
    PRIVATE_PROCESS_TABLE[1:1] = ["--user", "--map-root-user"]

_private_process_table = []


def _private_process_table_works():
    if not _private_process_table:
        probe = subprocess.run(PRIVATE_PROCESS_TABLE + ["true"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _private_process_table.append(probe.returncode == 0)
    return _private_process_table[0]


SCHEMA = json.loads((ROOT / "docs" / "result-file.schema.json").read_text())


def _result_file_argument(args):
    """The file a run was told to write its result to (-json FILE), or None."""
    args, found, i = [str(a) for a in args], None, 0
    while i < len(args) - 1:
        option = args[i].lower().replace("/", "-", 1)
        if option == "-json":
            found = args[i + 1]
        i += 2 if option in ("-json", "-d", "-u", "-v", "-port") else 1
    return found


def check_result_file(z, document, result):
    """What every result file must agree with: the schema, the run's exit code,
    its log and the simulated server's state."""
    import jsonschema
    from sim_state import STATE_NAME, read_state
    jsonschema.Draft202012Validator(SCHEMA).validate(document)
    assert document["exit_code"] == result.rc, (document, result)
    if document["mode"] not in (None, "help", "version"):
        assert result.log.endswith(f"Exiting with code {result.rc}\n"), result.log
    state = read_state(z.cwd) if (z.cwd / STATE_NAME).exists() else None
    held = {p.location: p for p in state.ports} if state else {}
    for entry in document["ports"]:
        flash = entry["flash"] or {}
        if flash.get("result") == "updated" and flash.get("exit_code") is not None:
            assert f"MAC {entry['mac']} upgrade SUCCESS!\n" in result.log, entry
        if flash.get("result") == "failed" and flash.get("exit_code") is not None:
            assert ("Command to upgrade firmware failed with internal error code "
                    f"{flash['exit_code']}\n") in result.log, entry
        if state and entry["location"] in held:
            now = held[entry["location"]].firmware_id
            if flash.get("result") == "updated":
                assert now == entry["available_version"], (entry, now)
            elif entry.get("holds_package_version") is not None:
                assert entry["holds_package_version"] == (now == entry["available_version"])
            elif not flash:
                assert now == entry["installed_version"], (entry, now)


def _normalise(data):
    return data.decode("utf-8", errors="surrogateescape").replace("\r\n", "\n")


class Result:
    """What one run left behind: exit code, console text and its lines in the log."""

    def __init__(self, completed, log_before, log_after):
        self.rc = completed.returncode
        self.document = None
        self.out_raw = completed.stdout
        self.err_raw = completed.stderr
        self.out = _normalise(completed.stdout)
        self.err = _normalise(completed.stderr)
        self.log = _normalise(log_after[len(log_before):]) if log_after.startswith(
            log_before) else _normalise(log_after)

    def __repr__(self):
        return f"Result(rc={self.rc}, out={self.out!r}, log={self.log!r})"


class Zentavor:
    """One test's sandbox: working directory, private bin directory, log and lock."""

    def __init__(self, build, tmp_path):
        self.build = build
        self.windows = build.windows
        self.root = tmp_path
        self.cwd = tmp_path / "work"
        self.bin = tmp_path / "bin"
        self.cwd.mkdir()
        self.bin.mkdir()
        self.env = dict(build.env)
        if self.windows:
            wine = _wine_session()
            self.env["WINEPREFIX"] = str(wine["prefix"])
            self.log_path = wine["drive_c"] / "tavensystem" / "log" / "zentavor.log"
            self.temp_dir = wine["temp"]
            self.temp_dir.mkdir(parents=True, exist_ok=True)
        else:
            sysdrive = tmp_path / "sysdrive"
            sysdrive.mkdir()
            self.temp_dir = tmp_path / "tmp"
            self.temp_dir.mkdir()
            self.env["SystemDrive"] = str(sysdrive)
            self.env["TMPDIR"] = str(self.temp_dir)
            self.log_path = sysdrive / "tavensystem" / "log" / "zentavor.log"
            self.lock_dir = tmp_path / "run"
            self.lock_dir.mkdir()
            self.env["ZENTAVOR_LOCK_DIR"] = str(self.lock_dir)
        self.lock_path = self.temp_dir / "netxen_lock_file"
        self._clean_shared_state()
        self.program = self.install("zentavor")
        if build.program("netscli").exists():
            self.install("netscli")

    def _clean_shared_state(self):
        for path in (self.log_path, self.lock_path):
            if path.exists():
                path.unlink()

    def cleanup(self):
        if self.windows:
            self._clean_shared_state()

    def install(self, stem, as_name=None):
        """Puts a copy of one of the build's programs into this test's bin
        directory, under its own name or under as_name (taken as given)."""
        source = self.build.program(stem)
        target = self.bin / (as_name or stem + self.build.suffix)
        try:
            os.link(source, target)
        except OSError:
            shutil.copy2(source, target)
        return target

    def remove(self, stem):
        """Takes a program out of this test's bin directory (for example the utility)."""
        (self.bin / (stem + self.build.suffix)).unlink()

    def command(self, program, *args, own_process_table=False):
        prefix = self.build.prefix
        if own_process_table and not self.windows:
            if not _private_process_table_works():
                pytest.skip("no PID namespace can be made here (neither root nor user namespaces)")
            prefix = PRIVATE_PROCESS_TABLE + prefix
        return prefix + [str(program)] + [str(a) for a in args]

    def run(self, *args, input=None, timeout=120, program=None, own_process_table=False):
        """Runs the program with args in the working directory; input is fed to
        standard input (empty by default). own_process_table: the run sees only
        its own processes (POSIX), for a test that needs to know no vendor tool
        runs, whatever else runs on the machine; a Windows run sees only the
        processes of this session's Wine prefix anyway."""
        before = self.log_bytes()
        logs_before = _sanitizer_logs()
        target = _result_file_argument(args)
        path = self.cwd / target if target else None
        old = path.read_bytes() if path and path.is_file() else None
        completed = subprocess.run(
            self.command(program or self.program, *args, own_process_table=own_process_table),
            cwd=self.cwd, env=self.env,
            input=(input.encode() if isinstance(input, str) else (input or b"")),
            capture_output=True, timeout=timeout)
        _fail_on_sanitizer_reports(completed.stderr, logs_before)
        result = Result(completed, before, self.log_bytes())
        # Every result file a run writes is checked against the run.
        # (A -json that names the log is refused; the log grows all the same.)
        if path and path.is_file() and path.read_bytes() != old and path != self.log_path:
            result.document = json.loads(path.read_bytes().decode("utf-8"))
            check_result_file(self, result.document, result)
        return result

    def start(self, *args, program=None, **kwargs):
        """Starts a program without waiting (for concurrency tests)."""
        return subprocess.Popen(self.command(program or self.program, *args), cwd=self.cwd,
                                env=self.env, stdin=subprocess.DEVNULL, **kwargs)

    def log_bytes(self):
        return self.log_path.read_bytes() if self.log_path.exists() else b""

    def log(self):
        return _normalise(self.log_bytes())

    def write(self, name, text, encoding="utf-8"):
        path = self.cwd / name
        path.write_bytes(text.encode(encoding) if isinstance(text, str) else text)
        return path

    def program_name(self):
        """The name the usage text shows for the program: argv[0] without its
        directory and extension. Both builds show "zentavor": the POSIX build
        gets the path it was started with, the Windows build under Wine gets a
        DOS path with backslashes (see echoed_program)."""
        return "zentavor"

    def echoed_program(self):
        """argv[0] as the command-line echo in the log shows it. POSIX: the path
        the program was started with. Windows under Wine: Wine hands the program
        the DOS form of that path on its Z: drive, Z:\\tmp\\...\\zentavor.exe."""
        if self.windows:
            return "Z:" + str(self.program).replace("/", "\\")
        return str(self.program)


@pytest.fixture(scope="session", params=BUILDS)
def build(request):
    b = Build(request.param)
    if not b.program("zentavor").exists():
        pytest.skip(f"{b.name} build not found in {b.bin}")
    if b.windows:
        _wine_session()
    return b


@pytest.fixture
def z(build, tmp_path):
    sandbox = Zentavor(build, tmp_path)
    yield sandbox
    sandbox.cleanup()

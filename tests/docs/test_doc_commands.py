"""The shell commands the documents show, run against the tools of this build.

README.md, docs/user-guide.md and docs/noxconvert.md show commands in fenced and indented code
blocks. This test takes every command of the tools out of those blocks and runs it in a scratch
folder of its own per document, in document order (a later command finds the files an earlier one
wrote), with the build's bin/ first on PATH, and checks the exit code the document gives: 0 unless
EXPECTED_EXITS says otherwise. The view server and the monitor, which run until Ctrl-C, are run
beside the test: the view is asked for its page, the monitor watches a conversion. A usage synopsis
(SYNOPSES) is held to the tool's --help. A command the test does not run is in SKIPPED with the
reason; any other command line in a block is a failure, so a new command in a document is either
run here or skipped on purpose. Failures name the document, the line and the command's standard
error.

Environment (tests/docs/CMakeLists.txt sets it):
  NOXFORMATS_SOURCE   the source tree, where the documents are
  NOXFORMATS_BIN      the build's bin/ folder
  NOXFORMATS_PYTHON   the build's python/ folder (for python3 commands)
  NOXFORMATS_SCRATCH  where the scratch folders go (kept after the run, to look at)
  NOXFORMATS_VIEW     1 when the build has noxconvert view
"""

from __future__ import annotations

import dataclasses
import json
import os
import queue
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.request
from pathlib import Path

import pytest

DOCS = {"README": "README.md", "user_guide": "docs/user-guide.md",
        "noxconvert": "docs/noxconvert.md"}

# The programs whose commands run here; a path ending in one of them (build-release/bin/noxconvert)
# counts as that program.
TOOLS = ("noxconvert", "noxmonitor", "make-sample-project", "python3")
# Programs whose commands the documents show but that are not tools of ours: each such command
# must be skipped with a reason, so none is left unnoticed.
OTHER_PROGRAMS = ("cmake", "ctest", "regsvr32")

# The sample projects the tests write: small enough that the whole document runs in seconds.
SAMPLE_POINTS = 20000


@dataclasses.dataclass(frozen=True)
class Skip:
    doc: str
    pattern: str  # searched in the command's text (comments left out)
    reason: str


SKIPPED = [
    Skip("README.md", r"^scripts/main-job\.sh$",
         "runs scripts/setup.sh (installs packages) and builds the project; the test runs in a "
         "build"),
    Skip("README.md", r"^(KS_WINDOWS=0 )?scripts/test\.sh",
         "runs every test, this one among them, and installs packages"),
    Skip("README.md", r"^scripts/setup\.sh( build view)?$", "installs packages"),
    Skip("README.md", r"^scripts/setup\.sh --check fuzz$",
         "a setup script: its answer depends on what the machine has installed"),
    Skip("README.md", r"^(cmake|ctest) --(preset|build --preset) release$",
         "configures, builds or tests the project; the test runs inside that build"),
    Skip("docs/user-guide.md", r"^scripts/setup\.sh ", "installs packages"),
    Skip("docs/user-guide.md",
         r"^(sudo )?cmake (-S \. -B build-release|--build build-release|--install)",
         "builds or installs the project; the test runs inside a build"),
    Skip("docs/user-guide.md", r"^scripts/build-windows\.sh$", "Windows cross build under Wine"),
    Skip("docs/user-guide.md",
         r"^cmake (-S examples/host_convert -B host-win32|--build host-win32)",
         "Windows cross build of the host example"),
    Skip("docs/user-guide.md", r"^regsvr32 ", "Windows only"),
    Skip("docs/user-guide.md", r"^LD_LIBRARY_PATH=/opt/scanner-sdk/lib ",
         "needs the scanner maker's own point-stream library, which reads real RXP files only"),
    Skip("docs/user-guide.md", r"^noxconvert view \S+ --open$",
         "starts the system's web browser"),
]

# Usage synopses: lines with placeholders in capitals and optional parts in brackets, which cannot
# run as they are. Each is held to the tool's own help instead: `PROGRAM COMMAND --help` answers 0
# and lists every option the line names.
SYNOPSES = [("docs/noxconvert.md", r"\b(INPUT|OUTPUT|FILE|OUT)\b|\[")]


@dataclasses.dataclass(frozen=True)
class ExpectedExit:
    doc: str
    command: str
    code: int
    said: str  # the doc's words that give the code; must still be in the doc


# Commands that end with a code other than 0 by design, each with the doc's words that say so
# (the failure names their line), as in
#   ExpectedExit("docs/noxconvert.md", "noxconvert convert gone.rxp -o a.nox", 4, "(exit 4)")
# None of the commands the documents show today does: the codes other than 0 they state are for
# commands in the prose, not in code blocks.
EXPECTED_EXITS: list[ExpectedExit] = []


@dataclasses.dataclass(frozen=True)
class KnownFault:
    doc: str
    command: str
    code: int  # what the tool answers today
    note: str


# Commands that fail today because of tool behaviour that is being changed on the main branch, each
# with the note "fixed in main"; a mark whose command then passes fails the test, so that the mark
# is removed when the change arrives. None of the commands the documents show meets one of them.
KNOWN_FAULTS: list[KnownFault] = []


# --- taking the commands out of a document ------------------------------------------------------


@dataclasses.dataclass
class Command:
    doc: str
    line: int  # 1-based line of the command's first line
    text: str  # the command as the shell gets it: comments left out, continued lines joined
    comment: str  # the comments of its lines

    @property
    def where(self) -> str:
        return f"{self.doc}:{self.line}"


def code_block_lines(markdown: str) -> list[tuple[int, str]]:
    """(line number, text) of every line in a fenced block without a language other than a shell's,
    and of every indented block (four spaces or more after a blank line), indentation removed."""
    result: list[tuple[int, str]] = []
    fence: str | None = None
    fence_taken = False
    in_indented = False
    previous_blank = True
    for number, line in enumerate(markdown.splitlines(), start=1):
        stripped = line.strip()
        opener = re.match(r"^\s*(```+|~~~+)\s*([\w+-]*)", line)
        if fence is not None:
            if stripped.startswith(fence[0] * 3) and stripped.strip(fence[0]) == "":
                fence = None
            elif fence_taken:
                result.append((number, stripped))
            previous_blank = False
            continue
        if opener:
            fence = opener.group(1)
            fence_taken = opener.group(2) in ("", "sh", "bash", "shell", "console")
            in_indented = False
            previous_blank = False
            continue
        if not stripped:
            previous_blank = True
            continue
        indent = len(line) - len(line.lstrip(" "))
        if indent >= 4 and (previous_blank or in_indented):
            in_indented = True
            result.append((number, stripped))
        else:
            in_indented = False
        previous_blank = False
    return result


def split_comment(line: str) -> tuple[str, str]:
    """The line without its shell comment (a # that starts a word, outside quotes), and the
    comment."""
    quote = None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\" and quote == '"':
                i += 1
            elif c == quote:
                quote = None
        elif c == "\\":
            i += 1
        elif c in "'\"":
            quote = c
        elif c == "#" and (i == 0 or line[i - 1].isspace()):
            return line[:i].rstrip(), line[i + 1:].strip()
        i += 1
    return line.rstrip(), ""


def program_of(text: str) -> str | None:
    """The program a command line starts, past variable assignments and sudo; None when the line
    does not start a program of ours or one of OTHER_PROGRAMS."""
    try:
        words = shlex.split(text)
    except ValueError:
        words = text.split()
    while words and (re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", words[0]) or words[0] == "sudo"):
        words = words[1:]
    if not words:
        return None
    first = words[0]
    for tool in TOOLS:
        if first == tool or first.endswith("/" + tool):
            return tool
    if first in OTHER_PROGRAMS or first.startswith("scripts/"):
        return first
    return None


def extract_commands(doc: str, markdown: str) -> list[Command]:
    commands: list[Command] = []
    pending: Command | None = None
    for number, raw in code_block_lines(markdown):
        text, comment = split_comment(raw)
        if pending is not None:
            # The line continues the previous one.
            pending.comment = " ".join(c for c in (pending.comment, comment) if c)
            if text.endswith("\\"):
                pending.text += " " + text[:-1].strip()
                continue
            pending.text += " " + text.strip()
            commands.append(pending)
            pending = None
            continue
        if not text or program_of(text) is None:
            continue
        command = Command(doc, number, text, comment)
        if text.endswith("\\"):
            command.text = text[:-1].rstrip()
            pending = command
        else:
            commands.append(command)
    if pending is not None:
        commands.append(pending)
    for command in commands:
        command.text = re.sub(r"\s+", " ", command.text).strip()
    return commands


# --- running them -------------------------------------------------------------------------------


def environment(path_bin: Path, shims: Path | None = None) -> dict[str, str]:
    """The build's tools first on PATH; with shims, a folder where python3 is the interpreter
    running this test, the one the build's Python package is for."""
    env = dict(os.environ)
    env["PATH"] = f"{path_bin}{os.pathsep}{env.get('PATH', '')}"
    if shims is not None:
        shims.mkdir(parents=True, exist_ok=True)
        (shims / "python3").unlink(missing_ok=True)
        (shims / "python3").symlink_to(sys.executable)
        env["PATH"] = f"{shims}{os.pathsep}{env['PATH']}"
    python = os.environ.get("NOXFORMATS_PYTHON")
    if python:
        before = env.get("PYTHONPATH")
        env["PYTHONPATH"] = python + (os.pathsep + before if before else "")
    return env


def shrunk(command: Command) -> str:
    """The command as run: a sample project gets SAMPLE_POINTS points, whatever size the doc asks
    for (the option is still given, so the doc's option is the one parsed)."""
    if program_of(command.text) != "make-sample-project":
        return command.text
    text, count = re.subn(r"(--points|-n)( +|=)\d+", f"--points {SAMPLE_POINTS}", command.text)
    return text if count else f"{text} --points {SAMPLE_POINTS}"


@dataclasses.dataclass
class Outcome:
    code: int | None  # None: did not end in time
    stdout: str
    stderr: str
    problem: str = ""  # what went wrong beyond the exit code


def run_plain(text: str, cwd: Path, env: dict[str, str], timeout: float = 120) -> Outcome:
    try:
        done = subprocess.run(["bash", "-c", text], cwd=cwd, env=env, capture_output=True,
                              text=True, timeout=timeout, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired as expired:
        return Outcome(None, text_of(expired.stdout), text_of(expired.stderr),
                       f"did not end within {timeout:.0f} s")
    return Outcome(done.returncode, done.stdout, done.stderr)


def text_of(output: str | bytes | None) -> str:
    if isinstance(output, bytes):
        return output.decode("utf-8", "replace")
    return output or ""


class Background:
    """A command run beside the test: its standard output read line by line, its standard error
    kept in a file."""

    def __init__(self, text: str, cwd: Path, env: dict[str, str], stderr_file: Path):
        self._stderr = open(stderr_file, "w+")
        # A session of its own: Ctrl-C goes to its process group, the tool and any shell around it.
        self.process = subprocess.Popen(["bash", "-c", text], cwd=cwd, env=env,
                                        stdout=subprocess.PIPE, stderr=self._stderr,
                                        stdin=subprocess.DEVNULL, text=True,
                                        start_new_session=True)
        self.lines: list[str] = []
        self._queue: queue.Queue[str | None] = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self) -> None:
        assert self.process.stdout is not None
        for line in self.process.stdout:
            self._queue.put(line)
        self._queue.put(None)

    def wait_for_line(self, pattern: str, timeout: float) -> re.Match[str] | None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                line = self._queue.get(timeout=max(0.01, deadline - time.monotonic()))
            except queue.Empty:
                break
            if line is None:
                return None
            self.lines.append(line)
            found = re.search(pattern, line)
            if found:
                return found
        return None

    def finish(self, interrupt: bool, timeout: float) -> Outcome:
        if interrupt and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGINT)
        problem = ""
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            problem = f"did not end within {timeout:.0f} s" + (" of Ctrl-C" if interrupt else "")
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        while True:  # the rest of its output
            try:
                line = self._queue.get(timeout=5)
            except queue.Empty:
                break
            if line is None:
                break
            self.lines.append(line)
        self._stderr.seek(0)
        stderr = self._stderr.read()
        self._stderr.close()
        return Outcome(None if problem else self.process.returncode, "".join(self.lines), stderr,
                       problem)


def port_taken(port: int) -> bool:
    with socket.socket() as probe:
        try:
            probe.bind(("127.0.0.1", port))
        except OSError:
            return True
    return False


def run_view(text: str, cwd: Path, env: dict[str, str], aside: Path) -> Outcome:
    """noxconvert view serves until Ctrl-C: the page and the facts are fetched from the address it
    prints, then it is stopped with Ctrl-C."""
    server = Background(text, cwd, env, aside / "view-stderr.txt")
    found = server.wait_for_line(r"showing .* at (http://\S+/) \(Ctrl-C stops\)", 30)
    problems = []
    if not found:
        problems.append("printed no 'showing FILE at ADDRESS' line within 30 s")
    else:
        address = found.group(1)
        try:
            with urllib.request.urlopen(address, timeout=20) as page:
                if page.status != 200 or b"<html" not in page.read().lower():
                    problems.append(f"{address} did not answer the page")
            with urllib.request.urlopen(address + "facts.json", timeout=20) as answer:
                facts = json.load(answer)
                if not facts.get("points"):
                    problems.append(f"{address}facts.json names no points: {facts}")
        except OSError as error:
            problems.append(f"{address}: {error}")
    outcome = server.finish(interrupt=True, timeout=20)
    outcome.problem = "; ".join(p for p in [*problems, outcome.problem] if p)
    return outcome


def run_monitor(text: str, cwd: Path, env: dict[str, str], aside: Path) -> Outcome:
    """noxmonitor waits for progress records: a conversion runs while it waits, and it is stopped
    with Ctrl-C unless the command stops it by itself (--count, --timeout)."""
    monitor = Background(text, cwd, env, aside / "monitor-stderr.txt")
    problems = []
    if not monitor.wait_for_line(r"^noxmonitor: waiting for progress", 20):
        problems.append("printed no 'waiting for progress' line within 20 s")
    else:
        driver = aside / "monitored"
        shutil.rmtree(driver, ignore_errors=True)
        make = run_plain(f"make-sample-project {driver}/project --quiet --points {SAMPLE_POINTS}",
                         cwd, env)
        convert = run_plain(f"noxconvert convert {driver}/project/site.rsp -o {driver}/site.nox "
                            "--quiet --feedback-count 200", cwd, env)
        if make.code != 0 or convert.code != 0:
            problems.append("the conversion beside the monitor failed: " + make.stderr
                            + convert.stderr)
        time.sleep(0.5)  # the last records reach the monitor
    stops_itself = re.search(r"(^| )(-n|--count|-t|--timeout)( |=|$)", text) is not None
    outcome = monitor.finish(interrupt=not stops_itself, timeout=60)
    if not re.search(r"\tphase \d", outcome.stdout):
        problems.append("printed no progress record of the conversion beside it")
    outcome.problem = "; ".join(p for p in [*problems, outcome.problem] if p)
    return outcome


def prepare(doc: str, scratch: Path, env: dict[str, str]) -> None:
    """The files a document's commands take as given. The user guide writes its own sample
    project with its first command; the command reference names a project site/project.rsp, point
    streams in scans/ and a grid scan room.3dd, which the sample project provides."""
    if doc != "docs/noxconvert.md":
        return
    made = run_plain(f"make-sample-project site --quiet --points {SAMPLE_POINTS}", scratch, env)
    assert made.code == 0, made.stderr
    site = scratch / "site"
    (site / "site.rsp").rename(site / "project.rsp")
    (scratch / "scans").mkdir()
    streams = sorted(site.glob("SCANS/*/SINGLESCANS/*.rxp"))
    grids = sorted(site.glob("SCANS/*/SINGLESCANS/*.3dd"))
    assert streams and grids, "the sample project holds point streams and a grid scan"
    for stream in streams:
        shutil.copy(stream, scratch / "scans" / stream.name)
    shutil.copy(grids[0], scratch / "room.3dd")


def synopsis_problem(text: str, cwd: Path, env: dict[str, str]) -> str:
    """What the tool's help contradicts in a usage synopsis ("" when nothing)."""
    words = text.split()
    program = words[0]
    command = [w for w in words[1:2] if re.fullmatch(r"[a-z]+", w)]
    helped = run_plain(shlex.join([program, *command, "--help"]), cwd, env, timeout=30)
    if helped.code != 0:
        return f"`{shlex.join([program, *command, '--help'])}` ends with exit {helped.code}: " + \
            helped.stderr.strip()
    missing = [option for option in re.findall(r"(?<![\w-])--?[a-z][\w-]*", text)
               if not re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", helped.stdout)]
    if missing:
        return f"`{shlex.join([program, *command, '--help'])}` does not list {', '.join(missing)}"
    return ""


def line_of(markdown: str, words: str) -> int | None:
    for number, line in enumerate(markdown.splitlines(), start=1):
        if words in line:
            return number
    return None


def run_doc(doc: str, markdown: str, scratch: Path, aside: Path, env: dict[str, str],
            have_view: bool, skipped: list[Skip], expected_exits: list[ExpectedExit],
            known_faults: list[KnownFault],
            synopses: list[tuple[str, str]] = SYNOPSES) -> tuple[list[str], list[str]]:
    """Runs the commands of one document in scratch, in order: what was done with each, and the
    failures."""
    commands = extract_commands(doc, markdown)
    failures: list[str] = []
    for entry in [*expected_exits, *known_faults]:
        if entry.doc == doc and not any(c.text == entry.command for c in commands):
            failures.append(f"{doc}: no command `{entry.command}` any more; drop its entry")
    for entry in expected_exits:
        if entry.doc == doc and line_of(markdown, entry.said) is None:
            failures.append(f"{doc}: no longer says '{entry.said}' for `{entry.command}`")

    def find(entries, command):
        return next((e for e in entries if e.doc == doc and e.command == command.text), None)

    used_skips = set()
    report: list[str] = []
    for command in commands:
        if any(d == doc and re.search(p, command.text) for d, p in synopses):
            problem = synopsis_problem(command.text, scratch, env)
            report.append(f"{'FAILED' if problem else 'synopsis':<8} {command.where}: "
                          f"{command.text}")
            if problem:
                failures.append(f"{command.where}: the synopsis `{command.text}`: {problem}")
            continue
        skip = next((e for e in skipped if e.doc == doc and re.search(e.pattern, command.text)),
                    None)
        if skip is not None:
            used_skips.add(id(skip))
            report.append(f"skipped  {command.where}: {command.text}  ({skip.reason})")
            continue
        program = program_of(command.text)
        if program not in TOOLS:
            failures.append(f"{command.where}: `{command.text}` is neither run nor skipped: "
                            "add it to SKIPPED with the reason")
            continue
        words = shlex.split(command.text)
        if words[0].endswith("noxconvert") and words[1:2] == ["view"]:
            if not have_view:
                report.append(f"skipped  {command.where}: {command.text}  (no view in this build)")
                continue
            if "--port" not in words and port_taken(8470):
                report.append(f"skipped  {command.where}: {command.text}  (port 8470 is taken on "
                              "this machine and the test has no network of its own)")
                continue
            run = run_view
        elif program == "noxmonitor":
            run = run_monitor
        else:
            run = lambda text, cwd, env, aside: run_plain(text, cwd, env)  # noqa: E731
        text = shrunk(command)
        outcome = run(text, scratch, env, aside)

        expected = find(expected_exits, command)
        want = expected.code if expected else 0
        ok = outcome.code == want and not outcome.problem
        fault = find(known_faults, command)
        if fault is not None:
            if not ok and outcome.code == fault.code:
                report.append(f"known    {command.where}: {text}  -> exit {outcome.code} "
                              f"({fault.note})")
            else:
                failures.append(f"{command.where}: `{text}` no longer fails as marked (exit "
                                f"{outcome.code}, marked {fault.code}): remove its KNOWN_FAULTS "
                                "mark")
            continue
        report.append(f"{'ran' if ok else 'FAILED':<8} {command.where}: {text}  -> exit "
                      f"{outcome.code}")
        if not ok:
            said = f", as line {line_of(markdown, expected.said)} says" if expected else ""
            details = "; ".join(p for p in (f"exit {outcome.code}", outcome.problem) if p)
            message = f"{command.where}: `{text}` (expected exit {want}{said}): {details}"
            message += "\n    stderr: " + indented(outcome.stderr)
            if outcome.stdout.strip():
                message += "\n    stdout: " + indented(outcome.stdout[-2000:])
            failures.append(message)

    for skip in skipped:
        if skip.doc == doc and id(skip) not in used_skips:
            failures.append(f"{doc}: the skip `{skip.pattern}` matches no command any more")
    return report, failures


def indented(text: str) -> str:
    return (text.strip() or "(empty)").replace("\n", "\n            ")


def tool_environment(tmp_path_factory) -> tuple[dict[str, str], Path]:
    bin_dir = os.environ.get("NOXFORMATS_BIN")
    if not bin_dir:
        pytest.fail("NOXFORMATS_BIN names no folder of tools (tests/docs/CMakeLists.txt sets it)",
                    pytrace=False)
    scratch = os.environ.get("NOXFORMATS_SCRATCH")
    root = Path(scratch) if scratch else tmp_path_factory.mktemp("docs")
    return environment(Path(bin_dir), root / "shims"), root


def fresh(folder: Path) -> Path:
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder



# --- the tests ----------------------------------------------------------------------------------


def source_root() -> Path:
    return Path(os.environ.get("NOXFORMATS_SOURCE", Path(__file__).resolve().parents[2]))


def test_takes_commands_from_fenced_and_indented_blocks_only():
    markdown = "\n".join([
        "Prose `noxconvert info a.nox` inline.",  # 1: inline, not a block
        "",
        "    noxconvert info a.nox          # what it holds",  # 3
        "    noxconvert export a.nox 'b #1.ply'",  # 4: a # inside quotes stays
        "",
        "```json",  # 6
        "noxconvert formats",  # not a shell block
        "```",
        "```",  # 9
        "noxconvert: error: FILE: MEANING",  # a message, not a command
        "make-sample-project big \\",  # 11
        "    --points 5000  # many",
        "written: /data/site.nox",
        "```",
        "Some prose",  # 15
        "    noxconvert formats",  # 16: indented, but no blank line before it: prose
        "",
        "- a list item",
        "",
        "      LD_LIBRARY_PATH=/x noxconvert formats",  # 20
        "      sample/site.rsp     the project",  # a listing, not a command
    ])
    commands = extract_commands("x.md", markdown)
    assert [(c.line, c.text, c.comment) for c in commands] == [
        (3, "noxconvert info a.nox", "what it holds"),
        (4, "noxconvert export a.nox 'b #1.ply'", ""),
        (11, "make-sample-project big --points 5000", "many"),
        (20, "LD_LIBRARY_PATH=/x noxconvert formats", ""),
    ]


def test_sample_projects_are_made_small_whatever_size_the_doc_asks():
    assert shrunk(Command("x", 1, "make-sample-project big --points 50000000", "")) == \
        f"make-sample-project big --points {SAMPLE_POINTS}"
    assert shrunk(Command("x", 1, "make-sample-project sample", "")) == \
        f"make-sample-project sample --points {SAMPLE_POINTS}"
    assert shrunk(Command("x", 1, "noxconvert convert a.rxp -o b.nox", "")) == \
        "noxconvert convert a.rxp -o b.nox"


def test_expected_codes_known_faults_and_stale_entries_are_held_to_the_doc(tmp_path_factory):
    env, root = tool_environment(tmp_path_factory)
    scratch, aside = fresh(root / "bookkeeping"), fresh(root / "bookkeeping.aside")
    markdown = "\n".join([
        "A missing file ends the export with exit 4:",
        "",
        "    noxconvert export missing.nox out.ply",  # 3
        "    noxconvert info missing.nox",  # 4: fails, marked
        "    noxconvert formats",  # 5: passes, marked
        "    noxconvert export also-missing.nox out.ply",  # 6: fails, no entry
        "    scripts/setup.sh",  # 7: not ours, no skip
        "    noxconvert export third.nox out.ply",  # 8: exit 4, but the doc does not say so
        "    noxconvert preview FILE.nox OUT.png [--width N] [--depth N]",  # 9: no --depth
        "    noxconvert info FILE.nox [--json]",  # 10: as the help says
    ])
    expected = [ExpectedExit("x.md", "noxconvert export missing.nox out.ply", 4, "exit 4"),
                ExpectedExit("x.md", "noxconvert gone", 1, "exit 4"),
                ExpectedExit("x.md", "noxconvert export third.nox out.ply", 4, "no such words")]
    faults = [KnownFault("x.md", "noxconvert info missing.nox", 4, "fixed in main"),
              KnownFault("x.md", "noxconvert formats", 0, "fixed in main")]
    skips = [Skip("x.md", r"^make-sample-project", "stale")]
    synopses = [("x.md", r"\bFILE\b")]
    report, failures = run_doc("x.md", markdown, scratch, aside, env, True, skips, expected, faults,
                               synopses)
    text = "\n".join(failures)
    assert any(line.startswith("ran      x.md:3:") for line in report), report
    assert any(line.startswith("known    x.md:4:") for line in report), report
    assert "no command `noxconvert gone` any more" in text
    assert "no longer says 'no such words' for `noxconvert export third.nox out.ply`" in text
    assert any(line.startswith("ran      x.md:8:") for line in report), report
    assert "x.md:5: `noxconvert formats` no longer fails as marked" in text
    assert "x.md:6: `noxconvert export also-missing.nox out.ply` (expected exit 0): exit 4" in text
    assert "also-missing.nox" in text.split("x.md:6:")[1].split("stderr:")[1], \
        "the failure carries the command's standard error"
    assert "x.md:7: `scripts/setup.sh` is neither run nor skipped" in text
    assert "the skip `^make-sample-project` matches no command any more" in text
    assert "x.md:9: the synopsis `noxconvert preview FILE.nox OUT.png [--width N] [--depth N]`: " \
        "`noxconvert preview --help` does not list --depth" in text
    assert any(line.startswith("synopsis x.md:10:") for line in report), report
    assert len(failures) == 7, text


@pytest.mark.parametrize("key", list(DOCS))
def test_commands_of(key: str, tmp_path_factory):
    doc = DOCS[key]
    markdown = (source_root() / doc).read_text(encoding="utf-8")
    env, root = tool_environment(tmp_path_factory)
    scratch = fresh(root / key)
    aside = fresh(root / f"{key}.aside")  # files of the test itself, apart from the doc's
    prepare(doc, scratch, env)
    have_view = os.environ.get("NOXFORMATS_VIEW", "1") == "1"
    report, failures = run_doc(doc, markdown, scratch, aside, env, have_view, SKIPPED,
                               EXPECTED_EXITS, KNOWN_FAULTS)
    print("\n".join(report))
    if failures:
        pytest.fail(f"{len(failures)} of the commands of {doc}:\n" + "\n".join(failures),
                    pytrace=False)

#!/usr/bin/env python3
"""Mutation check: which realistic faults does the test suite catch?

Applies each fault of tests/mutants.txt to the working tree in turn, rebuilds incrementally,
runs the suite with ctest on the existing build tree, restores the file, and prints each
fault as CAUGHT, SURVIVED or BUILD FAILS (NOT FOUND and AMBIGUOUS entries are not run), then
the score. See the list file's head comment for its format.

    scripts/mutants.py                  every fault (make mutants runs this)
    scripts/mutants.py --only midi/     faults whose "path: description" contains the text
    scripts/mutants.py --check          only checks that each original text is found once
    scripts/mutants.py --build-only     only checks that each fault compiles (no tests)
    scripts/mutants.py --restore        only restores a file left mutated by a killed run

The file being mutated is backed up under <build>/mutants/ before it is changed, with a
note of what was done, so that a run that was killed outright is undone by the next one.
Nothing else outside that folder is changed, apart from what building and testing write
into the build trees.
"""

import argparse
import contextlib
import hashlib
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_LIST = ROOT / "tests" / "mutants.txt"

# The tests most likely to catch a fault in a folder run first, so that a caught fault
# costs the time of those tests rather than of the whole suite. Default: <folder>_tests.
FIRST_TESTS = {
    "protocol": ["protocol_native_tests", "protocol_tests", "protocol_fuzz"],
    "app": ["e2e_tests", "package_tests"],
}
HOST_FOLDER = "protocol/"  # the native build (tests/host) compiles sources from here

# A test may take this many times its time in the unmutated run (at least MIN_LIMIT
# seconds) before it counts as hanging: a fault that makes the suite wait forever is caught.
LIMIT_FACTOR = 3.0
MIN_LIMIT = 30.0
# After the first failing test, how long its output (--output-on-failure) is still read.
OUTPUT_GRACE = 1.0

HANDLED_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class Interrupted(BaseException):
    """Raised by the signal handler; a BaseException so that no cleanup swallows it."""


@contextlib.contextmanager
def signals_deferred():
    """Holds SIGINT/SIGTERM/SIGHUP back while the tree or the processes are being put right."""
    previous = signal.pthread_sigmask(signal.SIG_BLOCK, HANDLED_SIGNALS)
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)


def on_signal(signum, _frame):
    raise Interrupted(signal.Signals(signum).name)


def sha(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


def say(text=""):
    print(text, flush=True)


def shown(path):
    """A path as short as it can be said: relative when inside the repository."""
    path = Path(path).resolve()
    return str(path.relative_to(ROOT)) if path.is_relative_to(ROOT) else str(path)


# --- The list file -------------------------------------------------------------------------

@dataclass
class Entry:
    number: int
    line: int
    path: str
    description: str
    equivalent: str = None  # the reason, when the fault is written down as equivalent
    original: list = field(default_factory=list)
    replacement: list = field(default_factory=list)

    @property
    def title(self):
        return f"{self.path}: {self.description}"

    def original_text(self):
        return "\n".join(self.original)


HEADER = re.compile(r"^## (?P<path>[^:\s][^:]*?): (?P<description>.*\S)\s*$")
EQUIVALENT = re.compile(r"\s*\[equivalent:\s*(?P<reason>[^\]]*\S)\s*\]\s*$")


def parse_list(path: Path):
    """Entries and format errors ("file:line: message") of a list file."""
    entries, errors = [], []
    entry = None

    def finish():
        if entry is None:
            return
        if not entry.original:
            errors.append(f"{path}:{entry.line}: entry has no '-' line (the original text)")
        elif entry.original == entry.replacement:
            errors.append(f"{path}:{entry.line}: the replacement is the original text: no fault")
        else:
            entries.append(entry)

    text = path.read_text(encoding="utf-8")
    for number, raw in enumerate(text.split("\n"), start=1):
        line = raw[:-1] if raw.endswith("\r") else raw
        if line.startswith("## "):
            finish()
            match = HEADER.match(line)
            if not match:
                errors.append(f"{path}:{number}: expected '## <path>: <description>'")
                entry = None
                continue
            description, equivalent = match["description"], None
            marked = EQUIVALENT.search(description)
            if marked:
                equivalent = marked["reason"]
                description = description[: marked.start()].rstrip()
            relative = Path(match["path"])
            if relative.is_absolute() or ".." in relative.parts:
                errors.append(f"{path}:{number}: the path must be relative to the repository, inside it")
            entry = Entry(len(entries) + 1, number, match["path"], description, equivalent)
        elif line.startswith("#") or not line.strip():
            continue
        elif line[0] in "-+":
            if entry is None:
                errors.append(f"{path}:{number}: '{line[0]}' line outside an entry")
            elif line[0] == "-":
                if entry.replacement:
                    errors.append(f"{path}:{number}: '-' line after a '+' line: originals come first")
                entry.original.append(line[1:])
            else:
                entry.replacement.append(line[1:])
        else:
            errors.append(f"{path}:{number}: unexpected line: an entry starts with '## ', its lines with "
                          f"'-' or '+'; '#' starts a comment")
    finish()
    errors.sort(key=lambda error: int(error.split(":")[1]))
    for index, item in enumerate(entries, start=1):
        item.number = index
    return entries, errors


def read_source(path: Path) -> str:
    return path.read_bytes().decode("utf-8", errors="surrogateescape")


def find_places(content: str, original: str):
    """Start offsets where the original lines stand as whole lines of the file."""
    places, start = [], 0
    while True:
        at = content.find(original, start)
        if at < 0:
            return places
        end = at + len(original)
        starts_line = at == 0 or content[at - 1] == "\n"
        ends_line = end == len(content) or content[end] in "\r\n"
        if starts_line and ends_line:
            places.append(at)
        start = at + 1


def locate(entry: Entry):
    """('ok', mutated content) or ('NOT FOUND' | 'AMBIGUOUS', reason)."""
    path = ROOT / entry.path
    if not path.is_file():
        return "NOT FOUND", "no such file"
    content = read_source(path)
    original = entry.original_text()
    places = find_places(content, original)
    if not places:
        return "NOT FOUND", "the original text is not in the file"
    if len(places) > 1:
        return "AMBIGUOUS", f"the original text stands in {len(places)} places"
    at, end = places[0], places[0] + len(original)
    if entry.replacement:
        mutated = content[:at] + "\n".join(entry.replacement) + content[end:]
    else:
        # Deleting lines takes their line ends with them.
        if content.startswith("\r\n", end):
            end += 2
        elif content.startswith("\n", end):
            end += 1
        mutated = content[:at] + content[end:]
    return "ok", mutated.encode("utf-8", errors="surrogateescape")


# --- Scratch folder, backup and recovery ---------------------------------------------------

class Scratch:
    """<build>/mutants: the backup of the file being mutated, a note of the mutation in
    progress, the ctest folder with this run's time limits, and the logs."""

    def __init__(self, build: Path):
        self.build = build
        self.folder = build / "mutants"
        self.state = self.folder / "state.json"
        self.backup = self.folder / "backup"
        self.logs = self.folder / "logs"
        self.ctest = self.folder / "ctest"

    def prepare(self):
        for folder in (self.folder, self.backup, self.ctest):
            folder.mkdir(parents=True, exist_ok=True)
        # The previous run's logs stay beside this run's.
        previous = self.folder / "logs.previous"
        if self.logs.exists():
            if previous.exists():
                shutil.rmtree(previous)
            self.logs.rename(previous)
        self.logs.mkdir()

    def read_state(self):
        try:
            return json.loads(self.state.read_text())
        except FileNotFoundError:
            return None

    def write_state(self, state):
        temporary = self.state.with_suffix(".tmp")
        with open(temporary, "w") as file:
            json.dump(state, file, indent=1)
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, self.state)

    def clear_state(self, state):
        (self.folder / state["backup"]).unlink(missing_ok=True)
        self.state.unlink(missing_ok=True)


class Mutation:
    """One fault applied to one file; restore() puts the file back, however the run ends."""

    def __init__(self, scratch: Scratch, entry: Entry, mutated: bytes):
        self.scratch = scratch
        self.entry = entry
        self.mutated = mutated
        self.path = ROOT / entry.path
        self.original = None
        self.state = None

    def apply(self):
        with signals_deferred():
            self.original = self.path.read_bytes()
            backup = Path("backup") / self.entry.path.replace("/", "__")
            with open(self.scratch.folder / backup, "wb") as file:
                file.write(self.original)
                file.flush()
                os.fsync(file.fileno())
            self.state = {
                "path": self.entry.path,
                "fault": self.entry.description,
                "backup": str(backup),
                "original_sha256": sha(self.original),
                "mutant_sha256": sha(self.mutated),
                "child": None,
            }
            self.scratch.write_state(self.state)
            # In place, so that the file keeps its inode and permissions.
            with open(self.path, "wb") as file:
                file.write(self.mutated)

    def note_child(self, pid, command):
        if self.state is not None:
            with signals_deferred():
                self.state["child"] = None if pid is None else {"pid": pid, "command": command}
                self.scratch.write_state(self.state)

    def restore(self):
        if self.state is None:
            return
        with signals_deferred():
            put_back(self.path, self.original)
            self.scratch.clear_state(self.state)
            self.state = None


def put_back(path: Path, original: bytes):
    """Writes the original content back with the current time as its modification time.

    Restoring the old time would be wrong: the object compiled from the mutant is newer
    than that, so an incremental build would keep it and test the fault again. With the
    current time the next build recompiles the file and relinks what uses it."""
    with open(path, "wb") as file:
        file.write(original)
    os.utime(path, ns=(time.time_ns(), time.time_ns()))


def leftover_group(child):
    """The process group of a command that a killed run left behind, if it is still there."""
    if not child:
        return None
    pid = child["pid"]
    try:
        argv0 = Path("/proc", str(pid), "cmdline").read_bytes().split(b"\0")[0].decode()
        fields = Path("/proc", str(pid), "stat").read_text().rsplit(")", 1)[1].split()
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return None
    # Started by this script in a session of its own: the leader of its group and session.
    same_command = os.path.basename(argv0) == os.path.basename(child["command"])
    if same_command and int(fields[2]) == pid and int(fields[3]) == pid:
        return pid
    return None


# --- Processes -----------------------------------------------------------------------------

def end_group(process):
    """Ends a command started in a session of its own, with everything it started."""
    with signals_deferred():
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGTERM)
        with contextlib.suppress(subprocess.TimeoutExpired):
            process.wait(timeout=5)
        # Whatever is left of the group (tests under Wine, compilers) does not get a choice.
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def child_setup():
    """In the child, before the command starts: signals as a fresh process has them, even
    when the command is started while this script holds them back."""
    for sig in HANDLED_SIGNALS:
        signal.signal(sig, signal.SIG_DFL)
    signal.pthread_sigmask(signal.SIG_SETMASK, [])


def run_command(command, log, mutation=None, env=None, watch=None, deadline=None):
    """Runs `command` (its output into `log`) in a session of its own.

    `watch(line)` is told every output line and returns True when the run can stop: the
    command is then ended after OUTPUT_GRACE seconds. Returns (exit code or None, why it
    was stopped: None, 'watch' or 'deadline')."""
    log.write(f"$ {' '.join(str(part) for part in command)}\n".encode())
    log.flush()
    process = subprocess.Popen(command, cwd=ROOT, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True, preexec_fn=child_setup)
    if mutation:
        mutation.note_child(process.pid, str(command[0]))
    stop_at, stopped, pending = None, None, b""
    exited_at = None
    try:
        stream = process.stdout.fileno()
        while True:
            now = time.monotonic()
            if stop_at is not None and now >= stop_at:
                stopped = "watch"
                break
            if deadline is not None and now >= deadline:
                stopped = "deadline"
                break
            if process.poll() is not None:
                # Output still held open by something the command left running.
                exited_at = exited_at or now
                if now - exited_at > 2:
                    break
            limits = [limit for limit in (stop_at, deadline) if limit is not None]
            wait = min([1.0] + [max(0.0, limit - now) for limit in limits])
            ready, _, _ = select.select([stream], [], [], wait)
            if not ready:
                continue
            chunk = os.read(stream, 65536)
            if not chunk:
                break
            log.write(chunk)
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in lines:
                if watch and stop_at is None and watch(line.decode(errors="replace")):
                    stop_at = time.monotonic() + OUTPUT_GRACE
        if stopped is None:
            process.wait()
            return process.returncode, None
        return None, stopped
    finally:
        if process.poll() is None or stopped:
            end_group(process)
        else:
            # Nothing the command started outlives it.
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGKILL)
        process.stdout.close()
        if mutation:
            mutation.note_child(None, None)
        log.flush()


# --- Building and testing ------------------------------------------------------------------

RESULT = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (?P<name>\S+) \.*\s*(?P<status>.*?)\s+(?P<seconds>[\d.]+) sec")


class Suite:
    def __init__(self, args, scratch: Scratch):
        self.args = args
        self.scratch = scratch
        self.build = args.build_dir
        self.host = args.host_dir
        self.host_stale = False
        self.durations = {}
        self.limits = {}

    def build_trees(self, log, mutation=None, path=""):
        """'built', 'built on the second try' or '' when a tree did not build."""
        trees = [self.build]
        if self.host_stale or path.startswith(HOST_FOLDER):
            trees.append(self.host)
        outcome = "built"
        for tree in trees:
            command = ["cmake", "--build", str(tree), "-j", str(self.args.jobs)]
            code, _ = run_command(command, log, mutation)
            if code != 0:
                # A compile error fails again at once; anything else gets a second chance
                # rather than blaming the entry.
                log.write(b"\n*** the build failed; trying once more\n")
                code, _ = run_command(command, log, mutation)
                if code != 0:
                    return ""
                outcome = "built on the second try"
            if tree == self.host:
                self.host_stale = False
        return outcome

    def stop_wine(self, log):
        """Stops this build tree's Wine server and whatever still runs in its prefix (a
        stopped or failed ctest run skips the fixture's own cleanup)."""
        env = dict(os.environ, SYSEXDUMP_BUILD_DIR=str(self.build))
        run_command([str(ROOT / "scripts" / "wine-prefix.sh"), "stop", str(self.build)], log, env=env)

    def write_ctest_folder(self, first_tests):
        """A ctest folder of our own: the build tree's tests with this run's time limits,
        the tests for the mutated folder first, and ctest's records kept out of the build tree."""
        lines = ["# Written by scripts/mutants.py for one run of the suite.",
                 f"subdirs([=[{self.build}]=])"]
        for name, limit in sorted(self.limits.items()):
            lines.append(f"set_tests_properties([=[{name}]=] PROPERTIES TIMEOUT {limit:.0f})")
        (self.scratch.ctest / "CTestTestfile.cmake").write_text("\n".join(lines) + "\n")
        # ctest starts the tests that failed last time first, then the longest.
        costs = self.scratch.ctest / "Testing" / "Temporary"
        costs.mkdir(parents=True, exist_ok=True)
        text = "".join(f"{name} 1 {seconds:.3f}\n" for name, seconds in self.durations.items())
        text += "---\n" + "".join(f"{name}\n" for name in first_tests if name in self.durations)
        (costs / "CTestCostData.txt").write_text(text)

    def run_tests(self, log, mutation=None, first_tests=()):
        """(passed, failing tests with their status, durations of the tests that passed)."""
        self.write_ctest_folder(first_tests)
        env = dict(os.environ, GTEST_FAIL_FAST="1")
        failures, durations = {}, {}

        def watch(line):
            match = RESULT.match(line)
            if not match:
                return False
            status = match["status"].lstrip("*")
            if status == "Passed":
                durations[match["name"]] = float(match["seconds"])
                return False
            failures[match["name"]] = f"{status} after {float(match['seconds']):.0f} s"
            return True

        deadline = None
        if self.limits:
            deadline = time.monotonic() + sum(self.limits.values()) + 120
        command = ["ctest", "--test-dir", str(self.scratch.ctest), "-j", str(self.args.jobs),
                   "--output-on-failure", "--stop-on-failure", "--no-tests=error",
                   "--resource-spec-file", str(ROOT / "tests" / "ctest-resources.json")]
        code, stopped = run_command(command, log, mutation, env=env, watch=watch, deadline=deadline)
        if stopped == "deadline":
            failures["the suite"] = "did not finish in time"
        elif code != 0 and not failures:
            failures["ctest"] = f"exit code {code}"
        if failures:
            self.stop_wine(log)
        return not failures, failures, durations

    def first_tests(self, path):
        folder = path.split("/", 1)[0]
        return FIRST_TESTS.get(folder, [f"{folder}_tests"])

    def set_limits(self, durations):
        self.durations = dict(durations)
        self.limits = {name: max(MIN_LIMIT, LIMIT_FACTOR * seconds) for name, seconds in durations.items()}


# --- Running the list ----------------------------------------------------------------------

@dataclass
class Result:
    entry: Entry
    outcome: str  # CAUGHT, SURVIVED, BUILD FAILS, NOT FOUND, AMBIGUOUS
    seconds: float = 0.0
    detail: str = ""


def report_line(result: Result, total: int):
    entry = result.entry
    width = len(str(total))
    mark = " (marked equivalent)" if entry.equivalent and result.outcome in ("CAUGHT", "SURVIVED") else ""
    detail = f"  [{result.detail}]" if result.detail else ""
    say(f"[{entry.number:>{width}}/{total}] {result.outcome:<11} {result.seconds:6.1f} s  "
        f"{entry.title}{mark}{detail}")


def run_entry(entry: Entry, suite: Suite, scratch: Scratch) -> Result:
    started = time.monotonic()
    status, found = locate(entry)
    if status != "ok":
        return Result(entry, status, 0.0, found)
    mutation = Mutation(scratch, entry, found)
    log_path = scratch.logs / f"{entry.number:03d}.log"
    with open(log_path, "wb") as log:
        log.write(f"{entry.title}\n".encode())
        try:
            mutation.apply()
            built = suite.build_trees(log, mutation, entry.path)
            if not built:
                return Result(entry, "BUILD FAILS", time.monotonic() - started,
                              f"log: {shown(log_path)}")
            retried = [] if built == "built" else [f"{built}, see {shown(log_path)}"]
            if suite.args.build_only:
                return Result(entry, "BUILDS", time.monotonic() - started, "; ".join(retried))
            passed, failures, _ = suite.run_tests(log, mutation, suite.first_tests(entry.path))
            seconds = time.monotonic() - started
            if passed:
                return Result(entry, "SURVIVED", seconds, "; ".join(retried))
            caught_by = ", ".join(f"{name} {status.lower()}" for name, status in failures.items())
            return Result(entry, "CAUGHT", seconds, "; ".join([caught_by] + retried))
        finally:
            mutation.restore()
            if entry.path.startswith(HOST_FOLDER):
                suite.host_stale = True


def summarize(results, selected_count, interrupted=None, build_only=False):
    counts = {}
    for result in results:
        counts[result.outcome] = counts.get(result.outcome, 0) + 1
    caught = counts.get("CAUGHT", 0)
    build_fails = counts.get("BUILD FAILS", 0)
    run = caught + counts.get("SURVIVED", 0) + build_fails
    survivors = [r for r in results if r.outcome == "SURVIVED" and not r.entry.equivalent]
    equivalent = [r for r in results if r.outcome == "SURVIVED" and r.entry.equivalent]
    wrongly_marked = [r for r in results if r.outcome == "CAUGHT" and r.entry.equivalent]
    to_fix = [r for r in results if r.outcome in ("BUILD FAILS", "NOT FOUND", "AMBIGUOUS")]
    counted = run - build_fails - len(equivalent)

    say()
    if interrupted:
        say(f"Interrupted ({interrupted}) after {len(results)} of {selected_count} faults.")
        if not results:
            return to_fix
    if build_only:
        say(f"{counts['BUILDS']} faults build, {build_fails} do not; not run: "
            f"{counts.get('NOT FOUND', 0)} not found, {counts.get('AMBIGUOUS', 0)} ambiguous")
        for result in to_fix:
            say(f"  {result.entry.title} ({result.outcome}: {result.detail})")
        return to_fix
    if counted:
        say(f"Score: {caught}/{counted} = {100.0 * caught / counted:.0f} % caught")
    else:
        say("Score: none, no fault was counted")
    say(f"  {run} run: {caught} caught, {len(survivors) + len(equivalent)} survived "
        f"({len(equivalent)} of them marked equivalent, not counted), {build_fails} did not build; "
        f"not run: {counts.get('NOT FOUND', 0)} not found, {counts.get('AMBIGUOUS', 0)} ambiguous")
    for title, group in (("Survivors", survivors), ("Equivalent survivors (not counted)", equivalent),
                         ("Marked equivalent but caught: the mark is wrong", wrongly_marked),
                         ("Entries to fix", to_fix)):
        if group:
            say(f"{title}:")
            for result in group:
                why = f" ({result.outcome}: {result.detail})" if group is to_fix else ""
                say(f"  {result.entry.title}{why}")
    return to_fix


def recover(scratch: Scratch, suite: Suite, log, left_by="a run that was killed") -> bool:
    """Undoes a mutation that is still recorded in the scratch folder: one left by a run
    killed outright, or one this run had no time to undo. False when the file was changed
    since and cannot be restored safely."""
    state = scratch.read_state()
    if state is None:
        return True
    path = ROOT / state["path"]
    backup = scratch.folder / state["backup"]
    group = leftover_group(state.get("child"))
    if group:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(group, signal.SIGKILL)
        say(f"mutants: ended the {state['child']['command']} (process group {group}) the killed run left")
    current = path.read_bytes() if path.exists() else None
    if not backup.exists():
        say(f"mutants: {state['path']} may still hold the fault '{state['fault']}', but its backup "
            f"{backup} is missing: check it with git diff")
        return False
    original = backup.read_bytes()
    if current is not None and sha(current) == state["mutant_sha256"]:
        put_back(path, original)
        say(f"mutants: restored {state['path']}, left holding the fault '{state['fault']}' "
            f"by {left_by}")
    elif current is not None and sha(current) == state["original_sha256"]:
        put_back(path, original)  # the build tree may still hold the mutant's objects
        say(f"mutants: {state['path']} was already restored; it will be rebuilt")
    else:
        say(f"mutants: {state['path']} changed after {left_by} applied the fault "
            f"'{state['fault']}'; it is left alone. Its content before the fault: {backup}")
        return False
    if state["path"].startswith(HOST_FOLDER):
        suite.host_stale = True
    suite.stop_wine(log)
    scratch.clear_state(state)
    return True


def check(entries) -> int:
    problems = 0
    for entry in entries:
        status, detail = locate(entry)
        if status != "ok":
            problems += 1
            say(f"{status:<10} {entry.title}  ({detail}; list line {entry.line})")
    if problems:
        say(f"{problems} of {len(entries)} entries need fixing")
        return 1
    say(f"{len(entries)} entries: each original text stands exactly once in its file")
    return 0


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", type=Path, default=DEFAULT_LIST, help="the fault list (tests/mutants.txt)")
    parser.add_argument("--only", default="", help="run the faults whose 'path: description' contains this text")
    parser.add_argument("--check", action="store_true", help="only check that each original text is found once")
    parser.add_argument("--restore", action="store_true", help="only restore a file left mutated by a killed run")
    parser.add_argument("--build-only", action="store_true",
                        help="only check that each fault builds: apply, build, restore, no tests")
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build")
    parser.add_argument("--host-dir", type=Path, default=None, help="the native tree (default <build>/host)")
    parser.add_argument("--jobs", "-j", type=int, default=os.cpu_count() or 2)
    args = parser.parse_args()
    args.build_dir = args.build_dir.resolve()
    args.host_dir = (args.host_dir or args.build_dir / "host").resolve()
    return args


def main() -> int:
    args = parse_args()
    if args.restore:
        # Needs neither the list nor a display: only the scratch folder's note.
        scratch = Scratch(args.build_dir)
        if scratch.read_state() is None:
            return 0
        with signals_deferred(), open(scratch.folder / "restore.log", "wb") as log:
            return 0 if recover(scratch, Suite(args, scratch), log) else 2
    entries, errors = parse_list(args.list)
    if errors:
        say("\n".join(errors))
        return 2
    selected = [e for e in entries if args.only.lower() in e.title.lower()]
    if args.check:
        return check(selected)

    if not args.build_only and not os.environ.get("DISPLAY"):
        # The tests open windows: give them a virtual display, as make test does.
        xvfb = shutil.which("xvfb-run")
        if xvfb is None:
            say("mutants: no display, and xvfb-run is missing (run make bootstrap)")
            return 2
        os.execv(xvfb, [xvfb, "-a", "-s", "-screen 0 1280x1024x24", sys.executable, *sys.argv])

    for sig in HANDLED_SIGNALS:
        signal.signal(sig, on_signal)
    scratch = Scratch(args.build_dir)
    suite = Suite(args, scratch)
    for tree, target in ((args.build_dir, "build"), (args.host_dir, "host")):
        if not (tree / "CMakeCache.txt").exists():
            say(f"mutants: {tree} is not a configured build tree; run make {target} first")
            return 2
    scratch.prepare()
    results = []
    try:
        with open(scratch.logs / "setup.log", "wb") as log:
            if not recover(scratch, suite, log):
                return 2
            only = f', {len(selected)} selected by "{args.only}"' if args.only else ""
            say(f"mutants: {len(entries)} faults in {shown(args.list)}{only}"
                + (" (build only)" if args.build_only else ""))
            if not selected:
                return 0
            started = time.monotonic()
            suite.host_stale = True
            if not suite.build_trees(log):
                say(f"mutants: the tree does not build without faults; see {shown(log.name)}")
                return 2
            if args.build_only:
                passed, failures, durations = True, {}, {}
            else:
                passed, failures, durations = suite.run_tests(log)
            if not passed:
                say(f"mutants: the suite fails without any fault ({', '.join(failures)}); "
                    f"fix that first. Output: {shown(log.name)}")
                return 2
            suite.set_limits(durations)
        if not args.build_only:
            longer = sorted((item for item in suite.limits.items() if item[1] > MIN_LIMIT), key=lambda item: -item[1])
            say(f"mutants: the suite passes without faults ({time.monotonic() - started:.0f} s with the build); "
                f"time limit per test: " + "".join(f"{name} {limit:.0f} s, " for name, limit in longer) +
                f"{'others ' if longer else ''}{MIN_LIMIT:.0f} s")
        for entry in selected:
            result = run_entry(entry, suite, scratch)
            results.append(result)
            report_line(result, len(entries))
        with open(scratch.logs / "rebuild.log", "wb") as log:
            # Leaves the build trees matching the sources again.
            suite.build_trees(log)
        to_fix = summarize(results, len(selected), build_only=args.build_only)
        say(f"Logs: {shown(scratch.logs)}")
        return 1 if to_fix else 0
    except Interrupted as signal_name:
        with signals_deferred():
            # A further signal now only loses itself: the tree is put right first.
            for sig in HANDLED_SIGNALS:
                signal.signal(sig, signal.SIG_IGN)
            with open(scratch.folder / "interrupted.log", "wb") as log:
                # Normally the fault is already undone; a second signal at the wrong moment
                # can leave it recorded but not undone.
                recover(scratch, suite, log, left_by="this run when it was interrupted")
                suite.stop_wine(log)
            summarize(results, len(selected), interrupted=str(signal_name), build_only=args.build_only)
            say("The source tree is restored; the build tree holds the last fault's objects "
                "until the next build (make build host).")
        return 130


if __name__ == "__main__":
    sys.exit(main())

"""The analysers under test: our two analysis programs and public analysers from Debian packages.

Each analyser runs on one song and gives a tempo, beats and downbeats where it offers them, and the
processor time and peak memory of its processes.
A peer that is not installed is reported as missing; it never stops the run.
"""

import dataclasses
import glob
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

import metrics

TIMEOUT_S = 600
ANAFILES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "anafiles", "anafiles.py")


@dataclasses.dataclass
class Outcome:
    bpm: float = None
    beats: list = None       # None: the analyser gives no beats
    downbeats: list = None   # None: the analyser gives no downbeats
    cpu_s: float = 0.0
    peak_kb: int = 0
    error: str = ""


@dataclasses.dataclass
class _Run:
    returncodes: list
    stdout: str
    stderr: str
    cpu_s: float
    peak_kb: int
    timed_out: bool


TIME = "/usr/bin/time"


def _measure(argvs, env=None, timeout=TIMEOUT_S):
    """Runs argvs as a pipeline (each one's output into the next); returns their codes, the last
    one's output, everyone's messages, the summed processor time and the largest peak memory.

    Processor time comes from wait4 (so parallel runs do not mix). Peak memory comes from GNU time
    around each command: a child's own peak starts at what its parent held when it forked, and a
    Python parent holding songs and results would be counted for every analyser.
    """
    with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        procs = []
        peak_files = []
        try:
            for i, argv in enumerate(argvs):
                last = i == len(argvs) - 1
                if os.access(TIME, os.X_OK):
                    peak_files.append(os.path.join(folder, "peak%d" % i))
                    argv = [TIME, "-q", "-f", "%M", "-o", peak_files[-1]] + argv
                # A group of its own, so that a timeout ends the command and not only its wrapper.
                procs.append(subprocess.Popen(argv, stdin=procs[-1].stdout if procs else subprocess.DEVNULL,
                                              stdout=out if last else subprocess.PIPE, stderr=err, env=env,
                                              start_new_session=True))
                if len(procs) > 1:
                    procs[-2].stdout.close()
        except OSError:
            for p in procs:
                p.kill()
                p.wait()
            raise
        timed_out = threading.Event()

        def kill_all():
            timed_out.set()
            for p in procs:
                if p.returncode is None:
                    try:
                        os.killpg(p.pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass

        timer = threading.Timer(timeout, kill_all)
        timer.start()
        codes = []
        cpu = 0.0
        try:
            for p in procs:
                _, status, usage = os.wait4(p.pid, 0)
                # Popen must not wait for a process already reaped here.
                p.returncode = os.waitstatus_to_exitcode(status)
                codes.append(p.returncode)
                cpu += usage.ru_utime + usage.ru_stime
        finally:
            timer.cancel()
        out.seek(0)
        err.seek(0)
        return _Run(codes, out.read().decode(errors="replace"), err.read().decode(errors="replace"), cpu,
                    max((_peak_kb(f) for f in peak_files), default=0), timed_out.is_set())


def _peak_kb(path):
    try:
        with open(path) as f:
            return int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        return 0


def _failure(run):
    if run.timed_out:
        return "timed out after %d s" % TIMEOUT_S
    bad = [c for c in run.returncodes if c != 0]
    if bad:
        return "exit status %d" % bad[0]
    return ""


class Analyser:
    name = ""
    ours = False
    gives_beats = False
    gives_downbeats = False

    def missing(self):
        """Why the analyser cannot run here, or an empty text."""
        return ""

    def run(self, files, scratch):
        raise NotImplementedError


class OurProgram(Analyser):
    """trackscan or trackscan-desktop, run as the library's scheduler runs it."""
    ours = True
    gives_beats = True
    gives_downbeats = True

    def __init__(self, name, path):
        self.name = name
        self.path = path

    def missing(self):
        if not self.path or not os.access(self.path, os.X_OK):
            return "not built (%s)" % (self.path or "no path")
        return ""

    def run(self, files, scratch):
        with open(files.audio, "rb") as f:
            song_id = hashlib.md5(f.read()).hexdigest()
        root = os.path.abspath(tempfile.mkdtemp(prefix="root-", dir=scratch))
        try:
            run = _measure([_private_ipc() + [self.path, os.path.abspath(files.audio), root, song_id, "-p4"]])
            outcome = Outcome(cpu_s=run.cpu_s, peak_kb=run.peak_kb, error=_failure(run))
            sar = os.path.join(root, "Quilo4_Database", "analysis", song_id[:2], song_id[2:] + ".sar")
            outcome.beats, outcome.downbeats = [], []
            if not os.path.exists(sar):
                outcome.error = outcome.error or "no result file"
                return outcome
            bpm, beats, downbeats, problem = read_result(sar)
            outcome.bpm = bpm
            outcome.beats = [ms / 1000.0 for ms in beats]
            outcome.downbeats = [ms / 1000.0 for ms in downbeats]
            outcome.error = outcome.error or problem
            return outcome
        finally:
            shutil.rmtree(root, ignore_errors=True)


def read_result(path):
    """Tempo, beat and downbeat positions (ms) of a result file, and what is wrong with it ("" when
    it reads cleanly and its seal holds), through the project's own reader of analysis files."""
    run = subprocess.run([sys.executable, ANAFILES, "--json", path], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    try:
        report = json.loads(run.stdout)
    except ValueError:
        return None, [], [], "unreadable result file: %s" % run.stderr.strip()
    bpm = report.get("bpm")
    bpm = float(bpm) if isinstance(bpm, (int, float)) else None
    problems = list(report.get("errors", []))
    if not report.get("seal_ok", False):
        problems.append("bad seal")
    problem = ("result file: " + "; ".join(problems)) if problems else ""
    return bpm, report.get("beats") or [], report.get("downbeats") or [], problem


_ipc_prefix = None
_ipc_lock = threading.Lock()


def _private_ipc():
    """A command prefix that runs a program with message queues of its own, where that is allowed.

    The device build posts its record to "/bak_analysis" when that queue exists; a unit test of
    deckhost running beside us may have made it, and our records must not land there (nor fill
    it so that our own runs fail). unshare execs the program, so its usage is still the program's.
    """
    global _ipc_prefix
    with _ipc_lock:
        if _ipc_prefix is None:
            prefix = ["unshare", "--ipc", "--"]
            try:
                ok = subprocess.run(prefix + ["true"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL).returncode == 0
            except OSError:
                ok = False
            _ipc_prefix = prefix if ok else []
        return list(_ipc_prefix)


class AubioBeat(Analyser):
    """aubio beat: beat times; the tempo is taken from their median interval."""
    name = "aubio beat"
    gives_beats = True

    def missing(self):
        return "" if shutil.which("aubio") else "aubio not installed (aubio-tools)"

    def run(self, files, scratch):
        run = _measure([["aubio", "beat", files.peer_wav]])
        beats = []
        for line in run.stdout.split():
            try:
                beats.append(float(line))
            except ValueError:
                pass
        return Outcome(bpm=metrics.tempo_from_beats(beats), beats=beats, cpu_s=run.cpu_s, peak_kb=run.peak_kb,
                       error=_failure(run))


class BpmTools(Analyser):
    """bpm from bpm-tools: a tempo from 44100 Hz mono float samples on its input."""
    name = "bpm-tools"

    def missing(self):
        return "" if shutil.which("bpm") else "bpm not installed (bpm-tools)"

    def run(self, files, scratch):
        run = _measure([["sox", "-V1", files.peer_wav, "-t", "raw", "-r", "44100", "-e", "float", "-b", "32",
                         "-c", "1", "-"], ["bpm"]])
        return Outcome(bpm=_first_number(run.stdout), cpu_s=run.cpu_s, peak_kb=run.peak_kb, error=_failure(run))


class SoundStretch(Analyser):
    """soundstretch -bpm: SoundTouch's tempo detection."""
    name = "soundstretch"

    def missing(self):
        return "" if shutil.which("soundstretch") else "soundstretch not installed (soundstretch)"

    def run(self, files, scratch):
        run = _measure([["soundstretch", files.peer_wav, "-bpm"]])
        found = re.search(r"Detected BPM rate\s+([0-9.]+)", run.stdout + run.stderr)
        return Outcome(bpm=float(found.group(1)) if found else None, cpu_s=run.cpu_s, peak_kb=run.peak_kb,
                       error=_failure(run))


class VampFixedTempo(Analyser):
    """The Vamp SDK's example fixed-tempo estimator, through vamp-simple-host."""
    name = "vamp fixedtempo"
    PLUGIN = "vamp-example-plugins:fixedtempo:tempo"

    def __init__(self):
        self.folder = next((d for d in sorted(glob.glob("/usr/lib/*/vamp")) + ["/usr/lib/vamp", "/usr/local/lib/vamp"]
                            if os.path.exists(os.path.join(d, "vamp-example-plugins.so"))), None)

    def missing(self):
        if not shutil.which("vamp-simple-host"):
            return "vamp-simple-host not installed (vamp-plugin-sdk)"
        if not self.folder:
            return "example plugins not installed (vamp-examples)"
        return ""

    def run(self, files, scratch):
        env = dict(os.environ, VAMP_PATH=self.folder)
        run = _measure([["vamp-simple-host", self.PLUGIN, files.peer_wav]], env=env)
        # A feature line reads " <start>, <duration>: <value> <label>".
        found = re.search(r"^\s*[0-9.]+,\s*[0-9.]+:\s*([0-9.]+)", run.stdout, re.MULTILINE)
        return Outcome(bpm=float(found.group(1)) if found else None, cpu_s=run.cpu_s, peak_kb=run.peak_kb,
                       error=_failure(run))


def _first_number(text):
    found = re.search(r"[0-9]+(?:\.[0-9]+)?", text)
    return float(found.group(0)) if found else None


def peers():
    return [AubioBeat(), BpmTools(), SoundStretch(), VampFixedTempo()]

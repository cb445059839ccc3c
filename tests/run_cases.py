#!/usr/bin/env python3
# Runs case files against the real binary, driven as a user would drive it:
# through pipes with no terminal, or through a pseudo-terminal that is its
# controlling terminal. Every wait is for something observable, and a wait
# that runs out fails the case.
#
#   run_cases.py [--run-with PROGRAM]... [--pipes-only] [--crlf] [--only PATTERN]
#                BINARY FILE...
#
# A case is a "[name]" line and "key: value" lines; every value is a Python
# expression. A key the runner does not know, a line that is not "key: value",
# or a value that does not evaluate fails the whole run, naming the file, the
# case and the line. Keys:
#   via      "pipe" (the default) or "terminal"
#   controlling  False: the terminal is not the process's controlling terminal
#   args     command-line words
#   stdin    bytes on a pipe, then its end (None: closed; FOLDER: a folder,
#            which every read fails on); on a terminal, standard input stays
#            the terminal unless stdin is given
#   stdout   "pipe" (default), "closed", "file" (out is then the file's
#            content), "nonblocking" (read only once the writer waits on a
#            full pipe), "leaves" (the reader
#            goes away after 1 MB), "stuck" (the reader takes the greeting,
#            then reads nothing more)
#   ignore   signals the process starts with ignored, as under nohup
#   each     values: the case runs once for each, as X (a signal X is also
#            the default end)
#   out      all of standard output; on a terminal, all of the screen
#   err      all of standard error (default: nothing)
#   end      the exit status, or the signal the process dies by (default 0)
#   example  the name of a program in examples/: it runs through a pipe with
#            the keys after its line, and from a file with the keys typed on
#            a terminal; out is what it writes between the prompt and the
#            closing words
#   keys     the keys an example reads
# Steps, done in order once the prompt is there:
#   type     keys typed on the terminal
#   wait     a text in the output, KEYS (the terminal has left line mode),
#            BUSY (the process has spent CPU time since the step began) or
#            FULL (the output pipe is full)
#   kill     a signal; SIGINT on a terminal is typed as Ctrl-C
#   pester   signals sent in turn, about every millisecond, until the
#            process ends; SIGTSTP on a terminal is typed as Ctrl-Z
#   hangup   the terminal goes away
# On a terminal, and with --crlf, a line end shows as CR LF. A terminal's
# settings after the run must be those found before it, and a run that ends
# by itself leaves nothing typed unread. --run-with runs the
# binary through another program (wine, node, qemu); --pipes-only runs only
# the cases through pipes with no steps, standard error unchecked, and counts
# the others as skipped.
import argparse
import fcntl
import os
import re
import select
import signal
import struct
import sys
import tempfile
import termios
import threading
import time

TIMEOUT = 30
PROMPT = "Enter your program (max. 700 characters): "
KEYS, BUSY, FULL, FOLDER = object(), object(), object(), object()
ENV = {"G": "The Original VEK Language Interpreter for Win32\n"
            "Written by the VEK project developers, 2026\n" + PROMPT,
       "E": "\nProgram was end.\n",
       "REFUSAL": "The Original VEK Interpreter does not support command line parameters.\n",
       "NOTICE": "vek: program text longer than 700 characters; ran the first 700\n",
       "KEYS": KEYS, "BUSY": BUSY, "FULL": FULL, "FOLDER": FOLDER,
       **{name: signal.Signals["SIG" + name]
          for name in ("INT", "TERM", "HUP", "QUIT", "PIPE", "TSTP", "CONT")}}
VALUES = {"via", "controlling", "args", "stdin", "stdout", "ignore", "each", "out", "err", "end",
          "example", "keys"}
STEPS = {"type", "wait", "kill", "pester", "hangup"}
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")


class CaseError(Exception):
    """A case file the runner cannot read: it fails the whole run."""


class CannotStart(Exception):
    """The binary (or what runs it) cannot be started: its cases stop there."""


def cases(path):
    """Yields (name, values, steps) for each run the file asks for."""
    where = os.path.basename(path)
    name, pairs = None, []
    for number, line in enumerate(list(open(path, encoding="utf-8")) + ["[]"], 1):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        if line.startswith("["):
            if name is not None:
                yield from expand(where, name, pairs)
            name, pairs = line.strip("[]"), []
            continue
        key, colon, value = line.partition(":")
        if name is None or not colon or key not in VALUES | STEPS:
            raise CaseError(f"{where}:{number}: [{name}]: not a known 'key: value': {line!r}")
        pairs.append((number, key, value))


def expand(where, name, pairs):
    def evaluate(number, key, value, env):
        if key == "hangup" and not value.strip():
            return None
        try:
            return eval(value, dict(env))
        except Exception as e:
            raise CaseError(f"{where}:{number}: [{name}]: {key}: {e}") from None

    each = [(n, v) for n, k, v in pairs if k == "each"]
    xs = evaluate(*each[0][:1], "each", each[0][1], ENV) if each else [None]
    for i, x in enumerate(xs):
        env = dict(ENV, X=x)
        values = {k: evaluate(n, k, v, env) for n, k, v in pairs if k in VALUES}
        steps = [(k, evaluate(n, k, v, env)) for n, k, v in pairs if k in STEPS]
        values.setdefault("end", x if isinstance(x, signal.Signals) else 0)
        tag = f" ({x.name if isinstance(x, signal.Signals) else i})" if each else ""
        if "example" in values:
            with open(os.path.join(EXAMPLES, values["example"] + ".vek"), encoding="latin-1") as f:
                text, keys = f.read(), values.get("keys", "")
            out = ENV["G"] + values["out"] + ENV["E"]
            yield name + " (pipe)", {"stdin": text + "\n" + keys, "out": out, "end": 0}, []
            steps = [("wait", KEYS), ("type", keys), ("wait", ENV["E"]), ("type", "k")]
            values = {"via": "terminal", "stdin": text, "out": out, "end": 0}
            yield name + " (terminal)", values, steps
        else:
            yield name + tag, values, steps


def raw(text):
    return text.encode("latin-1")


class Run:
    """One process of the binary, its output taken in as it comes."""

    def __init__(self, argv, values, steps, crlf, foreign):
        self.values, self.steps, self.out, self.status = values, steps, bytearray(), None
        self.crlf, self.foreign = crlf, foreign
        self.terminal = values.get("via") == "terminal"
        self.stdout, stdin = values.get("stdout", "pipe"), values.get("stdin", "")
        self.err, self.file = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        self.pester = []
        if self.terminal:
            self.master, slave = os.openpty()
            self.tty = os.dup(self.master)  # for its settings once the output has ended
            self.typed = os.ttyname(slave)  # for what was typed and is still unread
            self.before = termios.tcgetattr(self.tty)
            fds = {0: slave, 1: slave, 2: slave}
            if self.stdout == "file":
                fds[1] = self.file.fileno()
        else:
            self.master, out = os.pipe() if self.stdout != "closed" else (None, None)
            fds = {1: out, 2: self.err.fileno()}
            if self.stdout == "nonblocking":
                os.set_blocking(out, False)
        if stdin is None:
            fds[0] = None
        elif stdin is FOLDER:
            fds[0] = os.open("/", os.O_RDONLY)
        elif not self.terminal or "stdin" in values:
            fds[0], feed = os.pipe()
            threading.Thread(target=self.feed, args=(feed, raw(stdin)), daemon=True).start()
        pestered = any(key == "pester" for key, _ in steps)
        failed, report = os.pipe2(os.O_CLOEXEC)  # says why exec failed; closed once it succeeds
        self.pid = os.fork()
        if self.pid == 0:
            self.child(argv, fds, pestered, report)
        os.close(report)
        for fd in set(fds.values()) - {None, self.err.fileno(), self.file.fileno()}:
            os.close(fd)
        with open(failed, "rb") as why:
            if why := why.read().decode():
                os.waitpid(self.pid, 0)
                raise CannotStart(f"cannot start {argv[0]} ({why})")
        if self.master is not None:
            os.set_blocking(self.master, False)

    def child(self, argv, fds, pestered, report):
        try:
            os.setsid()
            for target, fd in fds.items():
                os.close(target) if fd is None else os.dup2(fd, target)
            if self.terminal and self.values.get("controlling", True):
                fcntl.ioctl(2, termios.TIOCSCTTY, 0)  # standard error is the terminal
            os.closerange(3, report), os.closerange(report + 1, 1024)
            for sig in (signal.SIGPIPE, signal.SIGINT, signal.SIGQUIT, signal.SIGHUP):
                signal.signal(sig, signal.SIG_DFL)
            for sig in self.values.get("ignore", ()):
                signal.signal(sig, signal.SIG_IGN)
            if pestered:  # stop signals hang the leak checker's stop-the-world at exit
                os.environ["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
            try:
                os.execvp(argv[0], argv)
            except OSError as e:
                os.write(report, e.strerror.encode())
        finally:
            os._exit(127)

    @staticmethod
    def feed(fd, data):
        try:
            with open(fd, "wb") as pipe:
                pipe.write(data)
        except OSError:
            pass  # the process stopped reading

    def stat(self):
        with open(f"/proc/{self.pid}/stat", encoding="ascii") as stat:
            return stat.read().rsplit(")", 1)[1].split()

    def pump(self):
        """Takes in what the output has now; False once it has ended."""
        if self.stdout == "nonblocking":
            waits = self.full(32768) and self.stat()[0] == "S"  # the writer waits on it
            if not waits and self.poll() is None:
                time.sleep(0.002)  # held back until the writer waits on a full pipe
                return True
            self.stdout = "pipe"
        stuck = self.stdout == "stuck" and self.poll() is None
        if stuck and len(self.out) >= len(ENV["G"]):
            return True  # the reader took the greeting and reads no more
        try:
            while self.master is not None and (
                    chunk := os.read(self.master, len(ENV["G"]) - len(self.out) if stuck else 65536)):
                self.out += chunk
                if self.stdout == "leaves" and len(self.out) >= 1_000_000:
                    return self.close()
                if stuck and len(self.out) >= len(ENV["G"]):
                    return True
            return self.close()
        except BlockingIOError:
            return True
        except OSError:  # EIO: the terminal's other side has gone
            return self.close()

    def close(self):
        if self.master is not None:
            os.close(self.master)
        self.master = None
        return False

    def poll(self):
        if self.status is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            self.status = os.waitstatus_to_exitcode(status) if pid else None
        return self.status

    def full(self, least=65536 - 4096):
        """Whether the pipe holds at least that many bytes."""
        count = bytearray(4)
        fcntl.ioctl(self.master, termios.FIONREAD, count)
        return int.from_bytes(count, sys.byteorder) >= least

    def written(self):
        """All of standard output so far."""
        if self.stdout != "file":
            return bytes(self.out)
        return os.pread(self.file.fileno(), 1 << 30, 0)  # the writer's offset stays

    def until(self, done, what):
        deadline = time.monotonic() + TIMEOUT
        while not done():
            if time.monotonic() > deadline:
                raise AssertionError("timed out waiting for " + what)
            if self.pester and self.poll() is None:
                sig = self.pester[0]
                self.pester = self.pester[1:] + [sig]
                if self.terminal and sig == signal.SIGTSTP:
                    os.write(self.master, b"\x1a")
                else:
                    os.kill(self.pid, sig)
                self.pump()
                time.sleep(0.0002)
            elif self.pump():
                select.select([self.master], [], [], 0.01)
            else:
                time.sleep(0.002)

    def shown(self, text, screen=False):
        """text as standard output (or the screen) carries it."""
        tty = self.terminal and (screen or self.stdout != "file")
        return raw(text.replace("\n", "\r\n") if self.crlf or tty else text)

    def step(self, key, value):
        if key == "type":
            os.write(self.master, raw(value))
        elif key == "hangup":
            self.close(), os.close(self.tty)
            self.terminal = False
        elif key == "kill" and self.terminal and value == signal.SIGINT:
            os.write(self.master, b"\x03")
        elif key == "kill":
            os.kill(self.pid, value)
        elif key == "pester":
            self.pester = list(value)
            closing = self.shown(ENV["E"])
            self.until(lambda: self.poll() is not None or closing in self.written(), "the end")
            self.pester = []
        elif value is KEYS:
            self.until(lambda: not termios.tcgetattr(self.tty)[3] & termios.ECHO, "key mode")
        elif value is FULL:
            self.until(self.full, "the writer to wait on a full pipe")
        elif value is BUSY:
            ticks = lambda: sum(map(int, self.stat()[11:13]))  # user and system time
            start = ticks()
            self.until(lambda: ticks() >= start + 3, "the process to compute")
        else:
            self.until(lambda: self.shown(value, screen=True) in self.out, repr(value))

    def check(self):
        """Runs the steps and waits for the end; returns what went wrong."""
        try:
            if self.terminal:
                self.until(lambda: raw(PROMPT) in self.written(), "the prompt")
            for key, value in self.steps:
                self.step(key, value)
            self.until(lambda: self.poll() is not None and not self.pump(), "the end")
        except AssertionError as e:
            return [str(e)]
        finally:
            if self.poll() is None:
                os.kill(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
        v, end, wrong = self.values, self.values["end"], []
        if self.status != (-end if isinstance(end, signal.Signals) else end):
            wrong.append(f"ended with {self.status}, not {end!r}")
        if "out" in v:
            wrong += differ("output", self.written(), self.shown(v["out"]))
        self.err.seek(0)
        err = re.sub(rb"qemu: uncaught target signal .*\n", b"", self.err.read())  # the emulator's
        if not self.foreign and err != raw(v.get("err", "")):
            wrong.append("standard error said something else")
        if self.terminal:
            if termios.tcgetattr(self.tty) != self.before:
                wrong.append("terminal settings not restored")
            typed = os.open(self.typed, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
            left = struct.unpack("i", fcntl.ioctl(typed, termios.FIONREAD, b"\0" * 4))[0]
            os.close(typed)
            if left and self.status == 0:  # a process killed leaves what it did not read
                wrong.append(f"{left} bytes typed were left for the shell")
            os.close(self.tty)
        return wrong


def differ(what, got, want):
    """The first differing offset with a short window of both sides."""
    if got == want:
        return []
    at = next((i for i, (x, y) in enumerate(zip(got, want)) if x != y), min(len(got), len(want)))
    window = slice(max(0, at - 20), at + 20)
    return [f"{what} differs at byte {at} of {len(got)} (want {len(want)})\n"
            f"    got  ...{got[window]!r}\n    want ...{want[window]!r}"]


def main(argv):
    options = argparse.ArgumentParser(description="Runs case files against a binary.")
    options.add_argument("--run-with", action="append", default=[], metavar="PROGRAM")
    options.add_argument("--pipes-only", action="store_true")
    options.add_argument("--crlf", action="store_true")
    options.add_argument("--only", metavar="PATTERN", help="cases whose name matches")
    options.add_argument("binary")
    options.add_argument("files", nargs="+")
    args = options.parse_args(argv)
    passed = failed = skipped = 0
    try:
        runs = [(path, case) for path in args.files for case in cases(path)]
    except (CaseError, OSError) as e:
        print(f"run_cases: {e}")
        return 2
    for path, (name, values, steps) in runs:
        if args.only and not re.search(args.only, name):
            continue
        if args.pipes_only and (steps or values.keys() & {"via", "stdout", "ignore"} or values.get("stdin") is FOLDER):
            skipped += 1
            continue
        command = args.run_with + [os.path.abspath(args.binary)] + values.get("args", [])
        try:
            wrong = Run(command, values, steps, args.crlf, args.pipes_only).check()
        except CannotStart as e:
            print(f"run_cases: {e}")
            return 1
        passed, failed = passed + (not wrong), failed + bool(wrong)
        if wrong:
            print(f"FAILED {os.path.basename(path)}: {name}: {'; '.join(wrong)}")
    print(f"{os.path.basename(args.binary)}: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

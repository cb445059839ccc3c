#!/usr/bin/env python3
# Runs case files against the real binary, driven as a user would drive it:
# through pipes with no terminal, or through a pseudo-terminal that is its
# controlling terminal. Every wait is for something observable, and a wait
# that runs out fails the case.
#
#   run_cases.py [--run-with PROGRAM]... [--crlf] BINARY FILE...
#
# A case is a "[name]" line and "key: value" lines; every value is a Python
# expression. Keys:
#   via      "pipe" (the default) or "terminal"
#   controlling  False: the terminal is not the process's controlling terminal
#   args     command-line words
#   stdin    bytes on a pipe, then its end (None: closed); on a terminal,
#            standard input stays the terminal unless stdin is given
#   stdout   "pipe" (default), "closed", "nonblocking" (read only once the
#            writer waits on a full pipe), "leaves" (the reader goes away
#            after 1 MB)
#   ignore   signals the process starts with ignored, as under nohup
#   each     values: the case runs once for each, as X (a signal X is also
#            the default end)
#   out      all of standard output; on a terminal, all of the screen
#   err      all of standard error (default: nothing)
#   end      the exit status, or the signal the process dies by (default 0)
#   keys     with a case named "[example NAME]": examples/NAME.vek runs
#            through a pipe with the keys after its line, and from a file with
#            the keys typed on a terminal; out is what it writes between the
#            prompt and the closing words
# Steps, done in order once the prompt is there:
#   type     keys typed on the terminal
#   wait     a text in the output, KEYS (the terminal has left line mode) or
#            BUSY (the process has spent CPU time since the step began)
#   kill     a signal; SIGINT on a terminal is typed as Ctrl-C
#   hangup   the terminal goes away
# On a terminal, and with --crlf, a line end shows as CR LF. A terminal's
# settings after the run must be those found before it. With --run-with
# (wine, node), only the cases through pipes with no steps run, standard
# error unchecked.
import fcntl
import os
import select
import signal
import sys
import tempfile
import termios
import threading
import time

TIMEOUT = 30
PROMPT = "Enter your program (max. 700 characters): "
KEYS, BUSY = object(), object()
ENV = {"G": "The Original VEK Language Interpreter for Win32\n"
            "Written by the VEK project developers, 2026\n" + PROMPT,
       "E": "\nProgram was end.\n",
       "REFUSAL": "The Original VEK Interpreter does not support command line parameters.\n",
       "NOTICE": "vek: program text longer than 700 characters; ran the first 700\n",
       "KEYS": KEYS, "BUSY": BUSY,
       **{name: signal.Signals["SIG" + name] for name in ("INT", "TERM", "HUP", "QUIT", "PIPE")}}
STEPS = ("type", "wait", "kill", "hangup")
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")


def cases(path):
    """Yields (name, values, steps) for each run the file asks for."""
    for case in open(path, encoding="utf-8").read().split("\n["):
        lines = [line for line in case.splitlines() if line.strip() and line[0] != "#"]
        if not lines:
            continue
        name, pairs = lines[0].strip("[]"), [line.partition(":")[::2] for line in lines[1:]]
        for i, x in enumerate(eval(dict(pairs).get("each", "[None]"), ENV)):
            env = dict(ENV, X=x)
            values = {k.strip(): eval(v, env) for k, v in pairs if k.strip() not in STEPS}
            steps = [(k, eval(v, env) if v.strip() else None) for k, v in pairs if k in STEPS]
            values.setdefault("end", x if isinstance(x, signal.Signals) else 0)
            if name.startswith("example "):
                with open(os.path.join(EXAMPLES, name[8:] + ".vek"), encoding="latin-1") as f:
                    text, keys = f.read(), values.get("keys", "")
                out = ENV["G"] + values["out"] + ENV["E"]
                yield name + " (pipe)", {"stdin": text + "\n" + keys, "out": out, "end": 0}, []
                steps = [("wait", KEYS), ("type", keys), ("wait", ENV["E"]), ("type", "k")]
                name = name + " (terminal)"
                values = {"via": "terminal", "stdin": text, "out": out, "end": 0}
            tag = x.name if isinstance(x, signal.Signals) else i
            yield name + (f" ({tag})" if "each" in dict(pairs) else ""), values, steps


def raw(text):
    return text.encode("latin-1")


class Run:
    """One process of the binary, its output taken in as it comes."""

    def __init__(self, argv, values, crlf, foreign):
        self.values, self.out, self.status = values, bytearray(), None
        self.crlf, self.foreign = crlf, foreign
        self.terminal = values.get("via") == "terminal"
        self.stdout, stdin = values.get("stdout", "pipe"), values.get("stdin", "")
        self.err = tempfile.TemporaryFile()
        if self.terminal:
            self.master, slave = os.openpty()
            self.tty = os.dup(self.master)  # for its settings once the output has ended
            self.before = termios.tcgetattr(self.tty)
            fds = {0: slave, 1: slave, 2: slave}
        else:
            self.master, out = os.pipe() if self.stdout != "closed" else (None, None)
            fds = {1: out, 2: self.err.fileno()}
            if self.stdout == "nonblocking":
                os.set_blocking(out, False)
        if stdin is None:
            fds[0] = None
        elif not self.terminal or "stdin" in values:
            fds[0], feed = os.pipe()
            threading.Thread(target=self.feed, args=(feed, raw(stdin)), daemon=True).start()
        self.pid = os.fork()
        if self.pid == 0:
            self.child(argv, fds)
        for fd in set(fds.values()) - {None, self.err.fileno()}:
            os.close(fd)
        if self.master is not None:
            os.set_blocking(self.master, False)

    def child(self, argv, fds):
        try:
            os.setsid()
            for target, fd in fds.items():
                os.close(target) if fd is None else os.dup2(fd, target)
            if self.terminal and self.values.get("controlling", True):
                fcntl.ioctl(1, termios.TIOCSCTTY, 0)
            os.closerange(3, 1024)
            for sig in (signal.SIGPIPE, signal.SIGINT, signal.SIGQUIT, signal.SIGHUP):
                signal.signal(sig, signal.SIG_DFL)
            for sig in self.values.get("ignore", ()):
                signal.signal(sig, signal.SIG_IGN)
            os.execvp(argv[0], argv)
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
            count = bytearray(4)
            fcntl.ioctl(self.master, termios.FIONREAD, count)
            full = int.from_bytes(count, sys.byteorder) >= 32768 and self.stat()[0] == "S"
            if not full and self.poll() is None:
                time.sleep(0.002)  # held back until the writer waits on a full pipe
                return True
            self.stdout = "pipe"
        try:
            while self.master is not None and (chunk := os.read(self.master, 65536)):
                self.out += chunk
                if self.stdout == "leaves" and len(self.out) >= 1_000_000:
                    return self.close()
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

    def until(self, done, what):
        deadline = time.monotonic() + TIMEOUT
        while not done():
            if time.monotonic() > deadline:
                raise AssertionError("timed out waiting for " + what)
            if self.pump():
                select.select([self.master], [], [], 0.01)
            else:
                time.sleep(0.002)

    def shown(self, text):
        return raw(text.replace("\n", "\r\n") if self.crlf or self.terminal else text)

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
        elif value is KEYS:
            self.until(lambda: not termios.tcgetattr(self.tty)[3] & termios.ECHO, "key mode")
        elif value is BUSY:
            ticks = lambda: sum(map(int, self.stat()[11:13]))  # user and system time
            start = ticks()
            self.until(lambda: ticks() >= start + 3, "the process to compute")
        else:
            self.until(lambda: self.shown(value) in self.out, repr(value))

    def check(self, steps):
        """Runs the steps and waits for the end; returns what went wrong."""
        try:
            if self.terminal:
                self.until(lambda: raw(PROMPT) in self.out, "the prompt")
            for key, value in steps:
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
        if "out" in v and bytes(self.out) != self.shown(v["out"]):
            wrong.append(f"output\n    got  {bytes(self.out)!r}\n    want {self.shown(v['out'])!r}")
        self.err.seek(0)
        if not self.foreign and self.err.read() != raw(v.get("err", "")):
            wrong.append("standard error said something else")
        if self.terminal:
            if termios.tcgetattr(self.tty) != self.before:
                wrong.append("terminal settings not restored")
            os.close(self.tty)
        return wrong


def main(args):
    prefix, crlf = [], "--crlf" in args
    args = [a for a in args if a != "--crlf"]
    while args[0] == "--run-with":
        prefix, args = prefix + [args[1]], args[2:]
    binary, files, passed, failed = args[0], args[1:], 0, 0
    for path in files:
        for name, values, steps in cases(path):
            if prefix and (steps or values.keys() & {"via", "stdout", "ignore"}):
                continue
            argv = prefix + [os.path.abspath(binary)] + values.get("args", [])
            wrong = Run(argv, values, crlf, bool(prefix)).check(steps)
            passed, failed = passed + (not wrong), failed + bool(wrong)
            if wrong:
                print(f"FAILED {os.path.basename(path)}: {name}: {'; '.join(wrong)}")
    print(f"{os.path.basename(binary)}: {passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

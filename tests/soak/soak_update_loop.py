#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Soak test: many update runs in ONE zentrix-update process.

One zentrix-update in console mode goes round its update loop RUNS times
against one zentrix-calc-sim serving RUNS runs, answered through standard
input: OK to the connect prompt and both warnings, OK to "Complete" (update
the next calculator) and Cancel to the last one. It then checks that

  - the process's open descriptors and resident memory did not grow between
    the end of run SAMPLE and the end of the last run,
  - no scratch copy was left in TMPDIR, during the loop or after it,
  - every run ended cleanly and every received image equals its file
    (the simulator's report), with the calculator's new OS version,
  - the process exits with 18.
"""
import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

CONNECT = "Connect the calculator."
WARNING = "Warning"
SURE = "Delete all data in calculator's Main Memory."
COMPLETE = "Complete"
BUTTON_LINES = ("[OK]", "OK [Cancel]", "[OK] Cancel")
NEW_OS_VERSION = "01.05.0000"
LINE_TIMEOUT = 60.0          # seconds without any output: the process hangs


class SoakFailure(Exception):
    pass


def process_sample(pid):
    fds = len(os.listdir(f"/proc/{pid}/fd"))
    rss_kib = 0
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                rss_kib = int(line.split()[1])
    return fds, rss_kib


class LineReader:
    """Lines of a pipe, each read under a deadline (select on the raw fd)."""

    def __init__(self, fd):
        self.fd = fd
        self.pending = b""

    def read_line(self, deadline):
        while b"\n" not in self.pending:
            wait = min(LINE_TIMEOUT, deadline - time.monotonic())
            if wait <= 0:
                raise SoakFailure("the soak ran past its time limit")
            ready, _, _ = select.select([self.fd], [], [], wait)
            if not ready:
                raise SoakFailure(f"no output from zentrix-update for {wait:.0f} s")
            chunk = os.read(self.fd, 65536)
            if not chunk:
                line, self.pending = self.pending, b""
                return line.decode(errors="replace") if line else None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode(errors="replace")


def start_simulator(args, images, report):
    sim = subprocess.Popen(
        # One launcher update after another on the same calculator: it is
        # back at once after each, with its old system.
        [args.simulator, "--runs", str(args.runs), "--report", report,
         "--restart-time", "0", "--after-update", "keep",
         "--expect-stub", os.path.join(images, "UpdateExe.bin"),
         "--expect-os", os.path.join(images, "UpdateCode.bin")],
        stdout=subprocess.PIPE, text=True)
    device = sim.stdout.readline().strip()
    if not device.startswith("/"):
        sim.kill()
        raise SoakFailure(f"zentrix-calc-sim printed no pty path: {device!r}")
    return sim, device


def check_scratch_empty(scratch, when):
    left = os.listdir(scratch)
    if left:
        raise SoakFailure(f"scratch files left in TMPDIR {when}: {left}")


class LoopDriver:
    """Answers the boxes of one zentrix-update process and samples it."""

    def __init__(self, updater, args, scratch):
        self.updater = updater
        self.args = args
        self.scratch = scratch
        self.completed = 0
        self.samples = {}
        self.caption = None

    def answer_for(self, caption):
        if caption in (CONNECT, WARNING, SURE):
            return "ok"
        if caption != COMPLETE:
            raise SoakFailure(f"unexpected box {caption!r} after {self.completed} complete runs")
        self.completed += 1
        if self.completed in (self.args.sample, self.args.runs):
            self.samples[self.completed] = process_sample(self.updater.pid)
            check_scratch_empty(self.scratch, f"after run {self.completed}")
        return "ok" if self.completed < self.args.runs else "cancel"

    def run(self, deadline):
        reader = LineReader(self.updater.stdout.fileno())
        while True:
            line = reader.read_line(deadline)
            if line is None:
                return
            if line.startswith("== ") and line.endswith(" =="):
                self.caption = line[3:-3]
            elif line in BUTTON_LINES:
                self.updater.stdin.write(self.answer_for(self.caption) + "\n")
                self.updater.stdin.flush()


def check_growth(samples, args):
    (fds_early, rss_early) = samples[args.sample]
    (fds_late, rss_late) = samples[args.runs]
    print(f"after run {args.sample}: {fds_early} open descriptors, VmRSS {rss_early} KiB")
    print(f"after run {args.runs}: {fds_late} open descriptors, VmRSS {rss_late} KiB")
    if fds_late > fds_early:
        raise SoakFailure(f"open descriptors grew from {fds_early} to {fds_late}")
    if rss_late - rss_early > args.rss_slack_kib:
        raise SoakFailure(f"resident memory grew by {rss_late - rss_early} KiB "
                          f"(allowed {args.rss_slack_kib} KiB)")


def check_report(report, runs):
    with open(report) as f:
        lines = [line.strip() for line in f if line.strip()]
    if len(lines) != runs:
        raise SoakFailure(f"the simulator reported {len(lines)} runs, expected {runs}")
    wanted = ("ending=terminate", "clean=1", "violations=0", "stub_match=yes",
              "os_match=yes", f'new_os_version="{NEW_OS_VERSION}"')
    for line in lines:
        fields = line.split()
        missing = [w for w in wanted if w not in fields]
        if missing:
            raise SoakFailure(f"run not clean ({', '.join(missing)} missing): {line}")


def soak(args, work):
    images = os.path.join(work, "images")
    scratch = os.path.join(work, "scratch")
    report = os.path.join(work, "report.txt")
    progress = os.path.join(work, "progress.txt")
    os.mkdir(images)
    os.mkdir(scratch)
    subprocess.run([args.simulator, "--write-demo-images", images], check=True,
                   stdout=subprocess.DEVNULL)
    sim, device = start_simulator(args, images, report)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(ZENTRIX_UI="console", ZENTRIX_DEVICES=device, TMPDIR=scratch)
    env.pop("ZENTRIX_TRACE", None)
    deadline = time.monotonic() + args.time_limit
    with open(progress, "w") as err:
        updater = subprocess.Popen([args.updater, images], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=err, env=env, text=True)
    try:
        driver = LoopDriver(updater, args, scratch)
        driver.run(deadline)
        code = updater.wait(timeout=30)
        sim_code = sim.wait(timeout=30)
    finally:
        for p in (updater, sim):
            if p.poll() is None:
                p.kill()
                p.wait()
    print(f"{driver.completed} update runs in one process, exit code {code}")
    if driver.completed != args.runs:
        raise SoakFailure(f"only {driver.completed} of {args.runs} runs completed")
    if code != 18:
        raise SoakFailure(f"zentrix-update exited with {code}, expected 18")
    if sim_code != 0:
        raise SoakFailure(f"zentrix-calc-sim exited with {sim_code}: a run was not clean")
    check_growth(driver.samples, args)
    check_scratch_empty(scratch, "after the process ended")
    check_report(report, args.runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--updater", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--sample", type=int, default=10,
                        help="run after which the first sample is taken")
    parser.add_argument("--rss-slack-kib", type=int, default=384)
    parser.add_argument("--time-limit", type=float, default=230.0)
    args = parser.parse_args()
    if not 1 <= args.sample < args.runs:
        parser.error("--sample must be at least 1 and below --runs")
    work = tempfile.mkdtemp(prefix="zentrix-soak.")
    try:
        soak(args, work)
    except (SoakFailure, subprocess.SubprocessError, OSError) as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        progress = os.path.join(work, "progress.txt")
        if os.path.exists(progress):
            with open(progress) as f:
                tail = [line.rstrip() for line in f.readlines()[-5:]]
                print("last progress output:", *tail, sep="\n", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())

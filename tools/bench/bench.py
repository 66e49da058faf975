#!/usr/bin/env python3
"""Measures Porthold as it runs and prints one Markdown table.

Every figure is taken through the real program on the default simulated line,
in a scratch folder of its own (settings, lines, runtime and data folders all
point into it), and is the median of --runs runs. Nothing here fails on a
number: a measurement the machine does not allow reads "not measured" with the
reason. The exit status is 1 only when the program itself misbehaved (it did
not start, a call did not go through), so that a broken build shows.

Times are read on the monotonic clock, as porthold-bench-probe and
porthold-phone --trace print it (time.monotonic is CLOCK_MONOTONIC on Linux,
as is std::chrono::steady_clock).
"""

import argparse
import datetime
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys

from bench_measures import (
    LATE_TICK_MS,
    measure_cold_start,
    measure_idle,
    measure_message,
    measure_start_and_call,
    measure_store,
)
from bench_running import (
    Build,
    Failure,
    NotMeasured,
    WORK_AFTER_CALL_SECONDS,
)


class Outcomes:
    """What each run measured, by figure, or why it could not."""

    def __init__(self):
        self.values = {}
        self.problems = {}
        self.failures = {}
        self.failed = False

    def attempt(self, name, measure):
        try:
            return measure()
        except NotMeasured as reason:
            self.problems[name] = f"not measured ({reason})"
        except (Failure, subprocess.TimeoutExpired, OSError) as reason:
            self.problems[name] = f"failed: {reason}"
            self.failures[name] = self.failures.get(name, 0) + 1
            self.failed = True
            print(f"bench: {name} failed: {reason}", file=sys.stderr, flush=True)
        return None

    def failure_note(self, problem):
        """For a figure measured in some runs only: how many failed, and why."""
        count = self.failures.get(problem, 0)
        return f"{count} runs failed ({self.problems[problem]}); " if count else ""

    def add(self, figure, value):
        self.values.setdefault(figure, []).append(value)


def run_once(build, options, outcomes, run):
    def say(what):
        print(f"run {run}/{options.runs}: {what}", file=sys.stderr, flush=True)

    say("start-up and a call")
    call = outcomes.attempt("call", lambda: measure_start_and_call(build, options.tiny))
    for key, value in (call or {}).items():
        outcomes.add(key, value)
    say(f"idle for {options.idle_seconds:g} s")
    idle = outcomes.attempt(
        "idle", lambda: measure_idle(build, options.idle_seconds, options.settle_seconds))
    for who, figures in (idle or {}).items():
        for key in ("cpu", "wakeups", "main_us_per_wakeup", "rss_kib"):
            if key in figures:
                outcomes.add(f"{who}.{key}", figures[key])
        for label, cpu, wakeups, waits in figures["threads"]:
            outcomes.add(f"{who}.thread.{label}", (cpu, wakeups, waits))
    say("a message while the window is worked")
    message = outcomes.attempt("message", lambda: measure_message(build, options.tiny))
    for key, value in (message or {}).items():
        outcomes.add(key, value)
    say("cold start")
    cold = outcomes.attempt("cold", lambda: measure_cold_start(build))
    if cold is not None:
        outcomes.add("cold_start_ms", cold)


def number(value):
    if value >= 100:
        return f"{value:.0f}"
    if value >= 10:
        return f"{value:.1f}"
    return f"{value:.2f}"


class Table:
    def __init__(self):
        self.rows = []

    def row(self, figure, value, unit, notes=""):
        self.rows.append((figure, value, unit, notes))

    def median(self, outcomes, key, figure, unit, notes="", problem=None):
        values = outcomes.values.get(key)
        if not values:
            reason = outcomes.problems.get(problem, "not measured") if problem else "not measured"
            self.row(figure, reason, "", notes)
            return
        spread = f"range {number(min(values))}–{number(max(values))}; " if len(values) > 1 else ""
        failed = outcomes.failure_note(problem) if problem else ""
        self.row(figure, number(statistics.median(values)), unit,
                 (failed + spread + notes).rstrip("; "))

    def print(self):
        print("| Figure | Value | Unit | Notes |")
        print("|---|---:|---|---|")
        for figure, value, unit, notes in self.rows:
            print(f"| {figure} | {value} | {unit} | {notes} |")


def idle_rows(table, outcomes, options):
    over = f"over {options.idle_seconds:g} s after {options.settle_seconds:g} s to settle"
    table.median(outcomes, "program.cpu", "Idle CPU, all threads", "% of one core", over, "idle")
    table.median(outcomes, "program.wakeups", "Idle wake-ups, all threads", "per second",
                 "voluntary + involuntary context switches", "idle")
    table.median(outcomes, "program.main_us_per_wakeup", "Idle CPU per main-thread wake-up",
                 "µs", "", "idle")
    table.median(outcomes, "program.rss_kib", "Idle resident memory", "KiB", "VmRSS", "idle")
    for key in sorted(key for key in outcomes.values if key.startswith("program.thread.")):
        pairs = outcomes.values[key]
        cpu = statistics.median(pair[0] for pair in pairs)
        wakeups = statistics.median(pair[1] for pair in pairs)
        waits = sorted({pair[2] for pair in pairs if pair[2]})
        notes = [f"waits in {', '.join(waits)}"] if waits else []
        if len(pairs) != len(outcomes.values.get("program.cpu", [])):
            notes.append(f"seen in {len(pairs)} runs")
        table.row(f"Idle thread `{key.split('.', 2)[2]}`", f"{number(cpu)} / {number(wakeups)}",
                  "% of one core / wake-ups per second", "; ".join(notes))
    if shutil.which("baresip") is None:
        table.row("baresip idle (reference)", "not measured", "", "baresip is not on PATH")
        return
    reference = "baresip beside the program, SIP on the loopback, no sound card"
    table.median(outcomes, "baresip.cpu", "baresip idle CPU (reference)", "% of one core",
                 reference, "idle")
    table.median(outcomes, "baresip.wakeups", "baresip idle wake-ups (reference)", "per second",
                 "", "idle")
    table.median(outcomes, "baresip.rss_kib", "baresip resident memory (reference)", "KiB", "",
                 "idle")


def call_rows(table, outcomes):
    table.median(outcomes, "start_up_ms", "Start-up", "ms",
                 'from starting the program to " Waiting for call..." painted', "call")
    table.median(outcomes, "start_up_rss_kib", "Resident memory at start-up", "KiB",
                 "VmRSS once waiting", "call")
    table.median(outcomes, "key_to_engine_ms", "Key to engine", "ms",
                 "caller's key sent to the keyed digits painted; median of 3 keys a run", "call")
    table.median(outcomes, "answer_to_greeting_ms", "Answer to greeting", "ms",
                 "answer to the first sample the caller hears", "call")


def message_rows(table, outcomes, options):
    lost = outcomes.values.get("buffers_lost")
    if not lost:
        table.row("Recording buffers lost", outcomes.problems.get("message", "not measured"), "")
    else:
        seconds = outcomes.values["message_seconds"]
        limit = all(outcomes.values["limit_reached"])
        worked = outcomes.values["worked"]
        dialogs = sum(entry.get("dialogs", 0) for entry in worked)
        menus = sum(entry.get("menus", 0) for entry in worked)
        notes = (f"{outcomes.failure_note('message')}worst of {len(lost)} runs; "
                 f"{sum(outcomes.values['discontinuities'])} "
                 f"discontinuities; message {number(min(seconds))}–{number(max(seconds))} s"
                 f"{', ended at the limit' if limit else ''}; window worked: {dialogs} dialogs, "
                 f"{menus} menus opened and closed")
        table.row("Recording buffers lost" + ("" if options.tiny else " (2-minute message)"),
                  str(max(lost)), "buffers of 125 ms", notes)
    blocks = [value for value in outcomes.values.get("prompt_block_ms", []) if value is not None]
    table.median(outcomes, "tick_worst_ms", "Tick delay, worst", "ms",
                 f"a 10 ms window timer over the call and {WORK_AFTER_CALL_SECONDS} s after it, "
                 "beyond its period" +
                 (f"; the main thread is blocked {number(statistics.median(blocks))} ms while "
                  "the prompt and beep play" if blocks else ""), "message")
    table.median(outcomes, "tick_p99_ms", "Tick delay, 99th percentile", "ms", "", "message")
    during = outcomes.values.get("tick_worst_recording_ms", [])
    if during and all(value is None for value in during):
        table.row("Tick delay, worst while recording", f"< {LATE_TICK_MS}", "ms",
                  "after the prompt and beep, to the hang-up")
    elif during:
        outcomes.values["tick_worst_recording_ms"] = [value or 0.0 for value in during]
        table.median(outcomes, "tick_worst_recording_ms", "Tick delay, worst while recording",
                     "ms", "after the prompt and beep, to the hang-up")


def size_rows(table, build, outcomes):
    table.row("Program size", number(os.path.getsize(build.program) / 1024), "KiB",
              "src/app/porthold")
    table.row("Service library size", number(os.path.getsize(build.service) / 1024), "KiB",
              "TAPI32.DLL")
    table.median(outcomes, "cold_start_ms", "Cold start", "ms",
                 "start-up after dropping the page cache", "cold")


def store_rows(table, build, options):
    try:
        lines = measure_store(build, options.tiny, options.runs)
    except (NotMeasured, subprocess.TimeoutExpired, OSError) as reason:
        table.row("Message store figures", f"not measured ({reason})", "")
        return
    for figure, messages, milliseconds in lines:
        table.row(f"{figure}, {messages} messages", number(milliseconds), "ms",
                  "porthold-store-bench, median")


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as file:
            for line in file:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    date = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    return f"Machine: {model}, {os.cpu_count()} cores, Linux {platform.release()}, {date}."


def parse_options():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-folder", required=True)
    parser.add_argument("--source", default=os.path.dirname(os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--tiny", action="store_true",
                        help="one run, short waits: proves that the bench works")
    options = parser.parse_args()
    if options.runs < 1:
        parser.error("--runs must be at least 1")
    if options.tiny:
        options.runs = 1
    options.idle_seconds = 2.0 if options.tiny else 20.0
    options.settle_seconds = 1.0 if options.tiny else 5.0
    return options


def main():
    options = parse_options()
    # Ended from outside, the runs still stop what they started and remove
    # their scratch folders (their finally clauses run on SystemExit).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    try:
        build = Build(os.path.abspath(options.build_folder), options.source)
    except Failure as reason:
        print(f"bench: {reason}", file=sys.stderr)
        return 1
    outcomes = Outcomes()
    for run in range(1, options.runs + 1):
        run_once(build, options, outcomes, run)
    table = Table()
    idle_rows(table, outcomes, options)
    call_rows(table, outcomes)
    message_rows(table, outcomes, options)
    size_rows(table, build, outcomes)
    store_rows(table, build, options)
    table.print()
    print()
    runs = "1 run (--tiny)" if options.tiny else f"median of {options.runs} runs"
    print(f"{machine()} Each figure: {runs}.")
    return 1 if outcomes.failed else 0


if __name__ == "__main__":
    sys.exit(main())

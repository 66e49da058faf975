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
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import wave

WAITING = " Waiting for call..."
RECORDING_LIMIT_SECONDS = 120  # 960 recorder buffers of 125 ms
BUFFER_SAMPLES = 1000  # one recorder buffer, 125 ms at 8000 Hz
# The caller's signal: a rising ramp of 16384 steps of 2 (about 2 s), loud
# enough for any silence level; a missing stretch shows as a jump.
RAMP_STEPS = 16384
# What the caller hears counts as sound from this amplitude on.
HEARD_THRESHOLD = 64
SILENCE_LEVEL = 10
WORK_AFTER_CALL_SECONDS = 8


class Failure(Exception):
    """The program did not do what a measurement needs."""


class NotMeasured(Exception):
    """The machine does not allow a measurement."""


def now_ms():
    return time.monotonic() * 1000.0


# ---------------------------------------------------------------------------
# The build and a scratch folder


class Build:
    def __init__(self, folder, source):
        self.source = source
        self.program = os.path.join(folder, "src/app/porthold")
        self.service = os.path.join(folder, "src/app/TAPI32.DLL")
        self.probe = os.path.join(folder, "tools/bench/probe/porthold-bench-probe")
        self.phone = os.path.join(folder, "tools/porthold-phone/porthold-phone")
        self.store_bench = os.path.join(folder, "tools/bench/store/porthold-store-bench")
        for path in (self.program, self.service, self.probe, self.phone):
            if not os.path.exists(path):
                raise Failure(f"{path} is not built")


class Scratch:
    """A program folder and every location the program uses, in a new
    temporary folder, as the end-to-end tests prepare them."""

    def __init__(self, build):
        self.path = tempfile.mkdtemp(prefix="porthold-bench-")
        self.program_folder = os.path.join(self.path, "program")
        os.makedirs(os.path.join(self.program_folder, "messages"))
        shutil.copytree(os.path.join(build.source, "assets/sounds"),
                        os.path.join(self.program_folder, "sounds"))
        self.runtime = os.path.join(self.path, "run")
        os.mkdir(self.runtime, 0o700)
        self.registry = os.path.join(self.path, "registry.reg")
        self.env = {
            "HOME": self.path,
            "PATH": "/usr/bin:/bin",
            "QT_QPA_PLATFORM": "offscreen",
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CONFIG_HOME": os.path.join(self.path, "config"),
            "XDG_DATA_HOME": os.path.join(self.path, "data"),
            "XDG_CACHE_HOME": os.path.join(self.path, "cache"),
            "PORTHOLD_REGISTRY_FILE": self.registry,
            "PORTHOLD_LINES_FILE": os.path.join(self.path, "lines.conf"),
            # The probe is not built beside the service library.
            "LD_LIBRARY_PATH": os.path.dirname(build.service),
        }

    def file(self, name):
        return os.path.join(self.path, name)

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)

    def set_silence_level(self, level):
        """Turns silence detection on, so that the 2-minute limit applies."""
        with open(self.registry, encoding="utf-8") as file:
            lines = file.read().split("\n")
        value = f'"SilenceLevel"=dword:{level:08x}'
        lines = [value if line.startswith('"SilenceLevel"=') else line for line in lines]
        if value not in lines:
            raise Failure("the program wrote no SilenceLevel into its settings")
        with open(self.registry, "w", encoding="utf-8") as file:
            file.write("\n".join(lines))


# ---------------------------------------------------------------------------
# Processes


def read_status_field(pid, field):
    with open(f"/proc/{pid}/status", encoding="utf-8") as file:
        for line in file:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def stop(process, timeout=15):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Probe:
    """porthold-bench-probe, whose events are read as they come."""

    def __init__(self, build, scratch, extra_env=None):
        env = dict(scratch.env, **(extra_env or {}))
        self.events = []
        self.changed = threading.Condition()
        self.started_ms = now_ms()
        self.process = subprocess.Popen([build.probe], cwd=scratch.program_folder, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            parts = line.rstrip("\n").split(" ", 2)
            if len(parts) == 3:
                with self.changed:
                    self.events.append((float(parts[0]), parts[1], parts[2]))
                    self.changed.notify_all()
        with self.changed:
            self.changed.notify_all()

    def wait_for(self, kind, text=None, after_ms=0.0, timeout=30.0):
        """The time of the first such event after `after_ms`."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for stamp, event_kind, event_text in self.events:
                    if stamp > after_ms and event_kind == kind and (text is None or event_text == text):
                        return stamp
                left = deadline - time.monotonic()
                if left <= 0 or (self.process.poll() is not None and not self.reader.is_alive()):
                    raise Failure(f"the probe never showed {kind} {text!r}; it showed "
                                  f"{[event[1:] for event in self.events][-8:]}")
                self.changed.wait(min(left, 0.5))

    def find(self, kind):
        with self.changed:
            return [event for event in self.events if event[1] == kind]

    def stop(self):
        stop(self.process)
        self.reader.join(5)


def run_phone(build, scratch, steps, hear=None, timeout=60):
    command = [build.phone, "call", "--ring-every", "1", "--trace"]
    if hear:
        command += ["--hear", hear]
    result = subprocess.run(command + steps, cwd=scratch.path, env=scratch.env, text=True,
                            capture_output=True, timeout=timeout, check=False)
    if result.returncode != 0 or " answered" not in result.stdout:
        raise Failure(f"porthold-phone ended with {result.returncode}: {result.stderr.strip()}")
    events = []
    for line in result.stdout.splitlines():
        stamp, _, event = line.partition(" ")
        events.append((float(stamp), event))
    return events


# ---------------------------------------------------------------------------
# Signals


def write_wave(path, samples):
    """8000 Hz, 16 bits, mono, with the 16-byte format chunk the phone reads."""
    with wave.open(path, "wb") as file:
        file.setnchannels(1)
        file.setsampwidth(2)
        file.setframerate(8000)
        file.writeframes(struct.pack(f"<{len(samples)}h", *samples))


def read_wave_samples(path):
    """The samples of a 16-bit mono WAVE file, whatever its format chunk's size."""
    with open(path, "rb") as file:
        data = file.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise Failure(f"{path} is not a WAVE file")
    at = 12
    while at + 8 <= len(data):
        name, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if name == b"data":
            body = data[at + 8:at + 8 + size]
            return struct.unpack(f"<{len(body) // 2}h", body[:len(body) // 2 * 2])
        at += 8 + size + (size & 1)
    raise Failure(f"{path} has no data chunk")


def ramp(seconds):
    return [2 * (n % RAMP_STEPS) - RAMP_STEPS for n in range(int(seconds * 8000))]


def ramp_gaps(samples):
    """The discontinuities of a recorded ramp and the samples missing at them.
    Between neighbours the ramp rises by 2, modulo its span; a jump of 2(k+1)
    means k samples are gone. The silence before the caller speaks and after
    the caller stops is left out: the recorder keeps the buffer in which
    speech starts or ends."""
    first = next((index for index, sample in enumerate(samples) if sample != 0), len(samples))
    last = len(samples)
    while last > first and samples[last - 1] == 0:
        last -= 1
    samples = samples[first:last]
    discontinuities = 0
    missing = 0
    span = 2 * RAMP_STEPS
    for previous, current in zip(samples, samples[1:]):
        step = (current - previous) % span
        if step != 2:
            discontinuities += 1
            # A repeated sample (a step of 0) is counted, but nothing is gone.
            missing += (step // 2 - 1) % RAMP_STEPS if step else 0
    return discontinuities, missing


def first_sound_ms(samples):
    for index, sample in enumerate(samples):
        if abs(sample) >= HEARD_THRESHOLD:
            return index / 8.0
    return None


# ---------------------------------------------------------------------------
# Threads of a process


# The system calls an idle thread waits in (x86-64 numbers), to tell apart
# threads that share the program's name.
WAITS = {0: "read", 7: "poll", 23: "select", 35: "nanosleep", 202: "futex",
         230: "clock_nanosleep", 232: "epoll_wait", 270: "pselect6", 271: "ppoll",
         281: "epoll_pwait"}


def waits_in(pid, tid):
    try:
        with open(f"/proc/{pid}/task/{tid}/syscall", encoding="ascii") as file:
            call = file.read().split()[0]
    except (OSError, IndexError):
        return ""
    if not call.lstrip("-").isdigit():
        return ""
    return WAITS.get(int(call), f"system call {call}")


def thread_readings(pid):
    """For each thread: its name, nanoseconds on a CPU, context switches and
    the system call it waits in."""
    readings = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return readings
    for tid in tids:
        base = f"/proc/{pid}/task/{tid}"
        try:
            with open(f"{base}/comm", encoding="utf-8") as file:
                name = file.read().strip()
            with open(f"{base}/schedstat", encoding="utf-8") as file:
                on_cpu = int(file.read().split()[0])
            switches = read_status_field(f"{pid}/task/{tid}", "voluntary_ctxt_switches")
            switches += read_status_field(f"{pid}/task/{tid}", "nonvoluntary_ctxt_switches")
        except (FileNotFoundError, ProcessLookupError):
            continue
        readings[int(tid)] = (name, on_cpu, switches, waits_in(pid, tid))
    return readings


def idle_figures(pid, before, after, seconds):
    """CPU % of one core and wake-ups a second, per thread (named, the main
    thread first) and in all, plus CPU microseconds per main-thread wake-up."""
    threads = []
    total_cpu = total_wakeups = 0.0
    seen = {}
    for tid in sorted(after, key=lambda tid: (tid != pid, tid)):
        if tid not in before:
            continue
        name = "main" if tid == pid else after[tid][0]
        seen[name] = seen.get(name, 0) + 1
        label = name if seen[name] == 1 else f"{name} #{seen[name]}"
        cpu = (after[tid][1] - before[tid][1]) / 1e9 / seconds * 100
        wakeups = (after[tid][2] - before[tid][2]) / seconds
        total_cpu += cpu
        total_wakeups += wakeups
        threads.append((label, cpu, wakeups, after[tid][3]))
    figures = {"cpu": total_cpu, "wakeups": total_wakeups, "threads": threads}
    if pid in before and pid in after:
        switches = after[pid][2] - before[pid][2]
        if switches > 0:
            figures["main_us_per_wakeup"] = (after[pid][1] - before[pid][1]) / 1000 / switches
    return figures


# ---------------------------------------------------------------------------
# The measurements of one run


def start_probe_until_waiting(build, scratch, extra_env=None):
    """The probe started and showing that it waits for a call: the probe, the
    start-up time in ms and the resident memory then in KiB."""
    probe = Probe(build, scratch, extra_env)
    try:
        shown = probe.wait_for("status", WAITING)
        rss = read_status_field(probe.process.pid, "VmRSS")
    except Exception:
        probe.stop()
        raise
    return probe, shown - probe.started_ms, rss


def measure_start_and_call(build, tiny):
    """Start-up, key to engine and answer to greeting, on one program."""
    scratch = Scratch(build)
    try:
        probe, start_up, rss = start_probe_until_waiting(build, scratch)
        try:
            heard = scratch.file("heard.wav")
            phone = run_phone(build, scratch, ["wait:1", "keys:123", "wait:1", "hangup"], heard)
            keys = [stamp for stamp, event in phone if event.startswith("key ")]
            shown = []
            for count, key_time in enumerate(keys, start=1):
                shown.append(probe.wait_for("status", " " + "123"[:count], after_ms=key_time)
                             - key_time)
            greeting = first_sound_ms(read_wave_samples(heard))
            probe.wait_for("status", WAITING, after_ms=keys[-1])
        finally:
            probe.stop()
    finally:
        scratch.remove()
    figures = {"start_up_ms": start_up, "start_up_rss_kib": rss,
               "key_to_engine_ms": statistics.median(shown)}
    if greeting is not None:
        figures["answer_to_greeting_ms"] = greeting
    return figures


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def baresip_modules():
    program = shutil.which("baresip")
    if program is None:
        return None, None
    prefix = os.path.dirname(os.path.dirname(os.path.realpath(program)))
    for root, _, files in os.walk(os.path.join(prefix, "lib")):
        if root.endswith("baresip/modules") and "g711.so" in files:
            return program, root
    return program, None


def start_baresip(scratch):
    """baresip idle beside the program, for reference: its own configuration
    folder, no sound card, SIP on the loopback only. None where it is not
    installed."""
    program, modules = baresip_modules()
    if program is None or modules is None:
        return None
    folder = scratch.file("baresip")
    os.makedirs(folder)
    with open(os.path.join(folder, "accounts"), "w", encoding="utf-8") as file:
        file.write("<sip:idle@127.0.0.1>;regint=0\n")
    configuration = [
        f"sip_listen 127.0.0.1:{free_udp_port()}", "net_interface 127.0.0.1",
        "audio_player alsa,null", "audio_alert alsa,null", "audio_source alsa,null",
        f"module_path {modules}", "module g711.so", "module alsa.so",
        "module_app account.so", "module_app menu.so",
    ]
    with open(os.path.join(folder, "config"), "w", encoding="utf-8") as file:
        file.write("\n".join(configuration) + "\n")
    return subprocess.Popen([program, "-f", folder], cwd=scratch.path, env=scratch.env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def wait_for_line(scratch, timeout=30):
    """Until the simulated line's socket is there: the program has started."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for _, _, files in os.walk(scratch.runtime):
            if any(name.endswith(".sock") for name in files):
                return
        time.sleep(0.1)
    raise Failure("the program never opened its line")


def measure_idle(build, seconds, settle):
    """The real program idle (and baresip beside it), over `seconds`."""
    scratch = Scratch(build)
    program = subprocess.Popen([build.program], cwd=scratch.program_folder, env=scratch.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    softphone = start_baresip(scratch)
    try:
        wait_for_line(scratch)
        time.sleep(settle)
        pids = [program.pid] + ([softphone.pid] if softphone and softphone.poll() is None else [])
        before = {pid: thread_readings(pid) for pid in pids}
        started = time.monotonic()
        time.sleep(seconds)
        after = {pid: thread_readings(pid) for pid in pids}
        elapsed = time.monotonic() - started
        if program.poll() is not None:
            raise Failure(f"the program ended while idle, with {program.returncode}")
        figures = {"program": idle_figures(program.pid, before[program.pid],
                                           after[program.pid], elapsed)}
        if len(pids) == 2:
            figures["baresip"] = idle_figures(softphone.pid, before[softphone.pid],
                                              after[softphone.pid], elapsed)
            figures["baresip"]["rss_kib"] = read_status_field(softphone.pid, "VmRSS")
        figures["program"]["rss_kib"] = read_status_field(program.pid, "VmRSS")
    finally:
        stop(program)
        if softphone:
            stop(softphone)
        scratch.remove()
    return figures


def newest_message(scratch):
    folder = os.path.join(scratch.program_folder, "messages")
    waves = [os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".wav")]
    if not waves:
        raise Failure("the call left no message")
    return max(waves, key=os.path.getmtime)


def parse_pairs(text):
    return {key: float(value) for key, _, value in
            (word.partition("=") for word in text.split()) if value}


def sound_seconds(scratch, name):
    with wave.open(os.path.join(scratch.program_folder, "sounds", name)) as file:
        return file.getnframes() / file.getframerate()


def take_message(build, scratch, recording_seconds):
    """A caller keys '#' and speaks the ramp while the window is worked; the
    probe's events and the message file. The caller speaks from the '#' on,
    through the prompt and the beep, for `recording_seconds` more."""
    speech = scratch.file("speech.wav")
    prompt = sound_seconds(scratch, "default_message_prompt.wav")
    prompt += sound_seconds(scratch, "default_beep.wav")
    write_wave(speech, ramp(prompt + recording_seconds))
    probe, _, _ = start_probe_until_waiting(
        build, scratch, {"PORTHOLD_BENCH_TICKS": "1", "PORTHOLD_BENCH_WORK": "1"})
    try:
        phone = run_phone(build, scratch, ["wait:1", "keys:#", f"say:{speech}", "wait:5", "hangup"],
                          timeout=prompt + recording_seconds + 90)
        # The program may hang up first (at the limit) and be waiting again
        # before the caller has noticed.
        answered = next(stamp for stamp, event in phone if event == "answered")
        probe.wait_for("status", WAITING, after_ms=answered, timeout=30)
        # The user goes on using the window after the call, now with its
        # dialogs, which it does not offer during a call.
        time.sleep(WORK_AFTER_CALL_SECONDS)
    finally:
        probe.stop()
    return probe, phone, newest_message(scratch)


LATE_TICK_MS = 20  # the probe tells each tick at least this late


def recording_ticks(probe):
    """The worst tick delay while the message was recorded (None: all under
    LATE_TICK_MS), and how long the main thread was blocked while the prompt
    and beep played before it (None: not seen). The recording runs from the
    end of that block to the hang-up."""
    recording = probe.wait_for("status", " Recording Message...", timeout=0)
    ended = min([stamp for stamp, kind, text in probe.find("status")
                 if text == " Disconnecting..." and stamp > recording] or [float("inf")])
    late = [(stamp, float(text)) for stamp, _, text in probe.find("late-tick")]
    block = next(((stamp, delay) for stamp, delay in late
                  if stamp - delay - 10 <= recording <= stamp), None)
    start = block[0] if block else recording
    during = [delay for stamp, delay in late if start < stamp <= ended]
    return (max(during) if during else None), (block[1] if block else None)


def measure_message(build, tiny):
    """Recording buffers lost and the worst tick delay, over a message that
    runs into the recording limit (a short one with --tiny) while the window
    is worked."""
    scratch = Scratch(build)
    try:
        # The first start writes the default settings; then silence detection
        # is turned on, under which 2 minutes end a message.
        probe, _, _ = start_probe_until_waiting(build, scratch)
        probe.stop()
        scratch.set_silence_level(SILENCE_LEVEL)
        # Beyond the limit, so that the limit ends the message.
        recording_seconds = 5 if tiny else RECORDING_LIMIT_SECONDS + 10
        probe, phone, message = take_message(build, scratch, recording_seconds)
        samples = read_wave_samples(message)
    finally:
        scratch.remove()
    discontinuities, missing = ramp_gaps(samples)
    ticks = probe.find("ticks")
    worked = probe.find("worked")
    if not ticks or "worst" not in ticks[-1][2]:
        raise Failure("the probe reported no ticks")
    tick = parse_pairs(ticks[-1][2])
    worst_recording, prompt_block = recording_ticks(probe)
    return {
        "tick_worst_recording_ms": worst_recording,
        "prompt_block_ms": prompt_block,
        "buffers_lost": (missing + BUFFER_SAMPLES - 1) // BUFFER_SAMPLES,
        "discontinuities": discontinuities,
        "message_seconds": len(samples) / 8000.0,
        "limit_reached": any(event == "hangup by program" for _, event in phone),
        "tick_worst_ms": tick["worst"],
        "tick_p99_ms": tick["p99"],
        "tick_count": tick["count"],
        "worked": {key: int(value) for key, value in parse_pairs(worked[-1][2]).items()}
        if worked else {},
    }


def drop_caches():
    os.sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w", encoding="ascii") as file:
            file.write("3\n")
    except OSError as error:
        raise NotMeasured(f"cannot drop the page cache: {error.strerror}") from error


def measure_cold_start(build):
    drop_caches()
    scratch = Scratch(build)
    try:
        drop_caches()
        probe, start_up, _ = start_probe_until_waiting(build, scratch)
        probe.stop()
    finally:
        scratch.remove()
    return start_up


def measure_store(build, tiny, runs):
    """porthold-store-bench's lines: (figure, messages, median ms)."""
    if not os.path.exists(build.store_bench):
        raise NotMeasured("porthold-store-bench is not built")
    arguments = ["--messages", "10,100", "--runs", "1"] if tiny else \
        ["--messages", "1000,10000", "--runs", str(runs)]
    result = subprocess.run([build.store_bench] + arguments, text=True, capture_output=True,
                            timeout=3600, check=False)
    if result.returncode != 0:
        raise NotMeasured(f"porthold-store-bench ended with {result.returncode}: "
                          f"{result.stderr.strip()[:200]}")
    lines = []
    for line in result.stdout.splitlines():
        fields = line.split("\t")
        if line.startswith("#") or len(fields) != 3:
            continue
        lines.append((fields[0], fields[1], float(fields[2])))
    if not lines:
        raise NotMeasured("porthold-store-bench printed no figures")
    return lines


# ---------------------------------------------------------------------------
# Runs and the table


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

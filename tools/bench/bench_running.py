"""The programs a benchmark run starts and reads: the build, a scratch
program folder, the probe, porthold-phone, wave files and the threads of a
process."""

import os
import shutil
import signal
import struct
import subprocess
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

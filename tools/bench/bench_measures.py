"""The measurements of one benchmark run, each through the real program."""

import os
import shutil
import socket
import statistics
import subprocess
import time
import wave

from bench_running import (
    BUFFER_SAMPLES,
    Failure,
    NotMeasured,
    Probe,
    RECORDING_LIMIT_SECONDS,
    SILENCE_LEVEL,
    Scratch,
    WAITING,
    WORK_AFTER_CALL_SECONDS,
    first_sound_ms,
    idle_figures,
    ramp,
    ramp_gaps,
    read_status_field,
    read_wave_samples,
    run_phone,
    stop,
    thread_readings,
    write_wave,
)


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

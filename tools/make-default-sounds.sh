#!/usr/bin/env bash
# Regenerates the default sounds in assets/sounds/, all in the telephony layout
# (PCM, mono, 8000 samples a second, 16 bits, 18-byte format chunk):
#   sit_tone.wav, default_ring.wav, default_beep.wav   tones, computed exactly
#   default_greeting.wav, default_message_prompt.wav,
#   default_valid_pin.wav, default_invalid_pin.wav,
#   default_no_answer.wav                               spoken prompts
#
#   tools/make-default-sounds.sh [BUILD_FOLDER]
#
# Needs cmake, ninja and a C++ compiler (it builds porthold-make-sounds into
# BUILD_FOLDER, by default build-sounds), plus espeak-ng and sox for the spoken
# prompts (Debian: apt-get install espeak-ng sox). The generated files are
# committed, so building and testing Porthold needs neither; run this again
# after changing a text or a tone and commit the result. Each run rewrites all
# eight files and prints their length and levels.
#
# The prompts are spoken by espeak-ng, cut to the telephone band (300 to
# 3400 Hz), resampled to 8000 samples a second, trimmed, normalised to a peak
# of -3 dBFS and framed by 150 ms of silence before and 200 ms after; the
# program then rewrites each file in the exact layout the recorder uses.
set -euo pipefail
cd "$(dirname "$0")/.."

voice=en-us
words_per_minute=150
sounds=assets/sounds
build=${1:-build-sounds}

for command in espeak-ng sox cmake; do
    if ! command -v "$command" >/dev/null; then
        echo "make-default-sounds: $command is missing (apt-get install espeak-ng sox cmake)" >&2
        exit 1
    fi
done

cmake -S . -B "$build" -G Ninja -DPORTHOLD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target porthold-make-sounds >/dev/null
tool=$build/tools/make-default-sounds/porthold-make-sounds

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

speak() {
    local name=$1 text=$2
    espeak-ng -v "$voice" -s "$words_per_minute" -w "$work/$name.spoken.wav" "$text"
    # -D: no dither, so that the silence around the words is true silence and
    # a second run gives the same bytes.
    sox -D "$work/$name.spoken.wav" -r 8000 -c 1 -b 16 -e signed-integer "$work/$name.wav" \
        highpass 300 lowpass 3400 rate -v 8000 \
        silence 1 0.02 -55d reverse silence 1 0.02 -55d reverse \
        gain -n -3 pad 0.15 0.2
    "$tool" convert "$work/$name.wav" "$sounds/$name.wav"
}

mkdir -p "$sounds"
"$tool" tones "$sounds/"

# When each prompt plays: the greeting on answering (again after 15 s of
# waiting and after a wrong code); the valid-code prompt before the caller
# hears ringing; the no-answer prompt when nobody picks up, followed by the
# message prompt; the invalid-code prompt before either the greeting again or,
# after the third wrong code, the message prompt. The message prompt is
# followed by the beep and the recording.
speak default_greeting "Hello, you have reached a call screening service. \
If you have a personal code, please enter it now, followed by the pound key. \
To leave a message, just press pound."
speak default_message_prompt "Please leave your message after the tone. \
When you have finished, simply hang up."
speak default_valid_pin "Thank you. Please hold while we try to put your call through."
speak default_invalid_pin "Sorry, that code was not recognized. Please stay on the line."
speak default_no_answer "Sorry, there's no answer right now. \
Please stay on the line to leave a message."

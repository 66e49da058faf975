// porthold-make-sounds: writes the default sounds in the telephony layout.
//
//   porthold-make-sounds tones FOLDER
//       writes sit_tone.wav, default_ring.wav and default_beep.wav into FOLDER
//       (which ends in "/").
//   porthold-make-sounds convert INPUT OUTPUT
//       rewrites INPUT, a 16-bit mono PCM WAVE file at 8000 samples a second
//       from any writer, in the exact telephony layout as OUTPUT.
//
// Each file written is summarised on standard output (length, peak and
// average level) so that a regeneration can be checked without listening.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/wave_layout.h"
#include "tones.h"

namespace {

using porthold::audio::WriteTelephonyWaveFile;

double Decibels(double level) {
    return level > 0.0 ? 20.0 * std::log10(level / 32768.0) : -INFINITY;
}

void Summarise(const std::string& path, std::span<const std::int16_t> samples) {
    double peak = 0.0;
    double sumOfSquares = 0.0;
    std::size_t clipped = 0;
    for (const std::int16_t sample : samples) {
        peak = std::max(peak, std::abs(static_cast<double>(sample)));
        sumOfSquares += static_cast<double>(sample) * sample;
        if (sample == INT16_MAX || sample == INT16_MIN) {
            ++clipped;
        }
    }
    const double seconds =
        static_cast<double>(samples.size()) / porthold::audio::kTelephonySamplesPerSecond;
    const double rms = samples.empty() ? 0.0 : std::sqrt(sumOfSquares / samples.size());
    std::printf("%s: %.2f s, peak %.1f dBFS, rms %.1f dBFS, %zu samples at full scale\n",
                path.c_str(), seconds, Decibels(peak), Decibels(rms), clipped);
}

bool Write(const std::string& path, const std::vector<std::int16_t>& samples) {
    if (!WriteTelephonyWaveFile(path, samples)) {
        std::cerr << "cannot write " << path << "\n";
        return false;
    }
    Summarise(path, samples);
    return true;
}

bool WriteTones(const std::string& folder) {
    return Write(folder + "sit_tone.wav", porthold::tools::SpecialInformationTone()) &&
           Write(folder + "default_ring.wav", porthold::tools::RingbackTone()) &&
           Write(folder + "default_beep.wav", porthold::tools::BeepTone());
}

bool Convert(const std::string& input, const std::string& output) {
    const std::optional<porthold::audio::WaveSamples> read =
        porthold::audio::ReadWaveSamples(input);
    if (!read) {
        std::cerr << input << " is not a readable 16-bit PCM WAVE file\n";
        return false;
    }
    if (read->format.channels != porthold::audio::kTelephonyChannels ||
        read->format.samplesPerSecond != porthold::audio::kTelephonySamplesPerSecond) {
        std::cerr << input << " has " << read->format.channels << " channel(s) at "
                  << read->format.samplesPerSecond << " samples a second; convert it to mono at "
                  << porthold::audio::kTelephonySamplesPerSecond << " first\n";
        return false;
    }
    return Write(output, read->samples);
}

}  // namespace

int main(int argumentCount, char** arguments) {
    const std::vector<std::string> words(arguments + 1, arguments + argumentCount);
    if (words.size() == 2 && words[0] == "tones") {
        return WriteTones(words[1]) ? 0 : 1;
    }
    if (words.size() == 3 && words[0] == "convert") {
        return Convert(words[1], words[2]) ? 0 : 1;
    }
    std::cerr << "usage: porthold-make-sounds tones FOLDER/\n"
                 "       porthold-make-sounds convert INPUT.wav OUTPUT.wav\n";
    return 2;
}

#include "service/modem/line_tone_detector.h"

#include <array>
#include <cmath>
#include <numbers>

namespace porthold::service::modem {
namespace {

constexpr double kSampleRate = 8000;
constexpr std::size_t kBlockSamples = 160;  // 20 ms
constexpr std::size_t kBlockMilliseconds = 20;

constexpr std::array<double, 6> kFrequencies{350, 400, 425, 440, 480, 620};
// Neighbouring filters 50 Hz or less apart answer to the same tone, so a tone
// is named by its group rather than by the filter that happens to be the
// strongest in a block, which may change from block to block for a tone that
// lies between two of them.
constexpr std::array<unsigned, 6> kGroups{0, 1, 1, 1, 2, 3};
// Two filters this far apart hear two tones rather than one tone twice.
constexpr double kSeparateTones = 70;

// The share of a block's energy the tone filters must hold. A steady tone puts
// nearly all its energy there; speech, music and noise spread theirs.
constexpr double kToneShare = 0.7;
// A second tone quieter than this share is leakage of the first.
constexpr double kSecondToneShare = 0.15;
// About -42 dBm0: quieter blocks are taken as silence, whatever they hold.
constexpr double kQuietestMeanSquare = 16000;

// A tone interrupted for less than a block (a click, a few lost samples)
// spoils the two blocks either side of the gap, so a run changes only after
// three blocks of another kind; fewer are counted as part of the run.
constexpr std::size_t kBlocksToChangeRun = 3;

constexpr std::size_t kDialToneBlocks = 2000 / kBlockMilliseconds;
// Each half of a busy cadence lasts 150 to 800 ms; a run is measured to a
// block, so one block of slack either side.
constexpr std::size_t kShortestHalfBlocks = 150 / kBlockMilliseconds - 1;
constexpr std::size_t kLongestHalfBlocks = 800 / kBlockMilliseconds + 1;
constexpr std::size_t kBusyHalves = 6;

const std::array<double, 6> kCoefficients = [] {
    std::array<double, 6> coefficients{};
    for (std::size_t bin = 0; bin < kFrequencies.size(); ++bin) {
        coefficients[bin] = 2 * std::cos(2 * std::numbers::pi * kFrequencies[bin] / kSampleRate);
    }
    return coefficients;
}();

}  // namespace

LineTone LineToneDetector::Feed(std::span<const std::int16_t> samples) {
    for (const std::int16_t sample : samples) {
        if (heard_ != LineTone::None) {
            break;
        }
        const double value = sample;
        for (std::size_t bin = 0; bin < kBins; ++bin) {
            const double next = value + kCoefficients[bin] * previous_[bin] - beforePrevious_[bin];
            beforePrevious_[bin] = previous_[bin];
            previous_[bin] = next;
        }
        sum_ += sample;
        sumOfSquares_ += static_cast<std::int64_t>(sample) * sample;
        if (++filled_ == kBlockSamples) {
            EndBlock();
        }
    }
    return heard_;
}

void LineToneDetector::Reset() {
    *this = LineToneDetector{};
}

void LineToneDetector::EndBlock() {
    static_assert(kFrequencies.size() == kBins && kGroups.size() == kBins);
    const BlockKind kind = KindOfBlock();
    for (std::size_t bin = 0; bin < kBins; ++bin) {
        previous_[bin] = 0;
        beforePrevious_[bin] = 0;
    }
    sum_ = 0;
    sumOfSquares_ = 0;
    filled_ = 0;
    Classify(kind);
}

LineToneDetector::BlockKind LineToneDetector::KindOfBlock() const {
    // The energy without the block's mean, so an offset from an unsigned
    // 8-bit format that is not quite centred does not hide a tone.
    const double count = kBlockSamples;
    const double energy = static_cast<double>(sumOfSquares_) -
                          static_cast<double>(sum_) * static_cast<double>(sum_) / count;
    if (energy / count < kQuietestMeanSquare) {
        return 0;
    }
    // A sine of amplitude A gives its filter a power of (A N / 2)^2 and the
    // block an energy of A^2 N / 2, so this share is 1 for a pure tone.
    std::array<double, kBins> shares{};
    std::size_t strongest = 0;
    for (std::size_t bin = 0; bin < kBins; ++bin) {
        const double power = previous_[bin] * previous_[bin] +
                             beforePrevious_[bin] * beforePrevious_[bin] -
                             kCoefficients[bin] * previous_[bin] * beforePrevious_[bin];
        shares[bin] = 2 * power / (count * energy);
        if (shares[bin] > shares[strongest]) {
            strongest = bin;
        }
    }
    double second = 0;
    std::size_t secondBin = strongest;
    for (std::size_t bin = 0; bin < kBins; ++bin) {
        if (std::abs(kFrequencies[bin] - kFrequencies[strongest]) >= kSeparateTones &&
            shares[bin] > second) {
            second = shares[bin];
            secondBin = bin;
        }
    }
    if (shares[strongest] + second < kToneShare) {
        return 0;
    }
    BlockKind kind = 1u << kGroups[strongest];
    if (second >= kSecondToneShare) {
        kind |= 1u << kGroups[secondBin];
    }
    return kind;
}

void LineToneDetector::Classify(BlockKind kind) {
    if (kind == runKind_) {
        runBlocks_ += candidateBlocks_ + 1;
        candidateBlocks_ = 0;
    } else if (candidateBlocks_ > 0 && kind == candidateKind_) {
        if (++candidateBlocks_ >= kBlocksToChangeRun) {
            EndRun();
            runKind_ = kind;
            runBlocks_ = candidateBlocks_;
            candidateBlocks_ = 0;
        }
    } else {
        runBlocks_ += candidateBlocks_;
        candidateKind_ = kind;
        candidateBlocks_ = 1;
    }
    if (runKind_ != 0 && runBlocks_ >= kDialToneBlocks) {
        heard_ = LineTone::DialTone;
    }
}

void LineToneDetector::EndRun() {
    const bool fitsCadence = runBlocks_ >= kShortestHalfBlocks && runBlocks_ <= kLongestHalfBlocks;
    if (!fitsCadence) {
        cadenceHalves_ = 0;
        return;
    }
    if (runKind_ != 0) {
        // Every on half of a busy tone is the same tone.
        if (cadenceHalves_ > 0 && cadenceKind_ != runKind_) {
            cadenceHalves_ = 0;
        }
        cadenceKind_ = runKind_;
        ++cadenceHalves_;
    } else if (cadenceHalves_ > 0) {
        ++cadenceHalves_;
    }
    if (cadenceHalves_ >= kBusyHalves) {
        heard_ = LineTone::BusyTone;
    }
}

}  // namespace porthold::service::modem

#pragma once

// Hears whether the caller has gone: after a caller hangs up, an analogue
// line soon carries the exchange's dial tone or busy tone. Most voice modems
// report those themselves (<DLE>d, <DLE>b), but some do not, so the line also
// listens for them in what it records.
//
// Dial tone is a steady tone; busy tone is the same kind of tone switched on
// and off in a regular cadence. Both are the exchange's call-progress tones,
// whose frequencies differ between countries (350+440 Hz in North America,
// 425 Hz in most of Europe, 400 Hz in some others), so the detector looks for
// strong, steady energy at any of those and tells the two apart by cadence,
// never by pitch. Speech, music and silence are not tones.

#include <cstddef>
#include <cstdint>
#include <span>

namespace porthold::service::modem {

enum class LineTone { None, DialTone, BusyTone };

class LineToneDetector {
public:
    // The audio as it is recorded (8000 samples a second, any chunk size).
    // Returns the tone once it is certain: a dial tone after 2 s of it, a busy
    // tone after three on-off cycles (each half between 0.15 s and 0.8 s). The
    // answer stays until Reset.
    LineTone Feed(std::span<const std::int16_t> samples);
    void Reset();

private:
    // The exchange's tone frequencies, each heard by its own Goertzel filter.
    static constexpr std::size_t kBins = 6;
    // What a 20 ms block holds: no tone, or the set of tone bins that carry it.
    using BlockKind = unsigned;

    void EndBlock();
    BlockKind KindOfBlock() const;
    void Classify(BlockKind kind);
    void EndRun();

    // The block being filled.
    double previous_[kBins] = {};
    double beforePrevious_[kBins] = {};
    std::int64_t sum_ = 0;
    std::int64_t sumOfSquares_ = 0;
    std::size_t filled_ = 0;

    // The current run of blocks of one kind, and a block or two of another
    // kind that may be the start of the next run or only a click.
    BlockKind runKind_ = 0;
    std::size_t runBlocks_ = 0;
    BlockKind candidateKind_ = 0;
    std::size_t candidateBlocks_ = 0;

    // The on and off halves in a row whose lengths fit a busy cadence.
    std::size_t cadenceHalves_ = 0;
    BlockKind cadenceKind_ = 0;

    LineTone heard_ = LineTone::None;
};

}  // namespace porthold::service::modem

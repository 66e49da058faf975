#pragma once

#include <string>

namespace porthold::tools::store_bench {

// A program folder of its own for one measurement: made private (0700) under
// $TMPDIR or /tmp, with empty "sounds/" and "messages/" folders, and removed
// with everything in it when the object goes, so a run never leaves a
// caller's-voice-sized mess behind or touches the user's own messages.
class BenchFolder {
public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    // False when the folder could not be made; nothing else works then.
    bool IsReady() const { return !programFolder_.empty(); }

    // The private folder itself, without "/" at the end.
    const std::string& Root() const { return root_; }
    // Both end in "/".
    const std::string& ProgramFolder() const { return programFolder_; }
    const std::string& MessagesFolder() const { return messagesFolder_; }

private:
    std::string root_;
    std::string programFolder_;
    std::string messagesFolder_;
};

// Fills the messages folder with `count` message files "m0000000.wav"... and
// a "messages.lst" that lists them in order, about a third still new, with
// the dates, PINs and "#" that callers leave. False when a file could not be
// written.
bool WriteMessages(const std::string& messagesFolder, int count);

}  // namespace porthold::tools::store_bench

#pragma once

namespace porthold::audio {

// The call engine's flags that the audio side reads and sets. The engine owns
// them; the player and the recorder reach them only through this interface so
// that they do not depend on the engine.
class CallFlags {
public:
    virtual ~CallFlags() = default;

    // Remote retrieval is under way.
    virtual bool IsRetrieving() const = 0;
    // The latest sound started during retrieval is a message, not a beep.
    virtual bool IsMessagePlaying() const = 0;
    // A sound ended (or was stopped) while a retrieved message was playing;
    // the engine moves on to the next message.
    virtual void SetMessageFinished() = 0;
    // The recorder ended a message on silence or length; the engine hangs up.
    virtual void RequestHangUp() = 0;
};

}  // namespace porthold::audio

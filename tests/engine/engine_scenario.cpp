#include "engine_scenario.h"

#include <cmath>

#include "audio/wave_layout.h"
#include "engine_sounds.h"
#include "platform/files.h"

namespace porthold::telephony::testing {

namespace {

const std::string kAssets = PORTHOLD_SOUNDS_FOLDER;

std::vector<std::int16_t> SamplesOf(const std::string& path) {
    const auto read = audio::ReadWaveSamples(path);
    EXPECT_TRUE(read.has_value()) << path;
    return read ? read->samples : std::vector<std::int16_t>{};
}

}  // namespace

void PrintTo(const HeardSound& sound, std::ostream* out) {
    *out << "{" << sound.name << " " << sound.start << ".." << sound.end
         << (sound.cutShort ? " cut" : "") << "}";
}

std::vector<std::int16_t> Speech(std::uint32_t milliseconds) {
    // Both bytes of every sample far from zero: never taken for silence.
    std::vector<std::int16_t> samples;
    const std::uint32_t count = milliseconds * 8;
    samples.reserve(count);
    for (std::uint32_t index = 0; index < count; ++index) {
        const int magnitude = 0x4040 + static_cast<int>(index * 37 % 0x2F00);
        samples.push_back(static_cast<std::int16_t>(index % 2 == 0 ? magnitude : -magnitude));
    }
    return samples;
}

EngineScenario::EngineScenario()
    : line(service.AddLine(
          std::make_unique<service::SimulatedModemLine>(clock, "line0", kLineOut, kLineIn))),
      callers(folder.Path()),
      messages(folder.Path() + "messages/"),
      engine(CallEngineParts{
          .tapi = tapi,
          .handles = handles,
          .state = state,
          .audio = audio,
          .callers = callers,
          .messages = messages,
          .settings = settings,
          .errorLog = log,
          .clock = clock,
          .mainWindow = *this,
          .statusLine = status,
          .mainControls = controls,
          .messageBoxes = modalBoxes,
          .dialogs = dialogs,
          .replyWait = replyWait,
          .lineEventWatch = &lineEventWatch,
          .messageFileExists =
              [this](const std::string& path) {
                  return everyMessageFileTaken || MessageFileExists(path);
              },
      }) {
    settings.Path = folder.Path();
    EXPECT_TRUE(PrepareProgramFolder(settings, kAssets));
    for (const EngineSound& sound : kEngineSounds) {
        soundNames_[SamplesOf(settings.soundsFolder + sound.file)] = sound.name;
    }
    settings.RingsAnswer = 1;
    settings.RingsMessage = 4;
    settings.UseSitTone = true;
    settings.RemotePIN = "958";

    devices.RegisterProvider(line.VoiceChannel());
    devices.RegisterSoundCard(soundCard);
    LineInitializer initializer(tapi, handles, status, boxes, log, 0);
    EXPECT_TRUE(initializer.LineInit());
    EXPECT_TRUE(initializer.InitPhone());
    status.texts.clear();
    engine.StartTick();
    clock.Advance(10);
    // Until a call is answered, times count from here.
    origin_ = clock.TickCount();
}

EngineScenario::~EngineScenario() {
    // The caller hangs up before the line goes, so no sound outlives the test.
    line.HangUp();
}

void EngineScenario::AddCaller(const std::string& pin, const std::string& text,
                               const std::string& sound) {
    ASSERT_TRUE(callers.AddNode(pin, text, sound));
}

std::string EngineScenario::WriteSound(const std::string& fileName, const std::string& name,
                                       std::uint32_t milliseconds) {
    // A tone whose pitch depends on the name, so that every sound differs.
    std::vector<std::int16_t> samples(milliseconds * 8);
    const double period = 10.0 + static_cast<double>(std::hash<std::string>{}(name) % 40);
    for (std::size_t index = 0; index < samples.size(); ++index) {
        samples[index] = static_cast<std::int16_t>(6000 * std::sin(index * 6.2831853 / period));
    }
    const std::string path = folder.File(fileName);
    EXPECT_TRUE(audio::WriteTelephonyWaveFile(path, samples));
    soundNames_[samples] = name;
    return path;
}

void EngineScenario::AddMessage(const std::string& fileName, const std::string& name,
                                std::uint32_t milliseconds) {
    const std::string path = WriteSound("messages/" + fileName, name, milliseconds);
    ASSERT_TRUE(messages.AddNode(path, "1", "01/02/2026 10:00 AM", store::MessageStatus::New));
    ASSERT_TRUE(messages.SaveList());
}

void EngineScenario::CallIn(std::uint32_t ringEvery) {
    ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
    for (std::uint32_t ring = 0; ring <= settings.RingsAnswer + 1 && !caller.answeredTick; ++ring) {
        line.Ring(&caller);
        Run(ringEvery);
    }
    ASSERT_TRUE(caller.answeredTick) << "not answered";
    origin_ = *caller.answeredTick;
    ASSERT_TRUE(RunUntil([&] { return state.callActive; }, 1000)) << "not prompting";
}

void EngineScenario::Press(const std::string& keys, service::KeyMode mode) {
    for (const char key : keys) {
        line.PressKey(key, mode, &caller);
    }
}

void EngineScenario::After(std::uint32_t delay, std::function<void()> action) {
    schedule.At(clock.TickCount() + delay, std::move(action));
}

std::int64_t EngineScenario::Now() const {
    return static_cast<std::int64_t>(clock.TickCount()) - origin_;
}

std::vector<HeardSound> EngineScenario::Name(
    const std::vector<platform::PlayedSound>& timeline) const {
    std::vector<HeardSound> heard;
    for (const platform::PlayedSound& sound : timeline) {
        const auto found = soundNames_.find(sound.Samples());
        heard.push_back(HeardSound{found == soundNames_.end() ? "?" : found->second,
                                   static_cast<std::int64_t>(sound.startTick) - origin_,
                                   static_cast<std::int64_t>(sound.endTick) - origin_,
                                   sound.state == platform::PlaybackState::CutShort});
    }
    return heard;
}

std::vector<HeardSound> EngineScenario::HeardOnLine() {
    return Name(line.VoiceChannel().Timeline());
}

std::vector<HeardSound> EngineScenario::HeardOnSoundCard() {
    return Name(soundCard.Timeline());
}

std::vector<std::string> EngineScenario::HeardNames() {
    std::vector<std::string> names;
    for (const HeardSound& sound : HeardOnLine()) {
        names.push_back(sound.name + (sound.cutShort ? " (cut)" : ""));
    }
    return names;
}

std::vector<std::string> EngineScenario::Statuses() const {
    std::vector<std::string> collapsed;
    for (const std::string& text : status.texts) {
        if (collapsed.empty() || collapsed.back() != text) {
            collapsed.push_back(text);
        }
    }
    return collapsed;
}

std::vector<store::MessageRecord> EngineScenario::Messages() const {
    std::vector<store::MessageRecord> records;
    for (int index = 0; index < messages.NodeCount(); ++index) {
        store::MessageRecord record;
        messages.GetNode(index, record.path, record.pin, record.dateTime, record.isNew);
        records.push_back(record);
    }
    return records;
}

}  // namespace porthold::telephony::testing

#include "service/sip_stack/sip_line_device.h"

#include <utility>

#include "platform/multimedia/alsa_sound_card.h"
#include "service/sip/sip_voice_channel.h"
#include "service/sip_stack/sip_line.h"

namespace porthold::service {
namespace {

// Owns the sound card and the voice channel beside the line that uses them,
// and is the line to the service. The card is made first and the line last,
// so that nothing outlives what it uses.
class SipLineDevice final : public LineProvider {
public:
    SipLineDevice(const LineConfiguration& line, platform::Clock& clock,
                  std::uint32_t outputDeviceId, std::uint32_t inputDeviceId, std::ostream& problems,
                  std::unique_ptr<platform::WaveDeviceProvider> soundCard)
        : soundCard_(std::move(soundCard)),
          channel_(clock, outputDeviceId, inputDeviceId, {},
                   sip::HeadsetSoundCard{soundCard_.get(), &problems, line.name}),
          line_(line.name, line.sip, channel_, outputDeviceId, inputDeviceId, channel_, problems) {}

    const std::string& Name() const override { return line_.Name(); }
    std::string DeviceName() const override { return line_.DeviceName(); }
    std::string ProviderInfo() const override { return line_.ProviderInfo(); }
    DWORD MediaModes() const override { return line_.MediaModes(); }
    bool HasPhoneDevice() const override { return true; }
    PhoneSet Phone() const override { return PhoneSet::Headset; }
    platform::WaveDeviceProvider& VoiceDevices() override { return line_.VoiceDevices(); }
    std::uint32_t WaveOutputDeviceId() const override { return line_.WaveOutputDeviceId(); }
    std::uint32_t WaveInputDeviceId() const override { return line_.WaveInputDeviceId(); }
    CallBehaviour Behaviour() const override { return line_.Behaviour(); }
    void Attach(LineEvents* events) override { line_.Attach(events); }
    void CallAnswered(FarEndCallId call) override { line_.CallAnswered(call); }
    void CallEndedByLine(FarEndCallId call) override { line_.CallEndedByLine(call); }

    // The headset goes back on hook by itself when the call's audio ends.
    bool SetHeadset(HookSwitch state) override {
        if (state == HookSwitch::OnHook) {
            channel_.DisconnectHeadset();
            return true;
        }
        return channel_.ConnectHeadset();
    }

private:
    std::unique_ptr<platform::WaveDeviceProvider> soundCard_;
    sip::SipVoiceChannel channel_;
    SipLine line_;
};

}  // namespace

std::unique_ptr<LineProvider> MakeSipLine(const LineConfiguration& line, platform::Clock& clock,
                                          std::uint32_t outputDeviceId, std::uint32_t inputDeviceId,
                                          std::ostream& problems) {
    return MakeSipLineWithSoundCard(line, clock, outputDeviceId, inputDeviceId, problems,
                                    std::make_unique<platform::AlsaSoundCard>(line.sip.soundCard));
}

std::unique_ptr<LineProvider> MakeSipLineWithSoundCard(
    const LineConfiguration& line, platform::Clock& clock, std::uint32_t outputDeviceId,
    std::uint32_t inputDeviceId, std::ostream& problems,
    std::unique_ptr<platform::WaveDeviceProvider> soundCard) {
    if (!line.sip.registrar.empty()) {
        // How the registration goes is written by the line as it happens.
        problems << "porthold line service: line " << line.name << ": registers with "
                 << line.sip.registrar << " as " << line.sip.user
                 << ", and takes calls sent straight to its address too" << std::endl;
    }
    return std::make_unique<SipLineDevice>(line, clock, outputDeviceId, inputDeviceId, problems,
                                           std::move(soundCard));
}

}  // namespace porthold::service

#include "service/sip_stack/sip_line_device.h"

#include "service/sip/sip_voice_channel.h"
#include "service/sip_stack/sip_line.h"

namespace porthold::service {
namespace {

// Owns the voice channel beside the line that uses it, and is the line to
// the service. The channel is made first and goes last, so the line never
// outlives the devices it hands out.
class SipLineDevice final : public LineProvider {
public:
    SipLineDevice(const LineConfiguration& line, platform::Clock& clock,
                  std::uint32_t outputDeviceId, std::uint32_t inputDeviceId, std::ostream& problems)
        : channel_(clock, outputDeviceId, inputDeviceId),
          line_(line.name, line.sip, channel_, outputDeviceId, inputDeviceId, channel_, problems) {}

    const std::string& Name() const override { return line_.Name(); }
    std::string DeviceName() const override { return line_.DeviceName(); }
    std::string ProviderInfo() const override { return line_.ProviderInfo(); }
    DWORD MediaModes() const override { return line_.MediaModes(); }
    bool HasPhoneDevice() const override { return line_.HasPhoneDevice(); }
    platform::WaveDeviceProvider& VoiceDevices() override { return line_.VoiceDevices(); }
    std::uint32_t WaveOutputDeviceId() const override { return line_.WaveOutputDeviceId(); }
    std::uint32_t WaveInputDeviceId() const override { return line_.WaveInputDeviceId(); }
    CallBehaviour Behaviour() const override { return line_.Behaviour(); }
    void Attach(LineEvents* events) override { line_.Attach(events); }
    void CallAnswered(FarEndCallId call) override { line_.CallAnswered(call); }
    void CallEndedByLine(FarEndCallId call) override { line_.CallEndedByLine(call); }

private:
    sip::SipVoiceChannel channel_;
    SipLine line_;
};

}  // namespace

std::unique_ptr<LineProvider> MakeSipLine(const LineConfiguration& line, platform::Clock& clock,
                                          std::uint32_t outputDeviceId, std::uint32_t inputDeviceId,
                                          std::ostream& problems) {
    if (!line.sip.registrar.empty()) {
        // How the registration goes is written by the line as it happens.
        problems << "porthold line service: line " << line.name << ": registers with "
                 << line.sip.registrar << " as " << line.sip.user
                 << ", and takes calls sent straight to its address too" << std::endl;
    }
    return std::make_unique<SipLineDevice>(line, clock, outputDeviceId, inputDeviceId, problems);
}

}  // namespace porthold::service

#include "app/controller/signal_path.h"

#include "platform/text/audio_format_text.h"

namespace pelmora::app {

namespace {

// DSD files carry one bit per sample and report their bit rate as their rate.
bool isDsd(const AudioFileInfo& track) { return track.bitResolution() == 1; }

std::string sourceText(const AudioFileInfo& track) {
  std::string text = track.extName();
  // Compressed formats without a bit depth of their own show none.
  if (!isDsd(track) && track.bitResolution() > 0) text += " " + std::to_string(track.bitResolution()) + "-bit";
  if (track.samplingRate() > 0) text += " " + sonara::text::rateText(track.samplingRate());
  return text;
}

}  // namespace

std::string signalPathText(const AudioFileInfo& track, const TkOutputFormat& output) {
  std::string text = sourceText(track);
  if (output.transport.empty()) return text;
  text += " \u2192 " + sonara::text::transportText(output.transport, output.sampleRate, output.bits);
  // DSD reaches the device bit for bit by construction; PCM may lose low bits to a
  // shallower device format.
  if (output.transport == "PCM") text += output.bitPerfect ? ", bit-perfect" : ", lowest bits dropped";
  return text;
}

}  // namespace pelmora::app

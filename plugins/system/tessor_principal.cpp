// The system codecs plug-in's principal and entry point: the decoder class is chosen
// by what the file holds, whatever its name says.
#include <cstring>
#include <new>

#include "plugins/common/host_link.h"
#include "plugins/common/path_extension.h"
#include "plugins/common/principal_properties.h"
#include "plugins/system/audio_format_probe.h"
#include "plugins/system/audio_toolbox_mp3_decoder.h"
#include "plugins/system/audio_toolbox_mp4_decoder.h"
#include "plugins/system/audio_toolbox_wav_decoder.h"

namespace sonara::tessor {
namespace {

using plugin::logLine;
using plugin::lowerCaseExtension;

class AudioToolboxDecoderPlugin final : public plugin::Principal {
 public:
  Value getProperties() noexcept override {
    try {
      return plugin::decoderProperties("AudioToolboxDecoderPlugin",
                                       {"wav", "aif", "aiff", "mp3", "mp2", "mp1", "m4a"});
    } catch (...) {
      return Value();
    }
  }

  const plugin::DecoderClass* findDecoderClassByPath(const std::string& path) noexcept override {
    try {
      return chooseClass(path);
    } catch (const std::exception& e) {
      logLine("AudioToolboxDecoderPlugin:findDecoderClassByPath failed.(%s)", e.what());
      return nullptr;
    }
  }

 private:
  const plugin::DecoderClass* chooseClass(const std::string& path) {
    const ProbedFormat probed = probeAudioFormat(path);
    switch (probed.format) {
      case DataFormat::LinearPcm: {
        const std::string ext = lowerCaseExtension(path);
        if (ext == "wav" || ext == "aiff" || ext == "aif") return &wav_class_;
        logLine("%s holds %s; only files named .wav, .aif or .aiff are read as such.", path.c_str(),
                probed.description.c_str());
        return nullptr;
      }
      case DataFormat::MpegAudio:
        return &mp3_class_;
      case DataFormat::AppleLossless:
        return &mp4_class_;
      case DataFormat::Damaged:
        logLine("%s is %s.", path.c_str(), probed.description.c_str());
        return nullptr;
      case DataFormat::Unsupported:
        logLine("%s holds %s, which is not supported.", path.c_str(), probed.description.c_str());
        return nullptr;
      case DataFormat::Unknown:
        break;
    }
    logLine("%s holds no audio format this plug-in knows.", path.c_str());
    return nullptr;
  }

  AudioToolboxWavDecoderClass wav_class_;
  AudioToolboxMP3DecoderClass mp3_class_;
  AudioToolboxMP4DecoderClass mp4_class_;
};

}  // namespace
}  // namespace sonara::tessor

extern "C" __attribute__((visibility("default"))) sonara::plugin::Principal* SONARA_PLUGIN_ENTRY(
    const char* principal_class) {
  if (!principal_class || std::strcmp(principal_class, "AudioToolboxDecoderPlugin") != 0) return nullptr;
  return new (std::nothrow) sonara::tessor::AudioToolboxDecoderPlugin();
}

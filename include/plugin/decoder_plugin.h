// The decoder plug-in contract: everything a third party needs to build a decoder
// plug-in for the Sonara engine.
//
// A plug-in is a directory "<Name>.plugin" in the engine's plug-ins directory holding
//   Info.plist   an XML property list with
//                  CFBundleExecutable          the shared object's file name
//                  CFBundleShortVersionString  the plug-in's version
//                  NSPrincipalClass            the principal class name
//   <Name>.so    the shared object, exporting SONARA_PLUGIN_ENTRY (below).
//
// The host calls the entry point once with the principal class name, keeps the
// principal for the life of the process, asks it for its properties and, per file,
// for a decoder class. It then creates one Decoder per use and drives it:
//
//   1. openByPath(path, options)        0 or a negative status; after a failure the
//                                       host only destroys the object
//   2. getMetaData, getDuration, getSamplingRate, getChannels, getBits, getFormat
//   3. seek(ns) when the item starts at an offset and supportsSeek() is true
//   4. getNextSamples(buffer, &size) repeatedly with getPreferredBufferSize() x
//      getChannels() values (fewer near the end of a window); 0 values with status
//      0 is the end of the stream, a non-zero status is a decode error
//   5. destroy; destroying an open decoder closes it
//
// Rules of the boundary:
//   - No exception may escape any function declared here. Catch, log one line and
//     return a status.
//   - Plug-ins log through the host (host_services.h), never on their own, so that the
//     host can route, count and silence what they say.
//   - All calls on one Decoder come from one thread at a time; plug-ins take no locks.
//   - Objects are destroyed by the side that holds the owning pointer, through the
//     virtual destructor, so memory is always freed by the module that allocated it.
//
// Sample format. A decoder always delivers interleaved 32-bit floats (getBits() is
// 32), frame after frame, channel after channel:
//   kFormatLpcm  linear PCM, nominal range -1.0 ... +1.0. Integer samples of b bits
//                are shifted left by 32 - b into an int32 and multiplied by 2^-31.
//   kFormatDoP   one DoP word per value: bits 31-24 the marker 0x05 or 0xFA,
//                alternating per frame (the same in every channel of a frame), bits
//                23-16 the earlier DSD byte (first bit in time in bit 23), bits 15-8
//                the next DSD byte, bits 7-0 zero; the word is read as int32 and
//                multiplied by 2^-31 (exact in a float). The sampling rate is the
//                1-bit rate / 16. Silence is the byte pair 0x96 0x96. The marker
//                phase is the host's (host_services.h), one per process, kept
//                across calls, decoder objects, dummy samples and plug-ins.
//
// Units: times are unsigned 64-bit nanoseconds; sizes in getNextSamples and
// getDummySamples are counts of values (frames x channels).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "plugin/host_services.h"
#include "plugin/plugin_keys.h"
#include "plugin/value.h"

namespace sonara::plugin {

// Four-character format codes returned by Decoder::getFormat.
inline constexpr uint32_t kFormatLpcm = 0x6C70636D;  // 'lpcm'
inline constexpr uint32_t kFormatDoP = 0x446F5020;   // 'DoP '

// Status codes returned by decoder operations (0 is success).
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusParam = -50;            // too large, bad argument
inline constexpr int32_t kStatusMemory = -108;          // allocation or positioning
inline constexpr int32_t kStatusSeekFailed = -25291;
inline constexpr int32_t kStatusAlreadyOpen = -25299;
inline constexpr int32_t kStatusBadStructure = -25300;
inline constexpr int32_t kStatusDecodeFailed = -26275;
inline constexpr int32_t kStatusLibraryFailed = -67671;

// One decoder object, created per use by its DecoderClass.
class Decoder {
 public:
  virtual ~Decoder() = default;

  virtual int32_t openByPath(const std::string& path, const Dict* options) noexcept = 0;
  // The metadata list: dictionaries with one kMeta* entry each, in the order found.
  // A null value means the decoder has none, which the host treats as a failure.
  virtual Value getMetaData() noexcept = 0;
  virtual uint64_t getDuration() noexcept = 0;  // ns, whole stream
  virtual float getSamplingRate() noexcept = 0; // Hz of the delivered stream
  virtual uint32_t getChannels() noexcept = 0;
  virtual uint32_t getBits() noexcept = 0;      // always 32
  virtual uint32_t getFormat() noexcept = 0;    // kFormatLpcm or kFormatDoP
  virtual bool setSamplingRate(float rate) noexcept = 0;
  virtual bool setChannels(uint32_t channels) noexcept = 0;
  virtual bool setBits(uint32_t bits) noexcept = 0;
  virtual uint32_t getBitRate() noexcept = 0;   // bytes per second, 0 for DSD
  // The host allocates getPreferredBufferSize() x getChannels() values and asks for
  // that many in every request.
  virtual uint32_t getPreferredBufferSize() noexcept = 0;
  // seek() is optional: the host calls it only when supportsSeek() answers true.
  virtual bool supportsSeek() noexcept { return false; }
  virtual int32_t seek(uint64_t /*ns*/) noexcept { return kStatusSeekFailed; }
  // In: *size is the capacity in values (whole frames). Out: values written.
  virtual int32_t getNextSamples(float* buffer, uint32_t* size) noexcept = 0;
  // Silence in the decoder's format without advancing the stream.
  virtual int32_t getDummySamples(float* buffer, uint32_t* size) noexcept = 0;
  // The stream time of the next frame to deliver plus one frame, in ns: (next + 1) /
  // rate for PCM; for DSD the lead is one byte of a channel. The host ends a window
  // at time t after floor((t - timestamp) x rate) + 1 more frames, which is exact
  // with this lead.
  virtual uint64_t getTimestamp() noexcept = 0;
  virtual void close() noexcept = 0;
};

// A decoder class: a named factory of decoder objects with a confidence score.
class DecoderClass {
 public:
  virtual ~DecoderClass() = default;
  virtual const char* className() const noexcept = 0;
  // 0 ... 100: >= 100 is taken at once, 20 ... 99 is a candidate, below 20 rejects.
  virtual uint32_t getScoreByPath(const std::string& path) const noexcept = 0;
  // A new, closed decoder object; null when memory cannot be had.
  virtual std::unique_ptr<Decoder> create() const noexcept = 0;
};

// The plug-in principal: created once per bundle and kept for the process's life.
class Principal {
 public:
  virtual ~Principal() = default;
  // A new properties dictionary on every call (see plugin_keys.h). Anything but a
  // dictionary that passes the host's checks makes the host skip the plug-in.
  virtual Value getProperties() noexcept = 0;
  // The class to use for this file, or null when the plug-in cannot decode it.
  // The returned class lives as long as the principal.
  virtual const DecoderClass* findDecoderClassByPath(const std::string& path) noexcept = 0;
};

}  // namespace sonara::plugin

// Every plug-in shared object exports this function. It returns a new principal of
// the named class (NSPrincipalClass of the bundle), or null when the object has no
// such class. The host owns the result and destroys it with delete.
#define SONARA_PLUGIN_ENTRY sonara_plugin_create_principal
#define SONARA_PLUGIN_ENTRY_NAME "sonara_plugin_create_principal"
extern "C" {
typedef sonara::plugin::Principal* (*SonaraPluginEntry)(const char* principal_class);
}

// One track inside the play engine: its open decoder, its sample queue and its record.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "engine/play/audio_output_buffer.h"
#include "engine/plugin/decoder_host.h"
#include "engine/playlist/playlist_item_info.h"
#include "plugin/decoder_plugin.h"

class PlayItem {
 public:
  PlayItem(std::unique_ptr<sonara::plugin::Decoder> decoder, std::shared_ptr<AudioOutputBuffer> buffer,
           PlaylistItemInfoRef info);

  sonara::plugin::Decoder& decoder() { return *decoder_; }
  // RAM play mode: once the item is in memory its decoder is no longer needed.
  void closeDecoder() { decoder_.reset(); }
  // Held around every call on the decoder.
  std::mutex& decoderLock() { return decoder_lock_; }
  const std::shared_ptr<AudioOutputBuffer>& buffer() const { return buffer_; }
  const PlaylistItemInfoRef& info() const { return info_; }
  // The part of the decoder's output this item plays, in the decoder's format.
  sonara::DecodeWindow decodeWindow();

  // True when the other item plays the same part of the same file.
  bool isSameFile(const PlayItem* other) const;
  // True when `other` describes the same part of the same file as this item's record.
  bool isSameFile(const PlaylistItemInfo& other) const;

  const uint64_t track_id_;
  const std::string fullpath_;
  const double offset_;
  const double duration_;
  std::atomic<bool> continue_decode_{true};
  // Decoding reached the end; the queue is marked finished once the next item's
  // join has been decided, so the output never moves on before that.
  std::atomic<bool> decoding_ended_{false};
  // The decoder gave its last samples and its thread is leaving. Set under the
  // decoder's lock, so a seek under the same lock knows that repositioning the
  // decoder would feed nobody, and starts the track again instead.
  bool decoder_drained_ = false;
  // RAM play mode: the decode reported a failure or ran out of memory, so what it
  // left in the queue is not the whole item.
  std::atomic<bool> decode_failed_{false};

 private:
  std::unique_ptr<sonara::plugin::Decoder> decoder_;
  std::mutex decoder_lock_;
  std::shared_ptr<AudioOutputBuffer> buffer_;
  PlaylistItemInfoRef info_;
};

#include "engine/play/play_item.h"

PlayItem::PlayItem(std::unique_ptr<sonara::plugin::Decoder> decoder,
                   std::shared_ptr<AudioOutputBuffer> buffer, PlaylistItemInfoRef info)
    : track_id_(info->track_id()),
      fullpath_(info->fullpath()),
      offset_(info->offset()),
      duration_(info->duration()),
      decoder_(std::move(decoder)),
      buffer_(std::move(buffer)),
      info_(std::move(info)) {}

bool PlayItem::isSameFile(const PlayItem* other) const { return other && isSameFile(*other->info_); }

bool PlayItem::isSameFile(const PlaylistItemInfo& other) const {
  static const char* const kKeys[] = {TABLE_KEY_ARTIST,     TABLE_KEY_TITLE,    TABLE_KEY_OFFSET,
                                      TABLE_KEY_DURATION,   TABLE_KEY_SAMPLERATE, TABLE_KEY_CHANNELS,
                                      TABLE_KEY_BITS,       TABLE_KEY_METADATA, TABLE_KEY_CLASS,
                                      TABLE_KEY_FULLPATH,   TABLE_KEY_SRC_BITS, TABLE_KEY_SRC_SAMPLERATE};
  for (const char* key : kKeys) {
    if (!(info_->get(key) == other.get(key))) return false;
  }
  return true;
}

sonara::DecodeWindow PlayItem::decodeWindow() {
  std::lock_guard lock(decoder_lock_);
  return sonara::DecodeWindow(offset_, duration_, decoder_->getPreferredBufferSize(), decoder_->getSamplingRate(),
                              decoder_->getChannels());
}

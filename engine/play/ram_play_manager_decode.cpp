// RAM play mode's decoding thread: the whole item into its memory queue, the
// pre-roll first, with the progress told after every chunk and the memory checked
// after every chunk: the item's own size against the limit, and the machine's
// available memory against the floor. A decoder error is told on the main thread,
// as the play engine tells it in streaming mode.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/play/audio_output_expandable_buffer.h"
#include "engine/play/ram_play_manager.h"
#include "engine/plugin/decoder_host.h"
#include "platform/log.h"
#include "platform/path_names.h"
#include "platform/thread_name.h"

using sonara::platform::logLine;

namespace {

double mib(uint64_t bytes) { return static_cast<double>(bytes) / 1048576.0; }
// Rounded down: what is below a floor never reads as the floor itself.
double mibDown(uint64_t bytes) { return std::floor(mib(bytes) * 10) / 10; }

std::string nameOf(const PlaylistItemInfoRef& info) {
  if (!info) return {};
  std::string title = info->title();
  return title.empty() ? sonara::platform::lastPathComponent(info->fullpath()) : title;
}

}  // namespace

// Told once per decode, however many of the checks find memory short; `why` says
// which limit was met, with the figures a user needs to choose a larger one.
void RAMPlayManager::reportMemoryShort(PlayItem& item, bool* reported, const std::string& why) {
  item.decode_failed_ = true;
  if (*reported) return;
  *reported = true;
  logLine("Decoding \"%s\" into memory stopped: %s.", nameOf(item.info()).c_str(), why.c_str());
  if (auto* target = ram_target_.load()) target->insufficientMemory(item.info());
}

void RAMPlayManager::decodeThread(const std::shared_ptr<PlayItem>& item, uint64_t preroll) {
  sonara::platform::nameThisThread("sonara-ramdec");
  std::lock_guard decoding(decode_thread_lock_);
  sonara::plugin::Decoder& decoder = item->decoder();
  AudioOutputBuffer& queue = *item->buffer();
  const sonara::DecodeWindow window = item->decodeWindow();
  const uint32_t chunk = window.chunk();
  std::vector<float> staging(chunk);
  if (auto* target = ram_target_.load()) target->updateRAMDecodeProgressRange(item->offset_, item->duration_);
  // What the whole item takes in memory: its pre-roll and every value of its window.
  const double window_values = std::max(0.0, item->duration_) * window.rate() * window.channels();
  const uint64_t needed = (preroll + static_cast<uint64_t>(window_values + 0.5)) * sizeof(float);
  char why[160];
  uint64_t bytes = 0;
  bool memory_reported = false;
  bool whole = false;

  if (chunk == 0) {  // a decoder that gives no frames per request
    item->decode_failed_ = true;
    postFailure(item->info());
  }
  while (playing_ && item->continue_decode_ && chunk != 0) {
    if (preroll != 0) {
      uint32_t m = static_cast<uint32_t>(std::min<uint64_t>(preroll, chunk));
      int32_t status;
      {
        std::lock_guard lock(item->decoderLock());
        status = decoder.getDummySamples(staging.data(), &m);
      }
      if (status != 0) {
        item->decode_failed_ = true;
        postFailure(item->info());
        m = 0;
      }
      queue.addSamples(staging.data(), m);
      bytes += uint64_t{m} * sizeof(float);
      decoded_values_ += m;
      // A decoder without silence to give ends the pre-roll.
      preroll = m == 0 ? 0 : preroll - std::min<uint64_t>(m, preroll);
      continue;
    }
    uint64_t ts;
    uint32_t n;
    int32_t status;
    {
      std::lock_guard lock(item->decoderLock());
      ts = decoder.getTimestamp();
      n = window.requestSize(ts);
      status = n == 0 ? 0 : decoder.getNextSamples(staging.data(), &n);
    }
    if (status != 0) {
      item->decode_failed_ = true;
      postFailure(item->info());
      n = 0;
    }
    auto* target = ram_target_.load();
    bool keep_going = target ? target->updateRAMDecodeProgress(static_cast<double>(ts) / 1e9) : true;
    if (n == 0) {
      whole = status == 0;
      break;
    }
    if (queue.addSamples(staging.data(), n) < n) {
      std::snprintf(why, sizeof why, "no memory could be had for more than %.1f MiB of the %.1f MiB it needs",
                    mib(bytes), mib(needed));
      reportMemoryShort(*item, &memory_reported, why);
    }
    bytes += uint64_t{n} * sizeof(float);
    decoded_values_ += n;
    if (const uint64_t limit = limit_.load(); bytes > limit) {
      std::snprintf(why, sizeof why, "it needs %.1f MiB, more than the limit of %.1f MiB",
                    mib(std::max(needed, bytes)), mib(limit));
      reportMemoryShort(*item, &memory_reported, why);
      keep_going = false;
    } else if (auto available = memory_probe_ ? memory_probe_() : std::nullopt;
               available && *available < kMemoryFloor) {
      std::snprintf(why, sizeof why, "the machine has %.1f MiB of memory available, below the floor of %.1f MiB",
                    mibDown(*available), mib(kMemoryFloor));
      reportMemoryShort(*item, &memory_reported, why);
      keep_going = false;
    }
    if (!keep_going || item->decode_failed_) break;
  }
  // Stopped, cancelled or cut short: what is in memory is not the whole item, and it
  // is never played as if it were.
  if (!whole) item->decode_failed_ = true;
  queue.setInputFinished(true);
  item->continue_decode_ = false;
  if (auto* target = ram_target_.load()) target->endRAMModal(item->info());
}

// Elements per second through a ring queue in device-sized pieces (512 frames
// stereo), against memcpy of the same bytes, in the same run.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_util.h"
#include "engine/play/audio_output_ring_buffer.h"
#include "platform/work_queue.h"

int main() {
  constexpr uint32_t kPiece = 512 * 2;
  constexpr uint64_t kElements = uint64_t{1} << 28;  // 1 GiB of samples through each path
  auto queue = AudioOutputRingBuffer::create(44100, 2, 32, 512);
  queue->setInputFinished(true);  // no fill threshold: measure the copies themselves
  std::vector<float> in(kPiece, 0.5f), out(kPiece), staging(kPiece);
  volatile float sink = 0;

  double ring_s = bestSecondsOf(3, [&] {
    for (uint64_t moved = 0; moved < kElements; moved += kPiece) {
      queue->addSamples(in.data(), kPiece);
      queue->getSamples(out.data(), kPiece);
    }
    sink = sink + out[7];
  });
  double copy_s = bestSecondsOf(3, [&] {
    for (uint64_t moved = 0; moved < kElements; moved += kPiece) {
      std::memcpy(staging.data(), in.data(), kPiece * sizeof(float));
      std::memcpy(out.data(), staging.data(), kPiece * sizeof(float));
    }
    sink = sink + out[7];
  });
  std::printf("ring queue: %.3g elements/s (in and out), memcpy in and out: %.3g elements/s; "
              "time ratio ring/memcpy %.2f\n",
              kElements / ring_s, kElements / copy_s, ring_s / copy_s);
  std::printf("at 384 kHz stereo a device needs %.3g elements/s: headroom %.0fx\n", 768000.0,
              kElements / ring_s / 768000.0);
  queue.reset();
  sonara::platform::backgroundQueue().drain();
  return 0;
}

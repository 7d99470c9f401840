// Samples per second through each transport packer, and through whole IO cycles of a
// free-running virtual device playing stereo DoP DSD256, against memcpy of the same
// bytes in the same run.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_util.h"
#include "engine/output/audio_direct_output.h"
#include "engine/play/audio_output_ring_buffer.h"
#include "platform/work_queue.h"
#include "plugin/decoder_plugin.h"
#include "support/output_harness.h"

namespace {

constexpr double kDsd256DoPRate = 705600;  // 11.2896 MHz / 16
constexpr uint32_t kFrames = 512;
constexpr uint64_t kSamples = uint64_t{1} << 27;

std::vector<float> dopPattern(size_t n) {
  std::vector<float> v(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t marker = (i / 2) % 2 ? 0xFA : 0x05;
    v[i] = floatOf(marker << 24 | static_cast<uint32_t>((i * 2654435761u) & 0xFFFF00));
  }
  return v;
}

double memcpyRate(const std::vector<float>& in) {
  std::vector<float> a(in.size()), b(in.size());
  double s = bestSecondsOf(3, [&] {
    for (uint64_t done = 0; done < kSamples; done += in.size()) {
      std::memcpy(a.data(), in.data(), in.size() * 4);
      std::memcpy(b.data(), a.data(), in.size() * 4);
    }
  });
  return kSamples / s;
}

void packerRate(PackerKind kind, const char* name, const std::vector<float>& in, double reference) {
  auto queue = AudioOutputRingBuffer::create(kDsd256DoPRate, 2, 32, kFrames);
  queue->setCarriesDoP(kind != PackerKind::PCM);
  queue->setInputFinished(true);
  auto packer = AudioDirectOutputBuffer::create(kind, kFrames * 2 * 2);
  packer->bind(queue);
  uint32_t want = kind == PackerKind::DSD32 ? static_cast<uint32_t>(in.size() / 2) : static_cast<uint32_t>(in.size());
  double s = bestSecondsOf(3, [&] {
    for (uint64_t done = 0; done < kSamples; done += in.size()) {
      queue->addSamples(in.data(), static_cast<uint32_t>(in.size()));
      packer->updateConversionBuffer(want);
    }
  });
  double rate = kSamples / s;
  std::printf("%-6s packer: %.3g samples/s, %.2fx the time of memcpy in and out\n", name, rate,
              reference / rate);
}

}  // namespace

int main() {
  auto in = dopPattern(kFrames * 2);
  double reference = memcpyRate(in);
  std::printf("memcpy in and out: %.3g samples/s\n", reference);
  packerRate(PackerKind::PCM, "PCM", in, reference);
  packerRate(PackerKind::DoP, "DoP", in, reference);
  packerRate(PackerKind::DSD16, "DSD16", in, reference);
  packerRate(PackerKind::DSD32, "DSD32", in, reference);

  // Whole cycles: 20 s of DSD256 DoP through a free-running device that keeps nothing.
  FormatJson f;
  f.rate = kDsd256DoPRate;
  f.bits = 24;
  f.bytes = 3;
  DeviceJson d;
  d.formats = {f};
  d.capture = "";
  OutputHarness h(d);
  h.capture_ = "";
  auto out = h.output(streamFormat(kDsd256DoPRate, 2, sonara::plugin::kFormatDoP));
  const double seconds = 20;
  const auto total = static_cast<size_t>(kDsd256DoPRate * seconds) * 2;
  auto all = dopPattern(total);
  // Queues of 10 s each (a ring holds 30 s).
  h.feeder_.add(makeQueue(kDsd256DoPRate, 2, std::vector<float>(all.begin(), all.begin() + total / 2),
                          out->getDeviceBufferFrameSize(), true, true));
  h.feeder_.add(makeQueue(kDsd256DoPRate, 2, std::vector<float>(all.begin() + total / 2, all.end()),
                          out->getDeviceBufferFrameSize(), true, true));
  double s = secondsOf([&] {
    out->play();
    waitFor([&] { return h.feeder_.finished() >= 2; }, 120);
  });
  out->stop();
  std::printf("IO cycles (%u frames) for %.0f s of stereo DSD256 DoP: %.3f s, %.0fx real time, "
              "%.3g samples/s, %.2fx the time of memcpy in and out\n",
              out->getDeviceBufferFrameSize(), seconds, s, seconds / s, total / s, reference / (total / s));
  sonara::platform::backgroundQueue().drain();
  return 0;
}

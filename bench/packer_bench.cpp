// The real-time side of the output, one stage at a time, each against memcpy of the
// same output bytes in the same run, with the loops compiled for any x86-64 and with
// those for AVX2 (see platform/vector_width.h):
//  - each transport packer turning a queue's samples into the words of one IO cycle;
//  - the conversion of those words into the bytes of each device format;
//  - whole IO cycles of a free-running virtual device playing stereo DoP DSD256.
// A packer's input is queued just before it is timed, and the memcpy it is measured
// against copies from memory written just as recently; a device format's input, like
// the memcpy's source, stays in the cache.
#include <algorithm>
#include <utility>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_util.h"
#include "engine/output/audio_direct_output.h"
#include "engine/play/audio_output_ring_buffer.h"
#include "platform/audio/alsa_format.h"
#include "platform/vector_width.h"
#include "platform/work_queue.h"
#include "plugin/decoder_plugin.h"
#include "support/output_harness.h"

using sonara::audio::AlsaSampleFormat;

namespace {

constexpr double kDsd256DoPRate = 705600;  // 11.2896 MHz / 16
constexpr uint32_t kChannels = 2;
constexpr uint32_t kCycleFrames = 2048;  // a cycle's words fit the CPU's second-level cache
constexpr uint32_t kCycleSamples = kCycleFrames * kChannels;
constexpr uint32_t kBatch = 16;
constexpr uint64_t kSamples = uint64_t{1} << 26;  // input samples per timing
constexpr int kRuns = 5;

std::vector<float> dopPattern(size_t n) {
  std::vector<float> v(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t marker = (i / 2) % 2 ? 0xFA : 0x05;
    v[i] = floatOf(marker << 24 | static_cast<uint32_t>((i * 2654435761u) & 0xFFFF00));
  }
  return v;
}

// 24-bit PCM as a decoder delivers it: sample << 8, times 2^-31.
std::vector<float> pcmPattern(size_t n) {
  std::vector<float> v(n);
  for (size_t i = 0; i < n; ++i) {
    auto sample = static_cast<int32_t>((i * 2654435761u) & 0xFFFFFF) - 0x800000;
    v[i] = static_cast<float>(sample * 256) * (1.0f / 2147483648.0f);
  }
  return v;
}

// Seconds for kSamples input samples through `stage`, one cycle per call, timed in
// batches of kBatch cycles (so that reading the clock costs next to nothing);
// `prepare` runs untimed before each batch.
template <typename Prepare, typename Stage>
double cycleSeconds(Prepare&& prepare, Stage&& stage) {
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    double total = 0;
    for (uint64_t done = 0; done < kSamples; done += kBatch * kCycleSamples) {
      prepare();
      total += secondsOf([&] {
        for (uint32_t cycle = 0; cycle < kBatch; ++cycle) stage(cycle);
      });
    }
    best = std::min(best, total);
  }
  return best;
}

// memcpy of `bytes` per cycle, from a batch's source written just before (`fresh`)
// or from one source that stays in the cache.
double memcpySeconds(size_t bytes, bool fresh) {
  std::vector<uint8_t> source(bytes * (fresh ? kBatch : 1)), target(bytes);
  uint8_t fill = 0;
  return cycleSeconds(
      [&] {
        if (fresh) std::memset(source.data(), ++fill, source.size());
      },
      [&](uint32_t cycle) { std::memcpy(target.data(), source.data() + (fresh ? cycle * bytes : 0), bytes); });
}

struct PackerRun {
  std::vector<float> words;  // one cycle as the packer produced it
  uint32_t produced = 0;     // words per cycle
};

// `stage` with the copies of the loops for any x86-64 processor, and with those for
// AVX2 (the same where the processor has no AVX2).
template <typename Stage>
std::pair<double, double> bothWidths(Stage&& stage) {
  sonara::platform::allowWideVectors(false);
  const double any = stage();
  sonara::platform::allowWideVectors(true);
  return {any, stage()};
}

// One packer fed from its queue, a batch of cycles queued before it is timed; prints
// its ratio to memcpy of its output words from freshly written memory.
PackerRun packer(PackerKind kind, const char* name, const std::vector<float>& in) {
  auto queue = AudioOutputRingBuffer::create(kDsd256DoPRate, kChannels, 32, kCycleFrames);
  queue->setCarriesDoP(kind != PackerKind::PCM);
  queue->setInputFinished(true);
  auto p = AudioDirectOutputBuffer::create(kind, kCycleSamples * 2);
  p->bind(queue);
  // The 32-bit native words take two frames each: a cycle pulls twice the input.
  const uint32_t inputs = kind == PackerKind::DSD32 ? 2 : 1;
  PackerRun run;
  const auto [any, wide] = bothWidths([&] {
    return cycleSeconds(
        [&] {
          for (uint32_t i = 0; i < kBatch * inputs; ++i) queue->addSamples(in.data(), kCycleSamples);
        },
        [&](uint32_t) { run.produced = p->updateConversionBuffer(kCycleSamples); });
  });
  double reference = memcpySeconds(size_t{run.produced} * 4, true);
  std::printf("%-6s packer        %6.2fx %6.2fx  memcpy of its output words\n", name, any / reference,
              wide / reference);
  run.words.assign(p->getConversionBuffer(), p->getConversionBuffer() + run.produced);
  return run;
}

// The conversion of one cycle's words, which stay in the cache, into a device format.
void deviceFormat(const char* name, const PackerRun& run, AlsaSampleFormat f) {
  const size_t bytes = size_t{run.produced} * sonara::audio::bytesPerSample(f);
  std::vector<uint8_t> out(bytes);
  const auto [any, wide] = bothWidths([&] {
    return cycleSeconds([] {}, [&](uint32_t) {
      sonara::audio::convertPeriod(f, run.words.data(), run.words.size(), out.data());
    });
  });
  double reference = memcpySeconds(bytes, false);
  std::printf("%-6s to %-12s %6.2fx %6.2fx  memcpy of the device's bytes\n", name,
              sonara::audio::alsaFormatName(f), any / reference, wide / reference);
}

void wholeCycles() {
  FormatJson f;
  f.rate = kDsd256DoPRate;
  f.bits = 24;
  f.bytes = 3;
  DeviceJson d;
  d.formats = {f};
  OutputHarness h(d, Capture::None);
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
  // The whole run's samples come from memory, not from a cache: so does the memcpy.
  std::vector<float> copy(total);
  double reference = bestSecondsOf(3, [&] { std::memcpy(copy.data(), all.data(), total * 4); });
  std::printf("IO cycles (%u frames) for %.0f s of stereo DSD256 DoP: %.3f s, %.0fx real time, "
              "%.2fx memcpy of the same bytes\n",
              out->getDeviceBufferFrameSize(), seconds, s, seconds / s, s / reference);
}

}  // namespace

int main() {
  const auto pcm = pcmPattern(kCycleSamples);
  const auto dop = dopPattern(kCycleSamples);
  std::printf("Stereo cycles of %u frames; time as a multiple of memcpy of the same output bytes,\n"
              "with the loops for any x86-64, then with those for AVX2%s\n",
              kCycleFrames, sonara::platform::wideVectors() ? "" : " (not on this processor: the same)");
  auto p = packer(PackerKind::PCM, "PCM", pcm);
  for (auto f : {AlsaSampleFormat::S16_LE, AlsaSampleFormat::S24_3LE, AlsaSampleFormat::S24_LE,
                 AlsaSampleFormat::S32_LE}) {
    deviceFormat("PCM", p, f);
  }
  p = packer(PackerKind::DoP, "DoP", dop);
  for (auto f : {AlsaSampleFormat::S24_3LE, AlsaSampleFormat::S32_LE}) deviceFormat("DoP", p, f);
  p = packer(PackerKind::DSD16, "DSD16", dop);
  for (auto f : {AlsaSampleFormat::DSD_U16_LE, AlsaSampleFormat::DSD_U16_BE}) deviceFormat("DSD16", p, f);
  p = packer(PackerKind::DSD32, "DSD32", dop);
  for (auto f : {AlsaSampleFormat::DSD_U32_LE, AlsaSampleFormat::DSD_U32_BE}) deviceFormat("DSD32", p, f);
  wholeCycles();
  sonara::platform::backgroundQueue().drain();
  return 0;
}

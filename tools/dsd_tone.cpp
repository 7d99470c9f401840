// dsd-tone OUT.dsf [SECONDS] [FREQUENCY] [MULTIPLE]: writes a stereo DSD64 (or
// DSD128, DSD256) DSF file of a sine
// tone (left) and its fifth (right), modulated by a second-order sigma-delta loop.
// Used to make the demo set; DSD files cannot be made with the usual tools.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kRate64 = 2822400;  // DSD64
constexpr uint32_t kBlock = 4096;

void putLE(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// One channel's bits, packed first-bit-in-the-least-significant-bit as DSF stores them.
std::vector<uint8_t> modulate(double frequency, double seconds, uint32_t rate) {
  const uint64_t bits = static_cast<uint64_t>(rate * seconds) / 8 * 8;
  std::vector<uint8_t> bytes(bits / 8, 0);
  double i1 = 0, i2 = 0, feedback = 0;
  for (uint64_t n = 0; n < bits; ++n) {
    double t = static_cast<double>(n) / rate;
    double fade = std::min({1.0, t / 0.05, (seconds - t) / 0.05});
    double x = 0.5 * fade * std::sin(2 * M_PI * frequency * t);
    i1 += x - feedback;
    i2 += i1 - feedback;
    int bit = i2 >= 0 ? 1 : 0;
    feedback = bit ? 1.0 : -1.0;
    if (bit) bytes[n / 8] |= static_cast<uint8_t>(1u << (n % 8));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const char* const usage =
      "usage: dsd-tone OUT.dsf [SECONDS] [FREQUENCY] [MULTIPLE]\n"
      "Writes a stereo DSD DSF tone: FREQUENCY (default 440 Hz) left, its fifth right,\n"
      "for SECONDS (0.1 to 600, default 5), at DSD MULTIPLE: 64 (default), 128 or 256.\n";
  if (argc >= 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(usage, stdout);
    return 0;
  }
  // An option is never taken for the name of the file to write.
  if (argc < 2 || argv[1][0] == '-') {
    std::fputs(usage, stderr);
    return 2;
  }
  double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
  double frequency = argc > 3 ? std::atof(argv[3]) : 440.0;
  const int multiple = argc > 4 ? std::atoi(argv[4]) : 64;
  if (seconds <= 0.1 || seconds > 600 || frequency <= 0 || (multiple != 64 && multiple != 128 && multiple != 256)) {
    std::fprintf(stderr, "dsd-tone: seconds must be 0.1 ... 600, the frequency positive, the multiple 64, 128 or 256\n");
    return 2;
  }
  const uint32_t rate = kRate64 / 64 * static_cast<uint32_t>(multiple);
  std::vector<uint8_t> channels[2] = {modulate(frequency, seconds, rate), modulate(frequency * 1.5, seconds, rate)};
  const uint64_t per_channel = channels[0].size();
  const uint64_t groups = (per_channel + kBlock - 1) / kBlock;
  std::vector<uint8_t> data;
  for (uint64_t g = 0; g < groups; ++g) {
    for (const auto& ch : channels) {
      for (uint64_t i = 0; i < kBlock; ++i) {
        uint64_t at = g * kBlock + i;
        data.push_back(at < per_channel ? ch[at] : 0x69);
      }
    }
  }
  std::vector<uint8_t> file{'D', 'S', 'D', ' '};
  putLE(file, 28, 8);
  putLE(file, 28 + 52 + 12 + data.size(), 8);
  putLE(file, 0, 8);
  file.insert(file.end(), {'f', 'm', 't', ' '});
  putLE(file, 52, 8);
  putLE(file, 1, 4);   // version
  putLE(file, 0, 4);   // raw DSD
  putLE(file, 2, 4);   // stereo
  putLE(file, 2, 4);
  putLE(file, rate, 4);
  putLE(file, 1, 4);   // first bit in the least significant bit
  putLE(file, per_channel * 8, 8);
  putLE(file, kBlock, 4);
  putLE(file, 0, 4);
  file.insert(file.end(), {'d', 'a', 't', 'a'});
  putLE(file, 12 + data.size(), 8);
  file.insert(file.end(), data.begin(), data.end());
  FILE* out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "dsd-tone: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

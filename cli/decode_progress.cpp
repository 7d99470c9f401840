#include "cli/decode_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/services.h"

namespace pelmora::cli {
namespace {

constexpr auto kTick = std::chrono::milliseconds(100);
constexpr int kBarCells = 16;

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, a, b, c);
  return text;
}

// A decode reaches its track's end within a frame or two of rounding.
bool whole(double decoded_s, double length_s) { return decoded_s >= length_s - 0.01; }

std::string speed(double decoded_s, double elapsed_s) {
  if (elapsed_s < 0.001) return {};
  return format("%.1fx real time", decoded_s / elapsed_s);
}

}  // namespace

DecodeProgress::~DecodeProgress() {
  if (ticking_) sonara::platform::mainLoop().cancel(timer_);
}

std::string DecodeProgress::barText(const std::string& title, double decoded_s, double length_s,
                                    double elapsed_s) {
  const double share = length_s > 0 ? std::clamp(decoded_s / length_s, 0.0, 1.0) : 0.0;
  const int filled = static_cast<int>(share * kBarCells);
  const std::string bar = std::string(static_cast<size_t>(filled), '#') + std::string(kBarCells - filled, '.');
  std::string text = "decoding \"" + title + "\"  [" + bar + "] " + format("%3.0f%%", std::floor(share * 100)) +
                     format("  %.1f of %.1f s", decoded_s, length_s);
  if (auto s = speed(decoded_s, elapsed_s); !s.empty()) text += "  " + s;
  return text;
}

std::string DecodeProgress::endText(const std::string& title, double decoded_s, double length_s,
                                    double elapsed_s, Ending how) {
  if (how != Ending::kDone || !whole(decoded_s, length_s)) {
    const char* verb = how == Ending::kCancelled ? "\" cancelled at " : how == Ending::kSkipped ? "\" skipped at "
                                                                                           : "\" stopped at ";
    return "decoding \"" + title + verb + format("%.1f of %.1f s", decoded_s, length_s);
  }
  std::string text = "decoded \"" + title + "\": " +
                     format(elapsed_s < 1 ? "%.1f s in %.2f s" : "%.1f s in %.1f s", length_s, elapsed_s);
  if (auto s = speed(decoded_s, elapsed_s); !s.empty()) text += " (" + s + ")";
  return text;
}

void DecodeProgress::setRange(double minimum, double maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
}

// Drawn by the timer alone: a decode reports far more often than a terminal needs.
void DecodeProgress::setValue(double value) { value_ = value; }

void DecodeProgress::show() {
  visible_ = true;
  ending_ = Ending::kDone;
  end_told_ = false;
  shown_at_ = std::chrono::steady_clock::now();
  draw();
  if (!ticking_) {
    ticking_ = true;
    timer_ = sonara::platform::mainLoop().performAfter(kTick, [this] { tick(); });
  }
}

void DecodeProgress::close() {
  if (!visible_) return;
  visible_ = false;
  if (ticking_) {
    sonara::platform::mainLoop().cancel(timer_);
    ticking_ = false;
  }
  if (!end_told_) tellEnd();
  if (closed_) closed_();
}

// Said once per decode: as the user cancels or skips it, else as it ends.
void DecodeProgress::tellEnd() {
  end_told_ = true;
  status_.finish();
  status_.note(endText(title_, decoded(), maximum_ - minimum_, elapsed(), ending_));
}

void DecodeProgress::tick() {
  ticking_ = false;
  if (!visible_) return;
  draw();
  ticking_ = true;
  timer_ = sonara::platform::mainLoop().performAfter(kTick, [this] { tick(); });
}

void DecodeProgress::cancel(bool quit) {
  if (!visible_ || ending_ != Ending::kDone || !cancel_) return;
  quit_asked_ = quit_asked_ || quit;
  ending_ = Ending::kCancelled;
  tellEnd();
  cancel_();
}

void DecodeProgress::skip() {
  if (!visible_ || ending_ != Ending::kDone || !skip_) return;
  ending_ = Ending::kSkipped;
  tellEnd();
  skip_();  // the next track's decode runs inside this call, with its own bar
}

void DecodeProgress::draw() {
  if (terminal_) status_.show(barText(title_, decoded(), maximum_ - minimum_, elapsed()));
}

double DecodeProgress::elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - shown_at_).count();
}

}  // namespace pelmora::cli

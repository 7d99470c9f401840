// The play order of the playlist: table order or shuffled, in track IDs, with a
// current position that never wraps (the controller decides about the ends).
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/playlist/playlist_array_controller.h"

void PlaylistArrayController::initPlayOrderDefault() {
  std::lock_guard lock(monitor_);
  next_cycle_.reset();
  play_order_backup_ = play_order_;
  play_order_.clear();
  for (const auto& r : rows_) play_order_.push_back(r->track_id());
  play_order_index_ = 0;
  play_order_mode_ = 1;
}

namespace {

// Every j is drawn from the whole range, as the order has always been shuffled.
void shuffle(std::vector<uint64_t>& order) {
  const size_t n = order.size();
  for (size_t i = 0; i < n; ++i) {
    size_t j = static_cast<size_t>(std::rand()) % n;
    std::swap(order[i], order[j]);
  }
}

}  // namespace

void PlaylistArrayController::initPlayOrderAtRandom() {
  std::lock_guard lock(monitor_);
  initPlayOrderDefault();
  shuffle(play_order_);
  play_order_index_ = 0;
  play_order_mode_ = 2;
}

uint64_t PlaylistArrayController::prepareNextShuffledCycle(uint64_t ending_id) {
  std::lock_guard lock(monitor_);
  std::vector<uint64_t> order;
  for (const auto& r : rows_) order.push_back(r->track_id());
  if (order.empty()) {
    next_cycle_.reset();
    return 0;
  }
  shuffle(order);
  // The track that ends this cycle does not begin the next one.
  if (order.size() > 1 && order.front() == ending_id) {
    std::swap(order.front(), order[1 + static_cast<size_t>(std::rand()) % (order.size() - 1)]);
  }
  next_cycle_ = std::move(order);
  return next_cycle_->front();
}

bool PlaylistArrayController::adoptNextCycle() {
  std::lock_guard lock(monitor_);
  if (!next_cycle_) return false;
  play_order_backup_ = std::move(play_order_);
  play_order_ = std::move(*next_cycle_);
  next_cycle_.reset();
  play_order_index_ = 0;
  play_order_mode_ = 2;
  return true;
}

bool PlaylistArrayController::adoptNextCycleStartingWith(uint64_t id) {
  std::lock_guard lock(monitor_);
  if (!next_cycle_ || next_cycle_->empty() || next_cycle_->front() != id) return false;
  return adoptNextCycle();
}

void PlaylistArrayController::updatePlayOrderOnMode() {
  std::lock_guard lock(monitor_);
  if (play_order_mode_ == 2) {
    initPlayOrderAtRandom();
  } else if (play_order_mode_ == 1) {
    initPlayOrderDefault();
  }
}

void PlaylistArrayController::resetPlayOrder() {
  std::lock_guard lock(monitor_);
  play_order_index_ = 0;
}

int64_t PlaylistArrayController::getCurrentPlayOrderIndex() const {
  std::lock_guard lock(monitor_);
  uint64_t id = getCurrentTrackIDOfPlayOrder();
  return id == 0 ? -1 : rowOfID(id);
}

uint64_t PlaylistArrayController::getCurrentTrackIDOfPlayOrder() const {
  std::lock_guard lock(monitor_);
  if (play_order_index_ < 0 || static_cast<size_t>(play_order_index_) >= play_order_.size()) return 0;
  return play_order_[static_cast<size_t>(play_order_index_)];
}

uint64_t PlaylistArrayController::getNextTrackIDOfPlayOrder() const {
  std::lock_guard lock(monitor_);
  size_t next = static_cast<size_t>(play_order_index_) + 1;
  return play_order_index_ >= 0 && next < play_order_.size() ? play_order_[next] : 0;
}

uint64_t PlaylistArrayController::getPrevTrackIDOfPlayOrder() const {
  std::lock_guard lock(monitor_);
  if (play_order_index_ <= 0 || static_cast<size_t>(play_order_index_) >= play_order_.size()) return 0;
  return play_order_[static_cast<size_t>(play_order_index_) - 1];
}

uint64_t PlaylistArrayController::getFirstPlayOrderTrackID() const {
  std::lock_guard lock(monitor_);
  return play_order_.empty() ? 0 : play_order_.front();
}

uint64_t PlaylistArrayController::getEndPlayOrderTrackID() const {
  std::lock_guard lock(monitor_);
  return play_order_.empty() ? 0 : play_order_.back();
}

uint64_t PlaylistArrayController::getNextPlayOrderTrackIDFromID(uint64_t id) const {
  std::lock_guard lock(monitor_);
  auto it = std::find(play_order_.begin(), play_order_.end(), id);
  if (it == play_order_.end() || it + 1 == play_order_.end()) return 0;
  return *(it + 1);
}

uint64_t PlaylistArrayController::getPrevPlayOrderTrackIDFromID(uint64_t id) const {
  std::lock_guard lock(monitor_);
  auto it = std::find(play_order_.begin(), play_order_.end(), id);
  if (it == play_order_.end() || it == play_order_.begin()) return 0;
  return *(it - 1);
}

void PlaylistArrayController::nextPlayOrder() {
  std::lock_guard lock(monitor_);
  if (getNextTrackIDOfPlayOrder() != 0) ++play_order_index_;
}

void PlaylistArrayController::prevPlayOrder() {
  std::lock_guard lock(monitor_);
  if (play_order_index_ > 0 && static_cast<size_t>(play_order_index_) < play_order_.size()) --play_order_index_;
}

bool PlaylistArrayController::pointToPlayOrderByTrackID(uint64_t id) {
  std::lock_guard lock(monitor_);
  play_order_index_ = 0;
  for (;;) {
    uint64_t current = getCurrentTrackIDOfPlayOrder();
    if (current != 0 && current == id) return true;
    if (current == 0 || static_cast<size_t>(play_order_index_) + 1 >= play_order_.size()) {
      play_order_index_ = 0;
      return false;
    }
    nextPlayOrder();
  }
}

bool PlaylistArrayController::pointToPlayOrderAtCurrentFirstSelection() {
  uint64_t id;
  {
    std::lock_guard lock(monitor_);
    if (rows_.empty() || selection_.empty() || *selection_.begin() >= rows_.size()) return false;
    id = rows_[*selection_.begin()]->track_id();
  }
  return pointToPlayOrderByTrackID(id);
}

double PlaylistArrayController::durationOf(uint64_t id, bool truncated) const {
  int64_t row = rowOfID(id);
  if (row < 0) return 0;
  double d = rows_[static_cast<size_t>(row)]->duration();
  return truncated ? std::floor(d) : d;
}

double PlaylistArrayController::getDurationAtCurrentPlayOrderIndex() const {
  std::lock_guard lock(monitor_);
  uint64_t id = getCurrentTrackIDOfPlayOrder();
  return id ? durationOf(id, false) : 0;
}

double PlaylistArrayController::getTruncatedDurationAtCurrentPlayOrderIndex() const {
  std::lock_guard lock(monitor_);
  uint64_t id = getCurrentTrackIDOfPlayOrder();
  return id ? durationOf(id, true) : 0;
}

double PlaylistArrayController::baseDuration(size_t end, bool truncated) const {
  if (end == 0 || end >= play_order_.size()) return 0;
  double total = 0;
  for (size_t i = 0; i < end; ++i) total += durationOf(play_order_[i], truncated);
  return total;
}

double PlaylistArrayController::getBaseDurationAtPlayOrderIndex(size_t position) const {
  std::lock_guard lock(monitor_);
  return baseDuration(position, false);
}

double PlaylistArrayController::getBaseDurationAtCurrentPlayOrderIndex() const {
  std::lock_guard lock(monitor_);
  return baseDuration(static_cast<size_t>(std::max<int64_t>(play_order_index_, 0)), false);
}

double PlaylistArrayController::getBaseDurationPlayOrderAtTrackID(uint64_t id) const {
  std::lock_guard lock(monitor_);
  auto it = std::find(play_order_.begin(), play_order_.end(), id);
  if (it == play_order_.end()) return 0;
  double total = 0;
  for (auto p = play_order_.begin(); p != it; ++p) total += durationOf(*p, false);
  return total;
}

double PlaylistArrayController::getTruncatedBaseDurationAtPlayOrderIndex(size_t position) const {
  std::lock_guard lock(monitor_);
  return baseDuration(position, true);
}

double PlaylistArrayController::getTruncatedBaseDurationAtCurrentPlayOrderIndex() const {
  std::lock_guard lock(monitor_);
  return baseDuration(static_cast<size_t>(std::max<int64_t>(play_order_index_, 0)), true);
}

double PlaylistArrayController::getTruncatedBaseDurationPlayOrderAtTrackID(uint64_t id) const {
  std::lock_guard lock(monitor_);
  auto it = std::find(play_order_.begin(), play_order_.end(), id);
  if (it == play_order_.end()) return 0;
  double total = 0;
  for (auto p = play_order_.begin(); p != it; ++p) total += durationOf(*p, true);
  return total;
}

void PlaylistArrayController::removePlayOrderTrackID(uint64_t id) {
  std::lock_guard lock(monitor_);
  auto it = std::find(play_order_.begin(), play_order_.end(), id);
  if (it == play_order_.end()) return;
  if (next_cycle_) {
    next_cycle_->erase(std::remove(next_cycle_->begin(), next_cycle_->end(), id), next_cycle_->end());
    if (next_cycle_->empty()) next_cycle_.reset();
  }
  const int64_t p = it - play_order_.begin();
  const int64_t cur = play_order_index_;
  play_order_.erase(it);
  const int64_t n = static_cast<int64_t>(play_order_.size());
  if (p < cur) {
    play_order_index_ = cur - 1;
  } else if (p == cur) {
    if (n == 0) {
      play_order_index_ = 0;
    } else if (cur >= n) {
      play_order_index_ = cur - 1;
    }
  }
}

#include "cli/cd_choice.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "engine/playlist/cd_manager.h"

namespace pelmora::cli {
namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::string placesSearched() {
  std::string text;
  for (const auto& place : CDManager::searchPlaces()) text += (text.empty() ? "" : ", ") + place;
  if (!text.empty()) return text;
  return std::getenv("SONARA_CD_VOLUMES") ? "nowhere: SONARA_CD_VOLUMES names no folder and XDG_RUNTIME_DIR is not set"
                                          : "nowhere: XDG_RUNTIME_DIR is not set";
}

int chooseDisc(const std::vector<std::string>& labels, const std::string& wanted, std::string* error) {
  if (labels.empty()) {
    *error = "no audio CD is mounted (looked in " + placesSearched() + ")";
    return -1;
  }
  if (wanted.empty()) return 0;
  for (size_t i = 0; i < labels.size(); ++i) {
    if (labels[i] == wanted) return static_cast<int>(i);
  }
  int found = -1;
  for (size_t i = 0; i < labels.size(); ++i) {
    if (lowered(labels[i]).find(lowered(wanted)) == std::string::npos) continue;
    if (found >= 0) {
      *error = "\"" + wanted + "\" names more than one disc: " + labels[static_cast<size_t>(found)] + ", " + labels[i];
      return -1;
    }
    found = static_cast<int>(i);
  }
  if (found < 0) {
    std::string all;
    for (const auto& l : labels) all += (all.empty() ? "" : ", ") + l;
    *error = "no disc is labelled \"" + wanted + "\"; the discs are: " + all;
  }
  return found;
}

}  // namespace pelmora::cli

// The files a `play` command line names: folders searched in name order, each real
// file at most once however many links lead to it, and a reason for everything left
// out.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pelmora::cli {

struct ItemProblem {
  std::string path;
  std::string reason;
  std::string text() const { return path + ": " + reason; }
};

struct ItemScan {
  std::vector<std::string> files;  // playable by extension, in play order
  // The same files by the command-line item they came from, one group an item (items
  // that gave none left out): each group is one drop for the engine.
  std::vector<std::vector<std::string>> groups;
  // Items named on the command line and odd entries in folders (FIFOs, devices,
  // sockets, unreadable or empty files, link loops), with the reason.
  std::vector<ItemProblem> problems;
  // Audio files in folders that no loaded plug-in reads, counted by extension.
  std::map<std::string, int> unsupported;
};

ItemScan scanItems(const std::vector<std::string>& items, const std::vector<std::string>& exts);

// "12 files skipped: 7 .ogg, 5 .opus — not supported"; empty when none.
std::string unsupportedSummary(const std::map<std::string, int>& unsupported);

}  // namespace pelmora::cli

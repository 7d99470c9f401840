// Which mounted audio CD the headless player takes: the first, or the one whose label
// matches what the user typed.
#pragma once

#include <string>
#include <vector>

namespace pelmora::cli {

// The index of the disc `wanted` names among `labels`: an exact label first, then the
// one label holding it without regard to case; empty `wanted` takes the first. -1 with
// `error` set when none (or several) match.
int chooseDisc(const std::vector<std::string>& labels, const std::string& wanted, std::string* error);

// "/run/user/1000/gvfs" or the places of $SONARA_CD_VOLUMES, for messages.
std::string placesSearched();

}  // namespace pelmora::cli

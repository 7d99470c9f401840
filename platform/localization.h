// Texts looked up by their English key; the key itself when untranslated.
#pragma once

#include <map>
#include <string>

namespace sonara::platform {

std::string localizedString(const std::string& key);
// Installs a translation table (key -> text); an empty table restores English.
void setLocalizationTable(std::map<std::string, std::string> table);

}  // namespace sonara::platform

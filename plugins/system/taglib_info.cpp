#include "plugins/system/taglib_info.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>

namespace sonara::tessor {

InfoDictionary readTagLibInfo(const std::string& path) {
  InfoDictionary d;
  try {
    TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull() || !ref.tag()) return d;
    if (!ref.tag()->title().isEmpty()) d.title = ref.tag()->title().to8Bit(true);
    if (!ref.tag()->artist().isEmpty()) d.artist = ref.tag()->artist().to8Bit(true);
  } catch (...) {
  }
  return d;
}

}  // namespace sonara::tessor

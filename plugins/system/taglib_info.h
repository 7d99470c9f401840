// The tags TagLib finds in a file of any type it knows (ID3v2, ID3v1, APE, RIFF INFO,
// MP4 atoms): the information dictionary every decoder of this plug-in consults last.
#pragma once

#include <string>

#include "plugins/system/audio_file.h"

namespace sonara::tessor {

InfoDictionary readTagLibInfo(const std::string& path);

}  // namespace sonara::tessor

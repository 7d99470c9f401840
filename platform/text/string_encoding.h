// Text of unknown encoding (tag frames, RIFF INFO chunks, CUE sheets) turned into
// UTF-8: a guess at the encoding of raw bytes and a strict decoder. Encodings are
// named as iconv names them. Both functions take bytes in and hand back owned
// strings; neither keeps state, so any thread may call them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sonara::text {

// The bytes decoded from `encoding` into UTF-8, or nothing when they are not valid
// in it (an unknown encoding, an invalid sequence, or a sequence cut off at the end).
std::optional<std::string> decodeToUtf8(std::string_view bytes, const char* encoding);

// The iconv name of the encoding the bytes are most likely in; the answer always
// decodes them, except the last resort "ASCII".
std::string estimateStringEncoding(std::string_view bytes);

}  // namespace sonara::text

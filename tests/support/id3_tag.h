// ID3v2 tags for the tag readers' tests: text frames in the encodings readers meet, and
// cover art. The tag size is syncsafe; frame sizes are plain big-endian in version 3 and
// syncsafe in version 4. Nothing is unsynchronised.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Id3Frame {
  std::string id;  // four characters
  std::vector<uint8_t> content;
};

// Text encoding bytes of ID3v2 text frames.
inline constexpr uint8_t kId3Latin1 = 0;
inline constexpr uint8_t kId3Utf16 = 1;  // with a byte order mark
inline constexpr uint8_t kId3Utf8 = 3;   // version 4 only by the letter, met in version 3 too

// A whole tag of version 3 or 4 holding `frames`, then `padding` zero bytes.
inline std::vector<uint8_t> id3Tag(uint8_t version, const std::vector<Id3Frame>& frames, size_t padding = 0) {
  auto syncsafe = [](std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 21; shift >= 0; shift -= 7) out.push_back(static_cast<uint8_t>((v >> shift) & 0x7F));
  };
  std::vector<uint8_t> body;
  for (const auto& f : frames) {
    body.insert(body.end(), f.id.begin(), f.id.end());
    auto size = static_cast<uint32_t>(f.content.size());
    if (version == 4) {
      syncsafe(body, size);
    } else {
      for (int shift = 24; shift >= 0; shift -= 8) body.push_back(static_cast<uint8_t>(size >> shift));
    }
    body.push_back(0);  // flags
    body.push_back(0);
    body.insert(body.end(), f.content.begin(), f.content.end());
  }
  body.resize(body.size() + padding, 0);
  std::vector<uint8_t> tag{'I', 'D', '3', version, 0, 0};
  syncsafe(tag, static_cast<uint32_t>(body.size()));
  tag.insert(tag.end(), body.begin(), body.end());
  return tag;
}

// UTF-8 text as UTF-16 code units; the text is the test's own, so it is trusted to be valid.
inline std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    auto b = static_cast<uint8_t>(text[i]);
    int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k) cp = (cp << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// A text frame's content: the encoding byte, then the text. With kId3Latin1 and kId3Utf8
// the bytes of `text` go in unchanged, so a test can put another code page's bytes (Shift-JIS)
// under the Latin-1 mark; with kId3Utf16 `text` is UTF-8 and goes in as UTF-16 little-endian
// after the byte order mark FF FE.
inline std::vector<uint8_t> id3Text(uint8_t encoding, const std::string& text) {
  std::vector<uint8_t> out{encoding};
  if (encoding == kId3Utf16) {
    out.insert(out.end(), {0xFF, 0xFE});
    for (char16_t unit : utf8ToUtf16(text)) {
      out.push_back(static_cast<uint8_t>(unit & 0xFF));
      out.push_back(static_cast<uint8_t>(unit >> 8));
    }
  } else {
    out.insert(out.end(), text.begin(), text.end());
  }
  return out;
}

// A tag of text frames all in one encoding:
//   id3TextTag(3, kId3Latin1, {{"TIT2", "\x93\xFA\x96\x7B"}, {"TPE1", "Artist"}})
inline std::vector<uint8_t> id3TextTag(uint8_t version, uint8_t encoding,
                                       const std::vector<std::pair<std::string, std::string>>& frames) {
  std::vector<Id3Frame> list;
  for (const auto& [id, text] : frames) list.push_back({id, id3Text(encoding, text)});
  return id3Tag(version, list);
}

// An ID3v2.4 tag with UTF-8 text frames.
inline std::vector<uint8_t> buildId3(const std::vector<std::pair<std::string, std::string>>& frames) {
  return id3TextTag(4, kId3Utf8, frames);
}

// An ID3v2 tag whose cover art comes first and is larger than any bound on a whole
// tag: the title and artist after it must still come through.
inline std::vector<uint8_t> tagWithHugeCover(uint8_t version, size_t cover_bytes) {
  std::vector<uint8_t> apic{0};
  for (char c : std::string("image/jpeg")) apic.push_back(static_cast<uint8_t>(c));
  apic.insert(apic.end(), {0, 3, 0});
  apic.resize(apic.size() + cover_bytes, 0xD8);
  return id3Tag(version,
                {{"APIC", apic}, {"TIT2", id3Text(kId3Latin1, "Cover Story")}, {"TPE1", id3Text(kId3Latin1, "Big Art Band")}},
                64);
}

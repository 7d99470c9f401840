// ID3v2 tags carrying cover art, for the tag readers' tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An ID3v2 tag whose cover art comes first and is larger than any bound on a whole
// tag: the title and artist after it must still come through. Version 3 sizes are
// plain big-endian, version 4 sizes syncsafe.
inline std::vector<uint8_t> tagWithHugeCover(uint8_t version, size_t cover_bytes) {
  auto size = [&](std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = version == 4 ? 21 : 24; shift >= 0; shift -= version == 4 ? 7 : 8) {
      out.push_back(static_cast<uint8_t>((v >> shift) & (version == 4 ? 0x7F : 0xFF)));
    }
  };
  std::vector<uint8_t> body;
  auto frame = [&](const char* id, const std::vector<uint8_t>& content) {
    body.insert(body.end(), id, id + 4);
    size(body, static_cast<uint32_t>(content.size()));
    body.push_back(0);
    body.push_back(0);
    body.insert(body.end(), content.begin(), content.end());
  };
  std::vector<uint8_t> apic{0};
  for (char c : std::string("image/jpeg")) apic.push_back(static_cast<uint8_t>(c));
  apic.insert(apic.end(), {0, 3, 0});
  apic.resize(apic.size() + cover_bytes, 0xD8);
  frame("APIC", apic);
  auto text = [](const std::string& t) {
    std::vector<uint8_t> out{0};  // ISO-8859-1
    out.insert(out.end(), t.begin(), t.end());
    return out;
  };
  frame("TIT2", text("Cover Story"));
  frame("TPE1", text("Big Art Band"));
  body.resize(body.size() + 64, 0);  // padding
  std::vector<uint8_t> tag{'I', 'D', '3', version, 0, 0};
  for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((body.size() >> shift) & 0x7F));
  tag.insert(tag.end(), body.begin(), body.end());
  return tag;
}


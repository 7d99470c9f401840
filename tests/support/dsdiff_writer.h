// Builds DSDIFF files with known contents for the tests: big-endian chunks, the sound
// data byte-interleaved (byte i of every channel in turn, earliest bit first).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/byte_output.h"

struct DffComment {
  uint16_t year = 2024;
  uint8_t month = 5, day = 17, hour = 9, minute = 30;
  uint16_t type = 0;
  uint16_t ref = 0;
  std::string text;
};

struct DffSetup {
  uint32_t channels = 2;
  uint32_t frequency = 2822400;
  // Bytes per channel of audio.
  std::vector<std::vector<uint8_t>> audio;
  uint32_t format_version = 0x01050000;
  std::string form_type = "DSD ";
  std::vector<uint8_t> id3;  // an "ID3 " chunk after the sound data when not empty
  std::optional<std::string> title, artist, emid;  // a "DIIN" chunk when any is set
  std::vector<DffComment> comments;                // a "COMT" chunk when not empty
  // A DST-compressed file: "CMPR" of "DST " and a "DST " sound chunk.
  bool dst = false;
  // Damage switches.
  bool omit_fver = false;
  bool omit_prop = false;
  bool omit_fs = false;
  bool omit_sound = false;
  int64_t sound_size = -1;    // the declared "DSD " data size; -1: what is written
  int64_t form_size = -1;     // the declared "FRM8" size; -1: what is written
  int64_t junk_size = -1;     // a "JUNK" chunk before the sound data declaring this size
  size_t extra_sound_bytes = 0;  // bytes after the interleaved frames (a partial frame)
};

// A chunk: identifier, 64-bit size of the body, the body and a pad byte when odd.
inline std::vector<uint8_t> dffChunk(const std::string& id, const std::vector<uint8_t>& body,
                                     int64_t declared = -1) {
  std::vector<uint8_t> out;
  putText(out, id);
  putBE(out, declared >= 0 ? static_cast<uint64_t>(declared) : body.size(), 8);
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2) out.push_back(0);
  return out;
}

// The sound data as the file holds it.
inline std::vector<uint8_t> interleave(const std::vector<std::vector<uint8_t>>& audio, uint32_t channels) {
  std::vector<uint8_t> out;
  size_t per_channel = audio.empty() ? 0 : audio[0].size();
  for (size_t i = 0; i < per_channel; ++i) {
    for (uint32_t c = 0; c < channels; ++c) out.push_back(audio[c % audio.size()][i]);
  }
  return out;
}

inline std::vector<uint8_t> buildDff(const DffSetup& s) {
  static const char* const kIds[] = {"SLFT", "SRGT", "C   ", "LFE ", "LS  ", "RS  "};
  std::vector<uint8_t> body;
  putText(body, s.form_type);
  if (!s.omit_fver) {
    std::vector<uint8_t> v;
    putBE(v, s.format_version, 4);
    auto c = dffChunk("FVER", v);
    body.insert(body.end(), c.begin(), c.end());
  }
  if (!s.omit_prop) {
    std::vector<uint8_t> prop;
    putText(prop, "SND ");
    if (!s.omit_fs) {
      std::vector<uint8_t> fs;
      putBE(fs, s.frequency, 4);
      auto c = dffChunk("FS  ", fs);
      prop.insert(prop.end(), c.begin(), c.end());
    }
    std::vector<uint8_t> chnl;
    putBE(chnl, s.channels, 2);
    for (uint32_t c = 0; c < s.channels; ++c) putText(chnl, c < 6 ? kIds[c] : "C999");
    auto c1 = dffChunk("CHNL", chnl);
    prop.insert(prop.end(), c1.begin(), c1.end());
    std::vector<uint8_t> cmpr;
    const std::string name = s.dst ? "DST Encoded" : "not compressed";
    putText(cmpr, s.dst ? "DST " : "DSD ");
    cmpr.push_back(static_cast<uint8_t>(name.size()));
    putText(cmpr, name);
    auto c2 = dffChunk("CMPR", cmpr);
    prop.insert(prop.end(), c2.begin(), c2.end());
    auto c3 = dffChunk("PROP", prop);
    body.insert(body.end(), c3.begin(), c3.end());
  }
  if (!s.comments.empty()) {
    std::vector<uint8_t> comt;
    putBE(comt, s.comments.size(), 2);
    for (const auto& k : s.comments) {
      putBE(comt, k.year, 2);
      comt.insert(comt.end(), {k.month, k.day, k.hour, k.minute});
      putBE(comt, k.type, 2);
      putBE(comt, k.ref, 2);
      putBE(comt, k.text.size(), 4);
      putText(comt, k.text);
      if (k.text.size() % 2) comt.push_back(0);
    }
    auto c = dffChunk("COMT", comt);
    body.insert(body.end(), c.begin(), c.end());
  }
  if (s.junk_size >= 0) {
    auto c = dffChunk("JUNK", {}, s.junk_size);
    body.insert(body.end(), c.begin(), c.end());
  }
  if (!s.omit_sound) {
    std::vector<uint8_t> sound = interleave(s.audio, s.channels);
    for (size_t i = 0; i < s.extra_sound_bytes; ++i) sound.push_back(static_cast<uint8_t>(0xA0 + i));
    auto c = dffChunk(s.dst ? "DST " : "DSD ", sound, s.sound_size);
    body.insert(body.end(), c.begin(), c.end());
  }
  if (s.title || s.artist || s.emid) {
    std::vector<uint8_t> diin;
    if (s.emid) {
      std::vector<uint8_t> t;
      putText(t, *s.emid);
      auto c = dffChunk("EMID", t);
      diin.insert(diin.end(), c.begin(), c.end());
    }
    for (auto [id, text] : {std::pair{"DIAR", &s.artist}, std::pair{"DITI", &s.title}}) {
      if (!*text) continue;
      std::vector<uint8_t> t;
      putBE(t, (*text)->size(), 4);
      putText(t, **text);
      auto c = dffChunk(id, t);
      diin.insert(diin.end(), c.begin(), c.end());
    }
    auto c = dffChunk("DIIN", diin);
    body.insert(body.end(), c.begin(), c.end());
  }
  if (!s.id3.empty()) {
    auto c = dffChunk("ID3 ", s.id3);
    body.insert(body.end(), c.begin(), c.end());
  }
  return dffChunk("FRM8", body, s.form_size);
}

// The file offset where the sound data starts (after the sound chunk's header).
inline size_t dffSoundDataOffset(const DffSetup& s) {
  DffSetup probe = s;
  probe.omit_sound = true;
  probe.title.reset();
  probe.artist.reset();
  probe.emid.reset();
  probe.id3.clear();
  return buildDff(probe).size() + 12;
}

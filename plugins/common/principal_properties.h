// The properties every decoder plug-in of this project declares.
#pragma once

#include <initializer_list>

#include "plugin/decoder_plugin.h"

namespace sonara::plugin {

inline Value decoderProperties(const char* name, std::initializer_list<const char*> exts) {
  Array list;
  for (const char* e : exts) list.push_back(Value(e));
  Dict d;
  d[kKeyName] = Value(name);
  d[kKeyInterfaceVersion] = Value(kInterfaceVersion);
  d[kKeyPriority] = Value(100u);
  d[kKeyPluginType] = Value(static_cast<unsigned>(kPluginTypeDecoder));
  d[kKeyCodecType] = Value(static_cast<unsigned>(kCodecTypeFile));
  d[kKeyExts] = Value(std::move(list));
  return Value(std::move(d));
}

}  // namespace sonara::plugin

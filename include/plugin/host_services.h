// What the host offers every plug-in, handed over once when the plug-in's shared
// object is loaded. Plain C so that a plug-in built with another compiler or
// language can use it; no function here ever throws.
//
// A plug-in that wants these exports SONARA_PLUGIN_ATTACH_HOST. The host calls it
// once, right after loading the object and before asking for the principal, with a
// table that lives as long as the process. A plug-in keeps the pointer and calls
// through it; fields at or beyond `size` bytes are absent in an older host.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SonaraHostServices {
  // sizeof(SonaraHostServices) as the host knows it.
  uint32_t size;
  // One line of English text (no trailing newline) for the host's log, which may
  // route it, fold repeats into a count or silence it. Never from a real-time thread.
  void (*log_line)(const char* line);
  // The DoP marker phase of the process (0x05 or 0xFA, 0x05 at start): the marker of
  // the next DoP frame any DSD plug-in delivers. One phase shared by every plug-in,
  // so that the alternation continues from one plug-in's track to another's. Only
  // one DSD stream is decoded at a time.
  uint8_t (*dop_marker_phase)(void);
  void (*set_dop_marker_phase)(uint8_t marker);
} SonaraHostServices;

typedef void (*SonaraPluginAttachHost)(const SonaraHostServices* host);

#ifdef __cplusplus
}
#endif

#define SONARA_PLUGIN_ATTACH_HOST sonara_plugin_attach_host
#define SONARA_PLUGIN_ATTACH_HOST_NAME "sonara_plugin_attach_host"

// Key strings shared by the engine and every decoder plug-in. Their literal values
// are stored in dictionaries and files, so they never change.
#pragma once

#include <cstdint>

namespace sonara::plugin {

// Plug-in properties dictionary (returned by Principal::getProperties).
inline constexpr char kKeyName[] = "name";              // string, required
inline constexpr char kKeyVersion[] = "version";        // string, set by the host
inline constexpr char kKeyInterfaceVersion[] = "i/f version";  // "major.minor.patch"
inline constexpr char kKeyPriority[] = "priority";      // number, smaller sorts first
inline constexpr char kKeyPluginType[] = "plugin type"; // number, 1 = decoder
inline constexpr char kKeyUiType[] = "ui type";         // reserved
inline constexpr char kKeyCodecType[] = "codec type";   // number, 1 = file decoder
inline constexpr char kKeyExts[] = "exts";              // array of lower-case extensions
inline constexpr char kKeyFilterType[] = "filter type"; // reserved
inline constexpr char kKeyActionType[] = "action type"; // reserved
inline constexpr char kKeyInstance[] = "instance";      // added by the host

// The contract version this header describes. Major and minor must match the host's.
inline constexpr char kInterfaceVersion[] = "1.0.0";
inline constexpr int64_t kPluginTypeDecoder = 1;
inline constexpr int64_t kCodecTypeFile = 1;

// Decoder options dictionary (second argument of Decoder::openByPath).
// Level in dB (-192 ... 0) below which leading and trailing MP3 samples count as
// silence for gapless trimming; 0 switches trimming off.
inline constexpr char kOptionMp3ThresholdDb[] = "mp3 threashold db";

// Metadata list entries (each a dictionary with exactly one of these keys).
inline constexpr char kMetaArtist[] = "Artist";
inline constexpr char kMetaTitle[] = "Title";
inline constexpr char kMetaAlbum[] = "Album";
inline constexpr char kMetaTrackNumber[] = "TrackNumber";  // as tagged: "3" or "3/12"
inline constexpr char kMetaDiscNumber[] = "DiscNumber";    // as tagged: "1" or "1/2"
inline constexpr char kMetaDate[] = "Date";                // as tagged: "1959" or "1959-08-17"
inline constexpr char kMetaComment[] = "Comment";            // free text, lines ending in "\n"
inline constexpr char kMetaEditedMasterID[] = "EditedMasterID";  // the master's identifier
inline constexpr char kMetaSrcBits[] = "SrcBits";             // 1 for DSD
inline constexpr char kMetaSrcSampleRate[] = "SrcSampleRate"; // Hz; 1-bit rate for DSD

// Stream format dictionary the host hands to its output.
inline constexpr char kAoSamplingRate[] = "samplingrate";
inline constexpr char kAoChannels[] = "channels";
inline constexpr char kAoBits[] = "bits";
inline constexpr char kAoFormat[] = "format";
inline constexpr char kAoFramesPerPacket[] = "frames per packet";

}  // namespace sonara::plugin

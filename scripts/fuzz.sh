#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (FUZZ_SECONDS, default 15) from a seed corpus. Fails on any crash or sanitizer
# report; a failing input is kept in build/fuzz/artifacts.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build/fuzz"
seconds="${FUZZ_SECONDS:-15}"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DPELMORA_FUZZ=ON -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF >/dev/null
targets=(dsf_fuzzer dsdiff_fuzzer flac_fuzzer wav_fuzzer mp3_fuzzer mp4_fuzzer property_list_fuzzer m3u_fuzzer cue_fuzzer playlist_file_fuzzer)
cmake --build "$dir" --parallel "$(nproc)" --target make_dsf_seeds make_dsdiff_seeds "${targets[@]}"

mkdir -p "$dir/artifacts"
status=0
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  case "$target" in
    dsf_fuzzer) "$dir/fuzz/make_dsf_seeds" "$corpus" ;;
    dsdiff_fuzzer) "$dir/fuzz/make_dsdiff_seeds" "$corpus" ;;
    flac_fuzzer)
      for params in "44100 16 2" "96000 24 1"; do
        set -- $params
        sox -q -D -n -r "$1" -b "$2" -c "$3" "$corpus/seed.wav" synth 0.05 sine 441 whitenoise
        flac -s -f -T ARTIST=seed -o "$corpus/seed-$1-$2-$3.flac" "$corpus/seed.wav"
        rm -f "$corpus/seed.wav"
      done ;;
    wav_fuzzer)
      sox -q -D -r 44100 -c 2 -n -b 16 --comment "title=seed" "$corpus/pcm16.wav" synth 0.02 sine 441
      sox -q -D -r 96000 -c 6 -n -b 24 "$corpus/ext24.wav" synth 0.01 sine 441
      sox -q -D -r 48000 -c 1 -n -e floating-point -b 32 "$corpus/float.wav" synth 0.02 sine 441
      sox -q -D -r 44100 -c 2 -n -b 16 "$corpus/pcm16.aiff" synth 0.02 sine 441
      sox -q -D -r 44100 -c 2 -n -b 24 "$corpus/sowt.aifc" synth 0.02 sine 441 ;;
    mp3_fuzzer)
      sox -q -D -r 44100 -c 2 -n -b 16 "$corpus/seed.wav" synth 0.1 sine 441 pad 0.05 0.05
      lame --quiet -b 128 --tt seed "$corpus/seed.wav" "$corpus/lame.mp3"
      lame --quiet -t -b 64 -m m "$corpus/seed.wav" "$corpus/plain.mp3"
      ffmpeg -v quiet -y -i "$corpus/seed.wav" -c:a mp2 "$corpus/layer2.mp2"
      rm -f "$corpus/seed.wav" ;;
    mp4_fuzzer)
      sox -q -D -r 44100 -c 2 -n -b 16 "$corpus/seed.wav" synth 0.1 sine 441
      ffmpeg -v quiet -y -i "$corpus/seed.wav" -c:a alac -metadata title=seed "$corpus/alac16.m4a"
      sox -q -D -r 96000 -c 1 -n -b 24 "$corpus/seed24.wav" synth 0.05 sine 441
      ffmpeg -v quiet -y -i "$corpus/seed24.wav" -c:a alac "$corpus/alac24.m4a"
      rm -f "$corpus/seed.wav" "$corpus/seed24.wav" ;;
    playlist_file_fuzzer)
      printf '%s' '<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>Playlists</key><array><dict><key>Playlist Items</key><array><dict><key>Track ID</key><integer>3</integer></dict><dict><key>Track ID</key><integer>12</integer></dict></array></dict></array><key>Tracks</key><dict><key>3</key><dict><key>Track ID</key><integer>3</integer><key>Name</key><string>One</string><key>Artist</key><string>Band</string><key>Location</key><string>file:///music/a%20b.flac</string><key>Optional Offset Time</key><integer>0</integer><key>Optional Duration Time</key><integer>24000</integer></dict><key>12</key><dict><key>Track ID</key><integer>12</integer><key>Location</key><string>file:///m/c.cue</string></dict></dict></dict></plist>' > "$corpus/playlist.xml" ;;
    property_list_fuzzer)
      cp "$root/cmake/Info.plist.in" "$corpus/info.plist"
      printf '%s' '{"devices":[{"name":"DAC","usb":{"vid":1,"pid":2},"formats":[{"rate":0,"min_rate":44100,"max_rate":192000,"bits":24,"bytes_per_sample":4,"channels":2,"non_mixable":false,"dsd":false}],"buffer_frames":{"min":64,"max":8192},"initial":{"rate":44100,"format":0},"clock":"realtime"}]}' > "$corpus/devices.json" ;;
    m3u_fuzzer)
      printf '#EXTM3U\n#EXTINF:201,Some Band - First Song\n/music/My Album/01 First Song.flac\n#EXTINF:-1,Title\nrelative/b%%20c.dsf\n' > "$corpus/extm3u.m3u8"
      printf '\xef\xbb\xbf#EXTM3U\r\n#EXTINF:-1 tvg-name="a, b",Band - Live\r\nfile:///music/%%C3%%A9t%%C3%%A9.flac\r\nhttp://radio.example/stream\r\nC:\\Music\\x.flac\r\nlist.m3u\r\n' > "$corpus/bom-crlf.m3u8"
      printf '#EXTINF:10,Bj\xf6rk - J\xf3ga\rM\xfasica\\Caf\xe9.flac\r' > "$corpus/latin1.m3u" ;;
    cue_fuzzer)
      printf '%s\r\n' 'REM GENRE Rock' 'PERFORMER "Band"' 'TITLE "Album"' 'FILE "album.flac" WAVE' \
        '  TRACK 01 AUDIO' '    TITLE "One"' '    INDEX 01 00:00:00' '  TRACK 02 AUDIO' \
        '    PERFORMER "Guest"' '    INDEX 00 03:58:00' '    INDEX 01 04:00:00' \
        '  TRACK 03 MODE1/2352' '    INDEX 01 08:30:74' > "$corpus/album.cue"
      printf '\xef\xbb\xbfPERFORMER "Sigur R\xc3\xb3s"\n' > "$corpus/bom.cue"
      printf 'FILE "01.wav" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\nFILE "/abs/02.wav" WAVE\n TRACK 02 AUDIO\n  TITLE \x93\x8c\x8b\x9e\n  INDEX 01 00:02:00\n' \
        > "$corpus/per-file.cue"
      printf '%s\r\n' 'TITLE "Ærø 東京"' 'FILE "a.wav" WAVE' ' TRACK 01 AUDIO' '  INDEX 01 00:00:00' |
        iconv -f UTF-8 -t UTF-16 > "$corpus/utf16.cue" ;;
  esac
  echo "--- $target for ${seconds} s"
  if ! "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
      "$corpus" > "$dir/$target.log" 2>&1; then
    echo "$target found a failure:"
    tail -n 40 "$dir/$target.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$dir/$target.log" | head -n 2 || true
  fi
done
exit $status

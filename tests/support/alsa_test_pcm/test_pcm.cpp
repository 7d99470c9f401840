// The tests' own ALSA playback device: an alsa-lib external I/O plug-in with the
// limits of real hardware and a clock of its own, loaded through a test
// configuration:
//
//   pcm_type.pelmora_test { lib "<build>/tests/libasound_module_pcm_pelmora_test.so" }
//   pcm.testdac {
//     type pelmora_test
//     formats "S16_LE S32_LE DSD_U32_BE"   # what hw_params offers
//     rates "44100 88200 176400"
//     period_step 128                      # periods are whole multiples of these bytes
//     refuse "DSD_U32_BE@176400"           # pairs the "driver" refuses when configured
//     capture "/tmp/x.raw"                 # every byte written, in the device's format
//     events "/tmp/x.events"               # one line per thing that happened
//     inject "/tmp/x.inject"               # failures on demand, read at open and per write
//   }
//
// The inject file holds one errno name and an optional count: "EBUSY" (opening fails),
// "EPIPE 1" (an underrun), "ESTRPIPE 1" (a system suspend), "EIO" (a device that stops
// consuming), "ENODEV" (pulled out). Without a count the failure lasts while the file
// is there; with one it is used up and the file removed. Write it atomically (rename).
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TestPcm {
  snd_pcm_ioplug_t io{};
  std::string capture_path, events_path, inject_path;
  std::set<std::string> refused;  // "FORMAT@RATE"
  FILE* capture = nullptr;
  FILE* events = nullptr;
  int timer = -1;
  // The clock: frames played = base + elapsed time x rate while it runs.
  bool running = false;
  snd_pcm_uframes_t base = 0;
  timespec since{};
};

void event(TestPcm* t, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void event(TestPcm* t, const char* fmt, ...) {
  if (!t->events) return;
  va_list args;
  va_start(args, fmt);
  std::vfprintf(t->events, fmt, args);
  va_end(args);
  std::fputc('\n', t->events);
  std::fflush(t->events);
}

int errnoNamed(const std::string& name) {
  if (name == "EBUSY") return EBUSY;
  if (name == "EPIPE") return EPIPE;
  if (name == "ESTRPIPE") return ESTRPIPE;
  if (name == "EIO") return EIO;
  if (name == "ENODEV") return ENODEV;
  return 0;
}

// The failure asked for now, if any; a counted one is used up.
int injected(TestPcm* t) {
  if (t->inject_path.empty()) return 0;
  std::ifstream in(t->inject_path);
  if (!in) return 0;
  std::string name;
  long count = -1;
  in >> name >> count;
  int error = errnoNamed(name);
  if (!error) return 0;
  if (count > 0) {
    if (count == 1) {
      std::remove(t->inject_path.c_str());
    } else {
      const std::string temp = t->inject_path + ".next";
      std::ofstream(temp) << name << ' ' << count - 1 << '\n';
      std::rename(temp.c_str(), t->inject_path.c_str());
    }
  }
  return error;
}

double secondsSince(const timespec& then) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec - then.tv_sec) + static_cast<double>(now.tv_nsec - then.tv_nsec) / 1e9;
}

snd_pcm_uframes_t played(TestPcm* t) {
  if (!t->running) return t->base;
  return t->base + static_cast<snd_pcm_uframes_t>(secondsSince(t->since) * t->io.rate);
}

int start(snd_pcm_ioplug_t* io) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  t->running = true;
  clock_gettime(CLOCK_MONOTONIC, &t->since);
  event(t, "start queued=%lu", static_cast<unsigned long>(io->appl_ptr - t->base));
  return 0;
}

int stop(snd_pcm_ioplug_t* io) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  t->base = std::min(played(t), static_cast<snd_pcm_uframes_t>(io->appl_ptr));
  t->running = false;
  // What was played of what was written: frames written and not played are lost.
  event(t, "stop played=%lu written=%lu", static_cast<unsigned long>(t->base),
        static_cast<unsigned long>(io->appl_ptr));
  return 0;
}

// Frames played since prepare; running past what was written is an underrun.
snd_pcm_sframes_t pointer(snd_pcm_ioplug_t* io) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  snd_pcm_uframes_t position = played(t);
  if (t->running && position > io->appl_ptr) {
    t->base = io->appl_ptr;
    t->running = false;
    // Running out while draining is the end of the stream, not an underrun.
    event(t, io->state == SND_PCM_STATE_DRAINING ? "drained" : "xrun");
    return -EPIPE;
  }
  return static_cast<snd_pcm_sframes_t>(position);
}

snd_pcm_sframes_t transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
                           snd_pcm_uframes_t size) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  if (int error = injected(t)) {
    event(t, "fail %s", std::strerror(error));
    if (error == EPIPE) {
      t->base = played(t);
      t->running = false;
      snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
    } else if (error == ESTRPIPE) {
      t->base = played(t);
      t->running = false;
      snd_pcm_ioplug_set_state(io, SND_PCM_STATE_SUSPENDED);
    } else if (error == ENODEV) {
      snd_pcm_ioplug_set_state(io, SND_PCM_STATE_DISCONNECTED);
    }
    return -error;
  }
  const auto* from = static_cast<const char*>(areas[0].addr) + (areas[0].first + areas[0].step * offset) / 8;
  const size_t bytes = size * static_cast<size_t>(snd_pcm_format_physical_width(io->format) / 8) * io->channels;
  if (t->capture) {
    std::fwrite(from, 1, bytes, t->capture);
    std::fflush(t->capture);
  }
  return static_cast<snd_pcm_sframes_t>(size);
}

int prepare(snd_pcm_ioplug_t* io) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  t->base = 0;
  t->running = false;
  event(t, "prepare");
  return 0;
}

int resume(snd_pcm_ioplug_t* io) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  t->running = true;
  clock_gettime(CLOCK_MONOTONIC, &t->since);
  snd_pcm_ioplug_set_state(io, SND_PCM_STATE_RUNNING);
  event(t, "resume");
  return 0;
}

int hwParams(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t*) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  const std::string pair = std::string(snd_pcm_format_name(io->format)) + "@" + std::to_string(io->rate);
  if (t->refused.count(pair)) {
    event(t, "refused %s", pair.c_str());
    return -EINVAL;
  }
  event(t, "hw_params %s %u %u period=%lu buffer=%lu", snd_pcm_format_name(io->format), io->rate, io->channels,
        static_cast<unsigned long>(io->period_size), static_cast<unsigned long>(io->buffer_size));
  return 0;
}

int swParams(snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  snd_pcm_uframes_t threshold = 0, avail_min = 0;
  snd_pcm_sw_params_get_start_threshold(params, &threshold);
  snd_pcm_sw_params_get_avail_min(params, &avail_min);
  event(t, "sw_params start_threshold=%lu avail_min=%lu", static_cast<unsigned long>(threshold),
        static_cast<unsigned long>(avail_min));
  return 0;
}

// The timer ticks every 2 ms; the writer looks at the room itself after each tick.
int pollRevents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds, unsigned short* revents) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  uint64_t ticks;
  if (nfds > 0 && (pfd[0].revents & POLLIN)) (void)!::read(t->timer, &ticks, sizeof ticks);
  *revents = nfds > 0 && (pfd[0].revents & POLLIN) ? POLLOUT : 0;
  return 0;
}

int closePcm(snd_pcm_ioplug_t* io) {
  auto* t = static_cast<TestPcm*>(io->private_data);
  event(t, "close");
  if (t->capture) std::fclose(t->capture);
  if (t->events) std::fclose(t->events);
  if (t->timer >= 0) ::close(t->timer);
  delete t;
  return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
  snd_pcm_ioplug_callback_t c{};
  c.start = start;
  c.stop = stop;
  c.pointer = pointer;
  c.transfer = transfer;
  c.close = closePcm;
  c.hw_params = hwParams;
  c.sw_params = swParams;
  c.prepare = prepare;
  c.resume = resume;
  c.poll_revents = pollRevents;
  return c;
}();

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

int constrain(TestPcm* t, const std::vector<std::string>& formats, const std::vector<std::string>& rates,
              long period_step, unsigned channels) {
  snd_pcm_ioplug_t* io = &t->io;
  const unsigned access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  int r = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, access);
  std::vector<unsigned> list;
  for (const auto& f : formats) {
    snd_pcm_format_t format = snd_pcm_format_value(f.c_str());
    if (format == SND_PCM_FORMAT_UNKNOWN) return -EINVAL;
    list.push_back(static_cast<unsigned>(format));
  }
  if (r >= 0) r = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, static_cast<unsigned>(list.size()), list.data());
  list.clear();
  for (const auto& rate : rates) list.push_back(static_cast<unsigned>(std::stoul(rate)));
  if (r >= 0) r = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_RATE, static_cast<unsigned>(list.size()), list.data());
  if (r >= 0) r = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, channels, channels);
  if (period_step > 0) {
    // Like the HD-audio driver: periods in whole steps of bytes.
    list.clear();
    for (unsigned bytes = static_cast<unsigned>(period_step); bytes <= 262144; bytes += static_cast<unsigned>(period_step)) {
      list.push_back(bytes);
    }
    if (r >= 0) r = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, static_cast<unsigned>(list.size()), list.data());
  } else if (r >= 0) {
    r = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 262144);
  }
  if (r >= 0) r = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 128, 4 * 1024 * 1024);
  if (r >= 0) r = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
  return r;
}

}  // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(pelmora_test) {
  (void)root;
  std::string formats = "S16_LE S32_LE", rates = "44100 48000", refuse;
  long period_step = 0, channels = 2;
  auto* t = new TestPcm;
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* n = snd_config_iterator_entry(i);
    const char* id;
    if (snd_config_get_id(n, &id) < 0) continue;
    std::string key = id;
    const char* text = nullptr;
    if (key == "comment" || key == "type" || key == "hint") continue;
    if (key == "period_step") {
      snd_config_get_integer(n, &period_step);
    } else if (key == "channels") {
      snd_config_get_integer(n, &channels);
    } else if (snd_config_get_string(n, &text) >= 0 && text) {
      if (key == "formats") formats = text;
      else if (key == "rates") rates = text;
      else if (key == "refuse") refuse = text;
      else if (key == "capture") t->capture_path = text;
      else if (key == "events") t->events_path = text;
      else if (key == "inject") t->inject_path = text;
    }
  }
  for (const auto& pair : words(refuse)) t->refused.insert(pair);
  if (!t->events_path.empty()) t->events = std::fopen(t->events_path.c_str(), "a");
  if (int error = injected(t); error == EBUSY || error == ENODEV) {
    event(t, "open refused: %s", std::strerror(error));
    if (t->events) std::fclose(t->events);
    delete t;
    return -error;
  }
  if (!t->capture_path.empty()) t->capture = std::fopen(t->capture_path.c_str(), "ab");
  t->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  itimerspec tick{{0, 2000000}, {0, 2000000}};
  timerfd_settime(t->timer, 0, &tick, nullptr);

  t->io.version = SND_PCM_IOPLUG_VERSION;
  t->io.name = "Pelmora test PCM";
  t->io.callback = &kCallbacks;
  t->io.private_data = t;
  t->io.poll_fd = t->timer;
  t->io.poll_events = POLLIN;
  t->io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA;
  int r = snd_pcm_ioplug_create(&t->io, name, stream, mode);
  if (r < 0) {
    ::close(t->timer);
    if (t->capture) std::fclose(t->capture);
    if (t->events) std::fclose(t->events);
    delete t;
    return r;
  }
  r = constrain(t, words(formats), words(rates), period_step, static_cast<unsigned>(channels));
  if (r < 0) {
    snd_pcm_ioplug_delete(&t->io);
    return r;
  }
  event(t, "open");
  *pcmp = t->io.pcm;
  return 0;
}

SND_PCM_PLUGIN_SYMBOL(pelmora_test)

}  // extern "C"

#include "remote/bus_name_choice.h"

#include <systemd/sd-bus.h>

#include <cerrno>

namespace pelmora::remote {

std::string instanceName(const std::string& base, long pid) { return base + ".instance" + std::to_string(pid); }

std::string takePlayerName(sd_bus* bus, const std::string& base, long pid, int* error) {
  // No queueing: a name we would get only later is of no use to a desktop now.
  int r = sd_bus_request_name(bus, base.c_str(), 0);
  if (r >= 0 || r == -EALREADY) return base;
  if (r != -EEXIST) {
    if (error) *error = r;
    return {};
  }
  const std::string instance = instanceName(base, pid);
  r = sd_bus_request_name(bus, instance.c_str(), 0);
  if (r >= 0 || r == -EALREADY) return instance;
  if (error) *error = r;
  return {};
}

}  // namespace pelmora::remote

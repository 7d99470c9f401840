// The two MPRIS2 interfaces as sd-bus tables of methods, properties and signals,
// each call handed to the MprisService given as the object's user data.
#pragma once

#include <systemd/sd-bus.h>

#include "remote/mpris_metadata.h"

namespace pelmora::remote {

const sd_bus_vtable* rootInterfaceTable();
const sd_bus_vtable* playerInterfaceTable();

// Appends the track's metadata as the a{sv} dictionary remotes read.
int appendMetadata(sd_bus_message* m, const TrackMetadata& track);

}  // namespace pelmora::remote

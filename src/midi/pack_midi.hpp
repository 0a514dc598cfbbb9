// Packing a MIDI file into a container; the contract is in the public header.
#pragma once

#include <mthc/pack_midi.hpp>

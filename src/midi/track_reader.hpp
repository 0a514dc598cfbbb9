// Reading the events of a MIDI track; the contract is in the public header.
#pragma once

#include <mthc/track_reader.hpp>

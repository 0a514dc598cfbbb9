// The in-memory conversion; its contract is in the public header.
#pragma once

#include <mthc/convert_to_midi.hpp>

// The summary of a MIDI file's music; the contract is in the public header.
#pragma once

#include <mthc/summarize_music.hpp>

// The block decoder; its contract is in the public header.
#pragma once

#include <mthc/decode_block.hpp>

// The block walk; its contract is in the public header.
#pragma once

#include <mthc/decompress_blocks.hpp>

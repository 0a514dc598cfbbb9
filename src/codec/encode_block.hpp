// The block encoder; its contract is in the public header.
#pragma once

#include <mthc/encode_block.hpp>

// A move-only owner of one file descriptor.
#pragma once

#include "platform/unique_fd.h"

namespace sim {

using Fd = ::UniqueFd;

} // namespace sim

#pragma once

#include <cstddef>

#include "status.h"

namespace vexa {

// Makes room for `needed` open descriptors: raises the soft limit up to the hard one when the
// soft one is lower. Fails, saying how to raise it, when even the hard limit is too low.
Status ensureDescriptorLimit(size_t needed);

}  // namespace vexa

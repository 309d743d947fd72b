#pragma once

#include <stdexcept>

namespace qm {

// Raised by code that stops at one of the caps in base/Limits.h when stopping means giving
// up the piece of work in hand (an object, an operator, a stream). What catches it counts
// dcLimitReached and carries on with the rest; it never reaches the user.
class ELimitExceeded : public std::runtime_error {
public:
  ELimitExceeded() : std::runtime_error("Limit exceeded") {}
};

}  // namespace qm

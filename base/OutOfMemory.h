#pragma once

#include <exception>
#include <new>
#include <string>

namespace qm {

inline constexpr const char* kOutOfMemoryMessage = "Out of memory";

// What a job raises when memory ran out: still a std::bad_alloc, with the message users see.
class EOutOfMemory : public std::bad_alloc {
public:
  [[nodiscard]] const char* what() const noexcept override { return kOutOfMemoryMessage; }
};

// The text a front end shows for a failed job: "Out of memory" for any std::bad_alloc
// (the library's own text names a type, not the trouble), the exception's message otherwise.
inline std::string ErrorMessage(const std::exception& AError) {
  if (dynamic_cast<const std::bad_alloc*>(&AError) != nullptr) return kOutOfMemoryMessage;
  return AError.what();
}

}  // namespace qm

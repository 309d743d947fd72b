#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace qm {

// The writer's errors. A failure inside BeginDoc, EndDoc, NewPage, BeginPara or
// BeginColumns leaves as one of these, carrying the message of what failed, or as
// std::bad_alloc when memory ran out.
class EkwWriterError : public std::runtime_error {
public:
  explicit EkwWriterError(const std::string& AMessage) : std::runtime_error(AMessage) {}
};

class EInvalidEngineState final : public EkwWriterError {
public:
  EInvalidEngineState() : EkwWriterError("Not a valid Engine State identifier") {}
};

class EUnsupportedGraphics final : public EkwWriterError {
public:
  EUnsupportedGraphics() : EkwWriterError("Unknown Graphics format") {}
};

// Runs AWork the way the writer's document operations fail: writer errors and out of
// memory leave unchanged, any other failure leaves as EkwWriterError with its message.
template <class F>
decltype(auto) WriterGuardedCall(F&& AWork) {
  try {
    return std::forward<F>(AWork)();
  } catch (const EkwWriterError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw EkwWriterError(e.what());
  }
}

}  // namespace qm

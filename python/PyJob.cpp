#include "python/PyJob.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <sstream>
#include <string_view>
#include <thread>
#include <utility>

#include "base/OutOfMemory.h"
#include "converter/kwPDFConverter.h"
#include "converter/kwPDFSummary.h"
#include "formatter/kwFormatterElements.h"
#include "pdf/core/kwAESSecurity.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm::py {

TErrors gErrors;

namespace {

// The bytes of a buffer-exporting object, held for as long as this lives; a bytearray
// cannot be resized meanwhile. Made and destroyed with the GIL held.
class TBuffer {
public:
  explicit TBuffer(const pybind::handle& AObject) {
    if (PyObject_GetBuffer(AObject.ptr(), &FView, PyBUF_SIMPLE) != 0) throw pybind::error_already_set();
  }
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;
  ~TBuffer() { PyBuffer_Release(&FView); }

  // Never a null pointer, so that empty data is still data (and fails as a PDF).
  [[nodiscard]] std::string_view Bytes() const {
    static const char kEmpty = 0;
    if (FView.len <= 0) return {&kEmpty, 0};
    return {static_cast<const char*>(FView.buf), static_cast<std::size_t>(FView.len)};
  }

private:
  Py_buffer FView{};
};

// Engine text as a Python string; bytes of a file name that are not UTF-8 survive as
// surrogate escapes, as os.fsdecode gives them.
pybind::str Text(const std::string& AText) {
  PyObject* text = PyUnicode_DecodeUTF8(AText.data(), static_cast<Py_ssize_t>(AText.size()), "surrogateescape");
  if (text == nullptr) throw pybind::error_already_set();
  return pybind::reinterpret_steal<pybind::str>(text);
}

// Raises the module's exception for what the engine threw, with its message; the job's
// warnings go along as the exception's `warnings`.
[[noreturn]] void RaiseFailure(const std::exception_ptr& AFailure, const pybind::list& AWarnings) {
  pybind::handle kind = gErrors.Error;
  std::string message = "Unknown error";
  try {
    std::rethrow_exception(AFailure);
  } catch (const EConversionCancelled& e) {
    kind = gErrors.Cancelled;
    message = e.what();
  } catch (const ExPasswordRequired& e) {
    kind = gErrors.PasswordRequired;
    message = e.what();
  } catch (const ExInvalidPassword& e) {
    kind = gErrors.PasswordRequired;
    message = e.what();
  } catch (const ENoPageRead& e) {
    kind = gErrors.InvalidPDF;
    message = e.what();
  } catch (const ExFileNotFound& e) {
    PyErr_SetObject(PyExc_FileNotFoundError, pybind::make_tuple(ENOENT, Text(e.what())).ptr());
    throw pybind::error_already_set();
  } catch (const ExUnsupportedEncryption& e) {
    message = e.what();  // a password would not help: not a password error
  } catch (const EPDFCoreError& e) {
    kind = gErrors.InvalidPDF;
    message = e.what();
  } catch (const EConvertError& e) {
    // The page range the caller gave is malformed.
    PyErr_SetObject(PyExc_ValueError, Text(e.what()).ptr());
    throw pybind::error_already_set();
  } catch (const std::bad_alloc&) {
    PyErr_SetString(PyExc_MemoryError, kOutOfMemoryMessage);
    throw pybind::error_already_set();
  } catch (const std::exception& e) {
    message = ErrorMessage(e);
  } catch (...) {
  }
  pybind::object error = kind(Text(message));
  error.attr("warnings") = AWarnings;
  PyErr_SetObject(kind.ptr(), error.ptr());
  throw pybind::error_already_set();
}

// The file system's bytes of a path given as str (os.fsencode's inverse).
std::string PathOf(const pybind::object& ASource) {
  return pybind::module_::import("os").attr("fsencode")(ASource).cast<std::string>();
}

}  // namespace

TPyJob::TPyJob(pybind::object ASource, bool AIsPath, std::string AOutput, const TJobOptions& AOptions)
    : FSource(std::move(ASource)), FIsPath(AIsPath), FOutput(std::move(AOutput)), FOptions(AOptions) {
  if (FIsPath) FPath = PathOf(FSource);
  FActions.fill(TkwAction::acRetain);
  if (FOptions.Preset) {
    const std::optional<cli::TElementActions> preset = cli::PresetActions(*FOptions.Preset);
    if (!preset) throw pybind::value_error("unknown preset '" + *FOptions.Preset + "'");
    FActions = *preset;
    FCustom = true;
  }
  for (const std::string& choice : FOptions.Process) {
    if (!cli::ApplyProcessChoice(choice, FActions)) {
      throw pybind::value_error("process choice '" + choice + "' is not KIND=ACTION");
    }
    FCustom = true;
  }
}

pybind::tuple TPyJob::Run() {
  if (FRunning.exchange(true)) throw std::logic_error("the job is already running");
  struct TRunning {
    std::atomic<bool>& Flag;
    ~TRunning() { Flag.store(false); }
  } running{FRunning};
  // Cancelled before it ran: the engine would forget the request when its job starts.
  if (FCancel.load()) RaiseFailure(std::make_exception_ptr(EConversionCancelled()), pybind::list());

  std::optional<TBuffer> buffer;
  if (!FIsPath) buffer.emplace(FSource);

  TkwPDFConverter converter;
  converter.GetOutputSettings().GetPreferences().SetFormattingMode(
      FOptions.Tabs ? TkwFormattingMode::fmFormattedWithTabs : TkwFormattingMode::fmFormatted);
  converter.GetOutputSettings().SetPageRange(FOptions.Pages);
  converter.SetInputFileName(FPath);
  if (buffer) converter.SetInputBytes(buffer->Bytes());
  std::ostringstream rtf;
  if (FOutput.empty()) {
    converter.SetOutputStream(&rtf);
  } else {
    converter.SetOutputFileName(FOutput);
  }
  int pages = 0;
  converter.SetOnEndJob(
      [&pages](TkwObject&, TkwEndJobEventArgs& AArgs) { pages = AArgs.GetConvertedPageCount(); });
  if (FCustom) {
    converter.SetOnElementDetected([this](TkwObject&, TkwFormatterElement& AElement, TkwAction& AAction) {
      if (AElement.ElementType < kElementKindCount) AAction = FActions[AElement.ElementType];
    });
  }
  if (FOptions.Password) {
    const std::string password = *FOptions.Password;
    converter.SetOnNeedPassword([password](TkwObject&, std::string& APassword) { APassword = password; });
  }

  std::exception_ptr failure;
  bool interrupted = false;
  PyObject* signalType = nullptr;
  PyObject* signalValue = nullptr;
  PyObject* signalTrace = nullptr;
  {
    pybind::gil_scoped_release release;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread worker([&] {
      try {
        converter.Convert();
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard lock(mutex);
      done = true;
      ended.notify_one();
    });
    // A cancel request made before the engine started its job would be forgotten when it
    // starts, so it is handed on again at every look.
    std::unique_lock lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
      if (!interrupted) {
        lock.unlock();
        {
          // Python's signal handlers run here (the main thread only), Ctrl-C among them.
          pybind::gil_scoped_acquire acquire;
          if (PyErr_CheckSignals() != 0) {
            interrupted = true;
            PyErr_Fetch(&signalType, &signalValue, &signalTrace);
          }
        }
        lock.lock();
      }
      if (interrupted || FCancel.load()) converter.Cancel();
    }
    lock.unlock();
    worker.join();
  }
  if (interrupted) {
    PyErr_Restore(signalType, signalValue, signalTrace);
    throw pybind::error_already_set();
  }

  pybind::list warnings;
  for (const std::string& line : DescribeDiagnostics(converter.GetDiagnostics())) {
    warnings.append(Text(line));
  }
  if (failure) RaiseFailure(failure, warnings);
  pybind::object data = pybind::none();
  if (FOutput.empty()) {
    const std::string text = std::move(rtf).str();
    data = pybind::bytes(text);
  }
  return pybind::make_tuple(data, pages, warnings);
}

pybind::dict Info(const pybind::object& ASource, bool AIsPath, const std::string& APassword) {
  std::optional<TBuffer> buffer;
  std::string path;
  if (AIsPath) {
    path = PathOf(ASource);
  } else {
    buffer.emplace(ASource);
  }
  TkwPDFSummary summary;
  std::exception_ptr failure;
  {
    pybind::gil_scoped_release release;
    try {
      summary = buffer ? ReadPDFSummaryFromBytes(buffer->Bytes(), APassword) : ReadPDFSummary(path, APassword);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (failure) RaiseFailure(failure, pybind::list());
  pybind::dict info;
  info["pages"] = summary.PageCount;
  info["version"] = summary.Version.empty() ? pybind::object(pybind::none()) : Text(summary.Version);
  info["encryption"] =
      summary.Encrypted ? pybind::object(Text(summary.EncryptionMethod)) : pybind::object(pybind::none());
  return info;
}

}  // namespace qm::py

// The compiled part of the quillmark package; quillmark/__init__.py gives it its public face.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "python/PyJob.h"

namespace {

namespace pybind = pybind11;
using qm::py::TPyJob;

pybind::handle NewError(pybind::module_& AModule, const char* AName, pybind::handle ABase, const char* ADoc) {
  const std::string qualified = std::string("quillmark.") + AName;
  PyObject* kind = PyErr_NewExceptionWithDoc(qualified.c_str(), ADoc, ABase.ptr(), nullptr);
  if (kind == nullptr) throw pybind::error_already_set();
  // The module keeps one reference, the raising code the other for the interpreter's life.
  AModule.add_object(AName, pybind::handle(kind));
  return pybind::handle(kind);
}

}  // namespace

PYBIND11_MODULE(_quillmark, m) {
  m.doc() = "Quillmark's PDF-to-RTF engine";

  qm::py::TErrors& errors = qm::py::gErrors;
  errors.Error = NewError(m, "Error", PyExc_Exception, "A conversion or a PDF query failed; str() is the engine's message.");
  errors.PasswordRequired = NewError(m, "PasswordRequired", errors.Error,
                                     "The PDF is encrypted and no password, or a wrong one, was given.");
  errors.InvalidPDF = NewError(m, "InvalidPDF", errors.Error, "The data is not a PDF the engine can read.");
  errors.Cancelled = NewError(m, "Cancelled", errors.Error, "Job.cancel() stopped the conversion.");

  pybind::class_<TPyJob>(m, "Job")
      .def(pybind::init([](pybind::object ASource, bool AIsPath, std::string AOutput, std::string APages,
                           bool ATabs, std::optional<std::string> APassword, std::optional<std::string> APreset,
                           std::vector<std::string> AProcess) {
             qm::py::TJobOptions options;
             options.Pages = std::move(APages);
             options.Tabs = ATabs;
             options.Password = std::move(APassword);
             options.Preset = std::move(APreset);
             options.Process = std::move(AProcess);
             return new TPyJob(std::move(ASource), AIsPath, std::move(AOutput), options);
           }),
           pybind::arg("source"), pybind::arg("is_path"), pybind::arg("output"), pybind::arg("pages"),
           pybind::arg("tabs"), pybind::arg("password"), pybind::arg("preset"), pybind::arg("process"))
      .def("run", &TPyJob::Run)
      .def("cancel", &TPyJob::Cancel)
      .def_property_readonly("cancelled", &TPyJob::Cancelled);

  m.def("info", &qm::py::Info, pybind::arg("source"), pybind::arg("is_path"), pybind::arg("password"));
}

#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include "converter/kwPageRange.h"

#include <algorithm>
#include <ostream>
#include <thread>

namespace qm::cli {

namespace {

std::string ProcessHelp() {
  std::string kinds;
  for (const TkwElementKindName& k : kElementKindNames) {
    if (!kinds.empty()) kinds += ", ";
    kinds += k.Name;
  }
  return "Per-element action KIND=ACTION, as \"Custom process\" sets it; kinds " + kinds +
         "; actions process, leave-space, skip. Repeatable; applied after --preset";
}

TElementActions AllActions(TkwAction AAction) {
  TElementActions actions;
  actions.fill(AAction);
  return actions;
}

void Usage(std::ostream& AErr, const std::string& AMessage) {
  AErr << "quillmark: " << AMessage << " (see quillmark --help)\n";
}

}  // namespace

unsigned DefaultJobs() {
  return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<TElementActions> PresetActions(std::string_view AName) {
  using enum TkwAction;
  if (AName == "default") return AllActions(acRetain);
  if (AName == "images-only") {
    TElementActions actions = AllActions(acDelete);
    actions[KindIndex(TkwElementKind::ekImage)] = acRetain;
    return actions;
  }
  if (AName == "plain-text") {
    TElementActions actions = AllActions(acDelete);
    for (TkwElementKind k : {TkwElementKind::ekParagraph, TkwElementKind::ekTextLine, TkwElementKind::ekText}) {
      actions[KindIndex(k)] = acRetain;
    }
    return actions;
  }
  return std::nullopt;
}

bool ApplyProcessChoice(std::string_view AChoice, TElementActions& AActions) {
  const std::size_t eq = AChoice.find('=');
  if (eq == std::string_view::npos) return false;
  const std::string_view kind = AChoice.substr(0, eq);
  const std::string_view action = AChoice.substr(eq + 1);
  std::optional<TkwAction> value;
  if (action == "process") value = TkwAction::acRetain;
  if (action == "leave-space") value = TkwAction::acLeaveSpace;
  if (action == "skip") value = TkwAction::acDelete;
  if (!value) return false;
  const std::optional<TkwElementKind> k = ElementKindByName(kind);
  if (!k) return false;
  AActions[KindIndex(*k)] = *value;
  return true;
}

std::optional<int> ParseOptions(int AArgc, const char* const* AArgv, TOptions& AOptions,
                                std::ostream& AOut, std::ostream& AErr) {
  CLI::App app{"Quillmark converts PDF documents into RTF files that keep the look of the pages.",
               "quillmark"};
  app.set_version_flag("--version", std::string("quillmark ") + kVersion);
  app.require_subcommand(1);
  app.footer(
      "INPUT \"-\" reads standard input, -o - writes standard output. QUILLMARK_PASSWORD gives the\n"
      "password when --password does not; on a terminal the password is asked for.\n\n"
      "Exit status:\n"
      "  0    every file converted (content that had to be left out is named on stderr)\n"
      "  1    a conversion failed or wrote nothing\n"
      "  2    usage error, also a --pages value that selects no page of a file\n"
      "  3    a password is required or was wrong\n"
      "  4    --strict: a conversion had to leave content out\n"
      "  130  interrupted (Ctrl-C or SIGTERM; a second Ctrl-C ends at once)");

  std::string preset;
  std::vector<std::string> processes;

  CLI::App* convert = app.add_subcommand(
      "convert", "Convert one PDF to RTF, or several PDFs into a folder (--dest)");
  convert->add_option("INPUT", AOptions.Inputs, "PDF files to convert (\"-\": standard input)")->required();
  CLI::Option* output = convert->add_option(
      "-o,--output", AOptions.Output,
      "Output RTF file (one input only); \".rtf\" is added to a name without extension; "
      "\"-\" is standard output; a folder (or a name ending in /) gets NAME.rtf inside; missing "
      "folders are created. Default: the input's name with .rtf, beside it");
  CLI::Option* dest = convert->add_option(
      "--dest", AOptions.Dest, "Folder for a batch: one RTF per PDF, named after it; created when missing");
  output->excludes(dest);
  CLI::Option* jobs = convert->add_option("-j,--jobs", AOptions.Jobs,
                      "Files converted at once (default: the number of processor cores)")
      ->check(CLI::PositiveNumber);
  convert->add_option("--pages", AOptions.Pages,
                      "Pages to convert, e.g. \"1,3, 5-9\" (default: all pages)");
  convert->add_flag("--tabs,!--no-tabs", AOptions.Tabs,
                    "Lay side-by-side text out with tab stops (\"Format with tabs\"; default on)");
  convert->add_flag("--open", AOptions.Open,
                    "Open the result afterwards (a batch opens the destination folder)");
  convert->add_option("--password", AOptions.Password, "Password for an encrypted PDF");
  convert->add_flag("--strict", AOptions.Strict,
                    "Exit with status 4 when content had to be left out (a page cut short, a picture dropped)");
  convert->add_flag("--no-clobber", AOptions.NoClobber, "Never replace an existing output file");
  convert->add_option("--process", processes, ProcessHelp())->type_name("KIND=ACTION");
  convert->add_option("--preset", preset, "Element choices preset")
      ->check(CLI::IsMember({"default", "images-only", "plain-text"}));
  CLI::Option* verbose =
      convert->add_flag("-v,--verbose", AOptions.Verbose, "Log lines instead of the progress bar");
  CLI::Option* quiet = convert->add_flag("-q,--quiet", AOptions.Quiet, "Print only errors");
  verbose->excludes(quiet);

  CLI::App* info = app.add_subcommand(
      "info", "Print the page count, PDF version and encryption of a PDF");
  std::string infoInput;
  info->add_option("FILE", infoInput, "PDF file")->required();
  info->add_option("--password", AOptions.Password, "Password for an encrypted PDF");
  info->add_flag("--json", AOptions.Json, "Print the summary as one JSON object");

  app.failure_message([](const CLI::App*, const CLI::Error& AError) {
    return std::string(AError.what());
  });

  // A misspelt command is named, rather than reported as a missing one.
  if (AArgc > 1 && AArgv[1] != nullptr && AArgv[1][0] != '-') {
    const std::string_view command = AArgv[1];
    if (command != "convert" && command != "info") {
      Usage(AErr, "unknown command '" + std::string(command) + "'");
      return kExitUsage;
    }
  }
  try {
    app.parse(AArgc, AArgv);
  } catch (const CLI::CallForHelp&) {
    // Help of the subcommand the user asked about, else of the whole command.
    const CLI::App* target = &app;
    for (const CLI::App* sub : app.get_subcommands()) target = sub;
    AOut << target->help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    AOut << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    AOut << e.what() << "\n";
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    Usage(AErr, e.what());
    return kExitUsage;
  }

  if (info->parsed()) {
    AOptions.Command = TCommand::cmInfo;
    AOptions.Inputs = {infoInput};
    return std::nullopt;
  }
  AOptions.Command = TCommand::cmConvert;
  if (jobs->count() == 0) AOptions.Jobs = DefaultJobs();
  if (const std::string problem = PageRangeProblem(AOptions.Pages); !problem.empty()) {
    Usage(AErr, "--pages: " + problem);
    return kExitUsage;
  }
  if (AOptions.Inputs.size() > 1 && !AOptions.Output.empty()) {
    Usage(AErr, "--output names one file; use --dest for several inputs");
    return kExitUsage;
  }
  AOptions.Actions = AllActions(TkwAction::acRetain);
  if (!preset.empty()) {
    AOptions.Custom = true;
    AOptions.Actions = *PresetActions(preset);
  }
  for (const std::string& choice : processes) {
    AOptions.Custom = true;
    if (!ApplyProcessChoice(choice, AOptions.Actions)) {
      Usage(AErr, "--process: '" + choice + "' is not KIND=ACTION");
      return kExitUsage;
    }
  }
  return std::nullopt;
}

}  // namespace qm::cli

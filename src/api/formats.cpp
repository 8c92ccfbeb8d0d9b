// The public entry points of formats.h: reading any of the three languages, the options that
// add to a model, writing a model back and drawing it.
#include "zelbo/formats.h"

#include <cstdio>
#include <memory>
#include <new>
#include <optional>

#include "api/internal.h"
#include "base/texts.h"
#include "convert/build.h"
#include "delay/delay.h"
#include "draw/dot.h"
#include "import/detect.h"
#include "import/pnml.h"
#include "import/stg.h"
#include "language/reader.h"
#include "language/writer.h"
#include "net/build.h"
#include "net/net.h"

namespace zelbo {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

// The format of the file at `path`, as import::detectFormat tells it from the whole text, read
// only up to its first line that is neither blank nor a comment; nullopt when the file cannot
// be opened or read, which the model reader then reports as it always has.
std::optional<import::Format> sniffFormat(const std::string& path) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  // What decides is the byte order mark, whether a comment came first, and the start of the
  // first other line: a text of those alone is detected as the whole file would be.
  constexpr std::size_t kKept = 256;  // longer than any word that decides
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::string line;
  bool firstLine = true, bom = false, comment = false;
  auto summary = [&](std::string_view rest) {
    return std::string(bom ? kBom : "") + (comment ? "#\n" : "") + std::string(rest);
  };
  // True when the line decides.
  auto decides = [&] {
    std::string_view text = line;
    if (firstLine && text.substr(0, 3) == kBom) {
      bom = true;
      text.remove_prefix(3);
    }
    firstLine = false;
    const std::size_t start = text.find_first_not_of(" \t\r\v\f");
    if (start == std::string_view::npos) return false;
    if (text[start] == '#' || text.substr(start, 2) == "//") {
      comment = true;
      return false;
    }
    line = summary(text);
    return true;
  };
  char buffer[1 << 16];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    for (std::size_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n') {
        if (line.size() < kKept) line += buffer[i];
        continue;
      }
      if (decides()) return import::detectFormat(line, path);
      line.clear();
    }
  }
  if (ferror(file.get())) return std::nullopt;
  if (decides()) return import::detectFormat(line, path);
  return import::detectFormat(summary(""), path);
}

[[noreturn]] void importFailed(const import::ImportError& error) {
  throw Error(Error::Kind::model, error.message).at(SourceLocation{error.file, error.line});
}

// Builds the .g or PNML text into `net`; returns the name of its first transition.
// Builds the .g or PNML text into `net`, handing what the reader skipped to `report`; returns
// the name of its first transition.
std::string importInto(Net& net, import::Format format, std::string_view text, const std::string& name,
                       const DiagnosticHandler& report) {
  const import::ImportResult result =
      format == import::Format::stg ? import::importStg(text, name) : import::importPnml(text, name);
  if (!result) importFailed(result.error());
  if (report)
    for (const import::ImportWarning& w : result.value().warnings)
      report(Diagnostic{Diagnostic::Severity::warning, Diagnostic::Code::importWarning, w.message, {},
                        SourceLocation{name, w.line}});
  buildImported(net, result.value(), name);
  return result.value().transitions.front().name;
}

// The options, once the model is read. An imported net (`firstTransition` set) gets the
// defaults for what its format lacks.
void addOptions(Net& net, const ReadOptions& options, const std::string& firstTransition) {
  const bool imported = !firstTransition.empty();
  if (!options.annotations.empty()) {
    Net annotations;
    const std::optional<std::string> text = options.fileSource ? options.fileSource(options.annotations) : std::nullopt;
    if (text) parseAnnotationText(annotations, *text, options.annotations, options.onDiagnostic);
    else parseAnnotationFile(annotations, options.annotations, options.onDiagnostic);
    annotate(net, annotations, options.annotations);
  }
  if (!options.defaultDelay.empty()) fillDelays(net, *parseDelay(options.defaultDelay, text::kDefaultDelayOption));
  else if (imported) fillDelays(net, *parseDelay(".fix 1", text::kDefaultDelayOption));
  if (imported) defaultTarget(net, firstTransition);
  prepareFiring(net);
}

}  // namespace

Model readModel(const std::string& path, const ReadOptions& options) {
  if (options.fileSource)
    if (const std::optional<std::string> text = options.fileSource(path)) return readModelText(*text, path, options);
  return reportingOutOfMemory([&] {
    auto net = std::make_shared<Net>();
    const std::optional<import::Format> format = sniffFormat(path);
    std::string firstTransition;
    if (format && *format != import::Format::stpn) {
      import::Result<std::string> text = import::readFile(path);
      if (!text) importFailed(text.error());
      firstTransition = importInto(*net, *format, text.value(), path, options.onDiagnostic);
    } else {
      parseModelFile(*net, path, options.onDiagnostic);
    }
    addOptions(*net, options, firstTransition);
    return modelOf(std::move(net));
  });
}

Model readModelText(std::string_view text, const std::string& name, const ReadOptions& options) {
  return reportingOutOfMemory([&] {
    auto net = std::make_shared<Net>();
    const import::Format format = import::detectFormat(text, name);
    std::string firstTransition;
    if (format != import::Format::stpn) firstTransition = importInto(*net, format, text, name, options.onDiagnostic);
    else parseModelText(*net, text, name, options.onDiagnostic);
    addOptions(*net, options, firstTransition);
    return modelOf(std::move(net));
  });
}

WrittenModel writeModel(const Model& model, const std::string& source) {
  return reportingOutOfMemory([&] {
    std::string header = "// The model " + model.name();
    if (!source.empty()) {
      header += " as zelbo read it from ";
      for (const char c : source) header += (c == '\n' || c == '\r') ? '?' : c;
    }
    header += "\n";
    WrittenModel written;
    written.statements = modelStatements(netOf(model)).size();
    written.text = writeModelText(netOf(model), header);
    return written;
  });
}

std::string modelDot(const Model& model, const std::vector<Criticality>& critical) {
  return reportingOutOfMemory([&] {
    std::vector<double> byPlace;
    if (!critical.empty()) byPlace.assign(netOf(model).placeById.size(), 0.0);
    for (const Criticality& c : critical)
      if (c.index >= 0 && static_cast<std::size_t>(c.index) < byPlace.size()) byPlace[c.index] = c.value;
    return netDot(netOf(model), byPlace);
  });
}

std::string unfoldingDot(const Model& model, const Settings& settings, long seed, int nodeLimit) {
  return reportingOutOfMemory([&] { return firstUnfoldingDot(netOf(model), settings, seed, nodeLimit); });
}

}  // namespace zelbo

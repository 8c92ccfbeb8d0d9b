// How the command line writes errors and the model reader's diagnostics, from their data.
#include "zelbo/error.h"

#include "base/format.h"
#include "base/texts.h"

namespace zelbo {

namespace {

// The reader's span of the text it was at.
std::string spanText(const std::optional<SourceLocation>& at) {
  if (!at) return {};
  return formatted(text::kSpan, at->line, at->column, at->endLine, at->endColumn);
}

std::string continued(const std::vector<std::string>& notes) {
  std::string out;
  for (const std::string& note : notes) out += text::kContinuation + note;
  return out;
}

}  // namespace

std::string printedText(const Error& error) {
  if (error.framing() == Error::Framing::bare) return error.what() + std::string("\n");
  std::string out = text::kErrorLead + std::string(error.what());
  for (const Error::Note& note : error.notes()) {
    if (note.text.empty()) out += "\n";
    else out += (note.kind == Error::Note::Kind::error ? text::kErrorNoteLead : text::kInfoNoteLead) + note.text;
  }
  if (error.framing() == Error::Framing::errorLine) out += "\n";
  return out + error.listing();
}

std::string printedText(const Diagnostic& d) {
  using Code = Diagnostic::Code;
  const std::string span = spanText(d.location);
  switch (d.code) {
    case Code::syntaxError:
    case Code::probabilityAboveOne:
      return (d.severity == Diagnostic::Severity::error ? text::kErrorLead : text::kWarningLead) + d.message + span +
             "\n";
    case Code::placeRedefined:
      return text::kErrorLead + d.message + " " + span + text::kPlaceRedefinedEnd + "\n";
    case Code::unsafeMarking:
    case Code::targetIgnored:
      return text::kWarningLead + d.message + continued(d.notes) + span + "\n";
    case Code::delayRedefined:
      return text::kShoutedWarningLead + d.message + span + "\n" + continued(d.notes) + "\n";
    case Code::customValueAboveOne:
      return text::kWarningLead + d.message;
    case Code::customWholeValueAboveOne:
      return text::kSwappedWarningLead + d.message;
    case Code::transitionListedTwice:
      return text::kListWarningLead + d.message + "\n";
    case Code::binomialNotInverted:
    case Code::betaNotInverted:
      return text::kErrorLead + d.message + "\n";
    case Code::importWarning:
      return text::kWarningLead + d.location->file + ":" + std::to_string(d.location->line) + ": " + d.message + "\n";
  }
  return d.message + "\n";
}

}  // namespace zelbo

#include "language/location.h"

#include "base/texts.h"
#include "base/wrap.h"

namespace zelbo {

void advanceLocation(LocationState& state, const char* text, int leng) {
  // A scanner that matched nothing would never advance.
  if (!(text != nullptr && leng > 0)) throw Error(Error::Kind::internal, text::kEmptyMatch);
  int newlines = 0;
  int afterLastNewline = -1;  // characters after the last newline; -1 while none was seen
  for (int i = 0; i < leng; ++i) {
    if (text[i] == '\n') {
      newlines = wrapAdd(newlines, 1);
      afterLastNewline = 0;
    } else if (afterLastNewline >= 0) {
      ++afterLastNewline;
    }
  }
  state.currentColumn = afterLastNewline >= 0 ? afterLastNewline : wrapAdd(state.currentColumn, leng);
  state.currentLine = wrapAdd(state.currentLine, newlines);
}

void setSpan(SourceSpan& loc, int firstLine, int firstColumn, int lastLine, int lastColumn) {
  loc.firstLine = firstLine;
  loc.firstColumn = firstColumn;
  loc.lastLine = lastLine;
  loc.lastColumn = lastColumn;
}

void advanceOverMatch(LocationState& state, SourceSpan& lastMatch, const char* text, int leng) {
  state.savedLine = state.currentLine;
  state.savedColumn = state.currentColumn;
  state.savedSpan = lastMatch;
  advanceLocation(state, text, leng);
  setSpan(lastMatch, state.savedLine, wrapAdd(state.savedColumn, 1), state.currentLine,
                     state.currentColumn);
}

void takeBackMatch(LocationState& state, SourceSpan& lastMatch) {
  state.currentLine = state.savedLine;
  state.currentColumn = state.savedColumn;
  lastMatch = state.savedSpan;
}

SourceLocation locationOf(const SourceSpan& span, const std::string& file) {
  return SourceLocation{file, span.firstLine, span.firstColumn, span.lastLine, span.lastColumn};
}

}  // namespace zelbo

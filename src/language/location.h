// Source locations of the model file and the parser's own diagnostics.
#pragma once

#include <string>

#include "zelbo/error.h"

namespace zelbo {

// A span of the model file. Lines count from 1, columns from 1 (a tab is one column);
// lastLine is the first line plus the newlines of the text, and lastColumn is 0 when the
// text ends with a newline. The parser carries one with every grammar symbol.
// Formerly YYLoc.
struct SourceSpan {
  int firstLine;
  int lastLine;
  int firstColumn;
  int lastColumn;
};

// Where the scanner of one file stands: the running position, and what it was before the
// last match, so that a match handed back whole can be taken back.
struct LocationState {
  int currentLine = 1;    // line at which scanning continues
  int currentColumn = 0;  // characters already consumed on that line
  int savedLine = 1;
  int savedColumn = 0;
  SourceSpan savedSpan{};
};

// Advances the running position over one match of `leng` characters; the scanner never
// matches an empty text, and an empty one is an internal error.
// Formerly lex_update_location.
void advanceLocation(LocationState& state, const char* text, int leng);
// Stores the span into `loc`, the location of the last match.
// Formerly yy_update_location.
void setSpan(SourceSpan& loc, int firstLine, int firstColumn, int lastLine, int lastColumn);
// Runs both for one match, as the scanner does before every rule's action; `lastMatch` holds
// the span of the last text the scanner matched, token or skipped.
void advanceOverMatch(LocationState& state, SourceSpan& lastMatch, const char* text, int leng);
// Takes back the last advanceOverMatch, for a match the scanner hands back
// whole to be scanned again.
void takeBackMatch(LocationState& state, SourceSpan& lastMatch);

// The span as a location in `file`, for a diagnostic.
// Formerly the prefixed YYLoc2Str and PrintYYLoc, with printedText.
SourceLocation locationOf(const SourceSpan& span, const std::string& file);

}  // namespace zelbo

// Source locations of the model file and the parser's own diagnostics.
#pragma once

#include <cstdio>
#include <string>

namespace zelbo {

// A span of the model file. Lines count from 1, columns from 1 (a tab is one column);
// last_line is the first line plus the newlines of the text, and last_column is 0 when the
// text ends with a newline. The parser carries one with every grammar symbol.
struct YYLoc {
  int first_line;
  int last_line;
  int first_column;
  int last_column;
};

// Where the scanner of one file stands: the running position, and what it was before the
// last match, so that a match handed back whole can be taken back.
struct LocationState {
  int current_line = 1;    // line at which scanning continues
  int current_column = 0;  // characters already consumed on that line
  int savedLine = 1;
  int savedColumn = 0;
  YYLoc savedSpan{};
};

// Advances the running position over one match of `leng` characters.
void lex_update_location(LocationState& state, const char* text, int leng);
// Stores the span into `loc`, the location of the last match.
void yy_update_location(YYLoc& loc, int first_line, int first_column, int last_line, int last_column);
// Runs both for one match, as the scanner does before every rule's action; `lastMatch` holds
// the span of the last text the scanner matched, token or skipped.
void PRYXUpdateLocationForMatch(LocationState& state, YYLoc& lastMatch, const char* text, int leng);
// Takes back the last PRYXUpdateLocationForMatch, for a match the scanner hands back
// whole to be scanned again.
void PRYXUndoLocationUpdate(LocationState& state, YYLoc& lastMatch);

// " @ line:column %d:%d--%d:%d" for `loc`.
std::string PRYXYYLoc2Str(const YYLoc& loc);
// The same text and a newline, to `out`.
void PRYXPrintYYLoc(FILE* out, const YYLoc& loc);

}  // namespace zelbo

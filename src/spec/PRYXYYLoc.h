// Source locations of the model file and the parser's own diagnostics.
#pragma once

#include <string>

// A span of the model file. Lines count from 1, columns from 1 (a tab is one column);
// last_line is the first line plus the newlines of the text, and last_column is 0 when the
// text ends with a newline. The parser carries one with every grammar symbol.
struct YYLoc {
  int first_line;
  int last_line;
  int first_column;
  int last_column;
};

extern int current_line;    // line at which scanning continues
extern int current_column;  // characters already consumed on that line
// The span of the last text the scanner matched, token or skipped; all zero before the
// first match. Defined by the parser (bison's yylloc).
extern YYLoc PRYXlloc;

// Advances the running position over one match of `leng` characters.
void lex_update_location(const char* text, int leng);
// Stores the span into the scanner's location of the last match.
void yy_update_location(int first_line, int first_column, int last_line, int last_column);
// Runs both for one match, as the scanner does before every rule's action.
void PRYXUpdateLocationForMatch(const char* text, int leng);
// Takes back the last PRYXUpdateLocationForMatch, for a match the scanner hands back
// whole to be scanned again.
void PRYXUndoLocationUpdate();

// " @ line:column %d:%d--%d:%d" for `loc`.
std::string PRYXYYLoc2Str(const YYLoc& loc);
// The same text and a newline, to standard error.
void PRYXPrintYYLoc(const YYLoc& loc);
// "\n\tError: %s" and the location of the last match, to standard error; returns -1.
int PRYXerror(const char* message);

// Back to line 1, column 0, nothing matched yet (a fresh model file).
void PRYXResetLocation();

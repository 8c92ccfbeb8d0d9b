#include "spec/PRYXYYLoc.h"

// The check of lex_update_location stays in every build.
#undef NDEBUG
#include <assert.h>

#include <cstdio>

#include "base/wrap.h"

namespace zelbo {

void lex_update_location(LocationState& state, const char* text, int leng) {
  // A scanner that matched nothing would never advance.
  if (!(text != nullptr && leng > 0))
    __assert_fail("text != ((void *)0) && leng > 0", "PRYXSpec", __LINE__, "lex_update_location");
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
  state.current_column = afterLastNewline >= 0 ? afterLastNewline : wrapAdd(state.current_column, leng);
  state.current_line = wrapAdd(state.current_line, newlines);
}

void yy_update_location(YYLoc& loc, int first_line, int first_column, int last_line, int last_column) {
  loc.first_line = first_line;
  loc.first_column = first_column;
  loc.last_line = last_line;
  loc.last_column = last_column;
}

void PRYXUpdateLocationForMatch(LocationState& state, YYLoc& lastMatch, const char* text, int leng) {
  state.savedLine = state.current_line;
  state.savedColumn = state.current_column;
  state.savedSpan = lastMatch;
  lex_update_location(state, text, leng);
  yy_update_location(lastMatch, state.savedLine, wrapAdd(state.savedColumn, 1), state.current_line,
                     state.current_column);
}

void PRYXUndoLocationUpdate(LocationState& state, YYLoc& lastMatch) {
  state.current_line = state.savedLine;
  state.current_column = state.savedColumn;
  lastMatch = state.savedSpan;
}

std::string PRYXYYLoc2Str(const YYLoc& loc) {
  // Four 32-bit values of at most 11 characters each, and the fixed text.
  char text[96];
  snprintf(text, sizeof text, " @ line:column %d:%d--%d:%d", loc.first_line, loc.first_column, loc.last_line,
           loc.last_column);
  return text;
}

void PRYXPrintYYLoc(FILE* out, const YYLoc& loc) { fprintf(out, "%s\n", PRYXYYLoc2Str(loc).c_str()); }

}  // namespace zelbo

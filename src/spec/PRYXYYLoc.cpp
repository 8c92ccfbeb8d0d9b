#include "spec/PRYXYYLoc.h"

// The check of lex_update_location stays in every build.
#undef NDEBUG
#include <assert.h>

#include <cstdio>

#include "driver/globals.h"

int current_line = 1;
int current_column = 0;

namespace {

// The position and span before the last match, for PRYXUndoLocationUpdate.
struct SavedLocation {
  int line = 1;
  int column = 0;
  YYLoc span{};
};
SavedLocation beforeLastMatch;

}  // namespace

void lex_update_location(const char* text, int leng) {
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
  current_column = afterLastNewline >= 0 ? afterLastNewline : wrapAdd(current_column, leng);
  current_line = wrapAdd(current_line, newlines);
}

void yy_update_location(int first_line, int first_column, int last_line, int last_column) {
  PRYXlloc.first_line = first_line;
  PRYXlloc.first_column = first_column;
  PRYXlloc.last_line = last_line;
  PRYXlloc.last_column = last_column;
}

void PRYXUpdateLocationForMatch(const char* text, int leng) {
  beforeLastMatch = {current_line, current_column, PRYXlloc};
  lex_update_location(text, leng);
  yy_update_location(beforeLastMatch.line, wrapAdd(beforeLastMatch.column, 1), current_line, current_column);
}

void PRYXUndoLocationUpdate() {
  current_line = beforeLastMatch.line;
  current_column = beforeLastMatch.column;
  PRYXlloc = beforeLastMatch.span;
}

std::string PRYXYYLoc2Str(const YYLoc& loc) {
  // Four 32-bit values of at most 11 characters each, and the fixed text.
  char text[96];
  snprintf(text, sizeof text, " @ line:column %d:%d--%d:%d", loc.first_line, loc.first_column, loc.last_line,
           loc.last_column);
  return text;
}

void PRYXPrintYYLoc(const YYLoc& loc) { fprintf(stderr, "%s\n", PRYXYYLoc2Str(loc).c_str()); }

int PRYXerror(const char* message) {
  fprintf(stderr, "\n\tError: %s", message);
  PRYXPrintYYLoc(PRYXlloc);
  return -1;
}

void PRYXResetLocation() {
  current_line = 1;
  current_column = 0;
  PRYXlloc = YYLoc{};
  beforeLastMatch = {};
}

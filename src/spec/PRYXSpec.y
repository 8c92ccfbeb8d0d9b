%{
// Placeholder grammar until the model reader lands.
#include <cstdio>
#include "spec/parse.h"
int PRYXlex();
int PRYXerror(const char*);
%}

%token STPN
%%
model: STPN ;
%%
int ParseSpecFile(const char* path) {
  fprintf(stderr, "\n\tError: Failed to open file %s to read.\n", path);
  return 1;
}

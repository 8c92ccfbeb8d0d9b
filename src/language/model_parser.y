/* The model file's grammar. Each action runs as soon as its rule is recognised, so the
   model grows in the order of the text: places and transitions are created where their
   names first appear, and each clause takes effect before the next one is read. The parser
   checks syntax only; doubtful values are reported on standard error and kept. */

%code requires {
#include "language/location.h"
#include "net/net.h"
#include "language/reader.h"

// Symbols carry our own SourceSpan. Declaring it trivial lets bison's C skeleton, compiled as
// C++, grow its stack past the first 200 entries.
#define YYLTYPE zelbo::SourceSpan
#define YYLTYPE_IS_DECLARED 1
#define YYLTYPE_IS_TRIVIAL 1
// A symbol spans from the start of its first part to the end of its last; an empty one
// starts and ends where the symbol before it ended.
#define YYLLOC_DEFAULT(Current, Rhs, N)                                            \
  do {                                                                             \
    if (N) {                                                                       \
      (Current).firstLine = YYRHSLOC(Rhs, 1).firstLine;                            \
      (Current).firstColumn = YYRHSLOC(Rhs, 1).firstColumn;                        \
      (Current).lastLine = YYRHSLOC(Rhs, N).lastLine;                              \
      (Current).lastColumn = YYRHSLOC(Rhs, N).lastColumn;                          \
    } else {                                                                       \
      (Current).firstLine = (Current).lastLine = YYRHSLOC(Rhs, 0).lastLine;        \
      (Current).firstColumn = (Current).lastColumn = YYRHSLOC(Rhs, 0).lastColumn;  \
    }                                                                              \
  } while (0)

typedef void* yyscan_t;
}

%{
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "base/wrap.h"
#include "delay/delay.h"
#include "net/build.h"
#include "zelbo/error.h"

using namespace zelbo;

// The parse stack starts at 200 entries and doubles up to 10000. `body` nests to the
// right, so every statement read stays on the stack until the end of the file: this bounds
// a file to some 10000 statements.
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
// A grown stack belongs to the read's context, which frees it even when an error is thrown
// out of the parser.
#define YYMALLOC(bytes) ctx.allocateStack(bytes)
#define YYFREE(block) ctx.releaseStack(block)

namespace {
// The tool's wording of the parser's two own messages.
const char* parserMessage(const char* bisonText) {
  if (strcmp(bisonText, "syntax error") == 0) return "parse error";
  if (strcmp(bisonText, "memory exhausted") == 0) return "parser stack overflow";
  return bisonText;
}
}  // namespace
#define YY_(Msgid) parserMessage(Msgid)
%}

%code {
int model_lex(YYSTYPE* value, SourceSpan* loc, yyscan_t scanner);

// "\n\tError: %s" and the location of the last match, to the diagnostics stream.
void model_error(SourceSpan* loc, yyscan_t, ParseContext& ctx, const char* message) {
  fprintf(ctx.diagnostics, "\n\tError: %s", message);
  printSpan(ctx.diagnostics, *loc);
}

namespace {

// The place of a place statement, or none when an earlier statement gave it arcs,
// in which case every clause of this statement is skipped.
Place* beginPlaceStatement(ParseContext& ctx, const char* name, const SourceSpan& nameLoc) {
  Place* place = findOrAddPlace(&ctx.net, name);
  if (place->preset.empty() && place->poset.empty()) return place;
  fprintf(ctx.diagnostics, "\n\tError: Connection of place %s redefined %s. Use the previous definition.\n",
          place->name.c_str(), spanText(nameLoc).c_str());
  return nullptr;
}

TransNode* newTransNode(ParseContext& ctx, const char* name) {
  return &ctx.nodes.emplace_back(TransNode{1.0, findOrAddTransition(&ctx.net, name)});
}

TransIdList* newTransIdList(ParseContext& ctx, const TransNode& first) {
  TransIdList& list = ctx.lists.emplace_back();
  appendUnlessListed(list, first, ctx.diagnostics);
  return &list;
}

// A clause's list is copied into the place; its memory is not needed any longer.
void dropTransIdList(TransIdList* list) { *list = TransIdList{}; }

void warnBracketProb(ParseContext& ctx, double value, const SourceSpan& loc) {
  fprintf(ctx.diagnostics, "\n\tWarning: Invalid probability value '%g'", value);
  printSpan(ctx.diagnostics, loc);
}

void warnBracketProb(ParseContext& ctx, int value, const SourceSpan& loc) {
  fprintf(ctx.diagnostics, "\n\tWarning: Invalid probability value '%d'", value);
  printSpan(ctx.diagnostics, loc);
}

void warnUnsafeMarking(ParseContext& ctx, int count, const SourceSpan& loc) {
  fprintf(ctx.diagnostics, "\n\tWarning: PRYX Solver supports only safe nets.");
  fprintf(ctx.diagnostics, "\n\t         Initial marking value %d", count);
  printSpan(ctx.diagnostics, loc);
}

DelaySpec* newDelaySpec(ParseContext& ctx, DelayType type, float location, float scale) {
  ctx.pendingDelay = std::make_unique<DelaySpec>();
  DelaySpec* spec = ctx.pendingDelay.get();
  spec->type = type;
  spec->location = location;
  spec->scale = scale;
  return spec;
}

CustomValueNode* pushProbElem(ParseContext& ctx, float value) {
  return &ctx.probElems.emplace_back(CustomValueNode{value, nullptr});
}

// The list runs newest first; filling the array from its last slot restores file order.
void copyProbList(DelaySpec* spec, const CustomValueNode* newestFirst) {
  int count = 0;
  for (const CustomValueNode* elem = newestFirst; elem; elem = elem->next) ++count;
  spec->count = count;
  spec->probs.assign(count, 0.0);
  int slot = count;
  for (const CustomValueNode* elem = newestFirst; elem; elem = elem->next) spec->probs[--slot] = elem->value;
}

// A delay statement: the newest delay of a place wins; a replaced one stays with the net, unused.
void attachPendingDelay(ParseContext& ctx, Place* place, const SourceSpan& distLoc) {
  if (place->delaySpec) {
    fprintf(ctx.diagnostics, "\n\tWARNING: Multiple delay spec's for place %s", place->name.c_str());
    printSpan(ctx.diagnostics, distLoc);
    fprintf(ctx.diagnostics, "\n\t         Retaining the last delay spec.\n");
  }
  attachDelaySpec(&ctx.net, place, std::move(ctx.pendingDelay));
}

// A target statement: the first target of the file is the model's; a later one is reported and only
// serves the rest of its own statement.
TargetPair* newTarget(ParseContext& ctx, Trans* source, Trans* destination, int separation, const SourceSpan& sourceLoc) {
  const TargetPair pair{source, destination, separation, 0};
  if (!ctx.net.target) return addTargetPair(&ctx.net, pair);
  fprintf(ctx.diagnostics, "\n\tWarning: PRYX Solver handles only one target TSE pair.");
  fprintf(ctx.diagnostics, "\n\t         Ignoring the requested TSE");
  printSpan(ctx.diagnostics, sourceLoc);
  return &ctx.ignoredTargets.emplace_back(pair);
}

// ".lb": the lower bound from a to b at separation k is asked as the mirrored upper bound
// from b to a at separation -k.
TargetPair* mirrorForLowerBound(TargetPair* pair) {
  pair->lowerBound = 1;
  pair->separation = wrapNeg(pair->separation);
  std::swap(pair->source, pair->destination);
  return pair;
}

}  // namespace
}

%define api.pure full
%param {yyscan_t scanner}
%parse-param {zelbo::ParseContext& ctx}
%define api.token.prefix {TOK_}
%locations
%expect 0

/* Nothing has been matched when a parse starts. */
%initial-action { @$ = SourceSpan{}; }

%union {
  int ival;
  float fval;
  const char* text;
  zelbo::Place* place;
  zelbo::TransNode* node;
  zelbo::TransIdList* list;
  zelbo::DelaySpec* delay;
  zelbo::TargetPair* pair;
  zelbo::CustomValueNode* probs;
}

%token UNI 257 FIX 258 EXP 259 BET 260 GEO 261 BIN 262 CUS 263
%token <ival> INT 264
%token <fval> FLOAT 265
%token <text> ID 266
%token DELAY 267 PRESET 268 POSET 269 STPN 270 MARK 271 TSE 272 PLACE_TOK 273
%token LPA 274 RPA 275 LBR 276 RBR 277 LCB 278 RCB 279 LB 280 UB 281

%type <ival> place_mark
%type <fval> prob location scale param
%type <place> place_id place_connection delay_place place_delay
%type <node> trans_id
%type <list> trans_id_list bracket_trans_id_list place_preset place_poset
%type <delay> delay_dist uni_dist fix_dist geo_dist exp_dist bin_dist bet_dist cus_dist
%type <pair> tse_triple tse
%type <probs> prob_list prob_list_elem

%start model

%%

model: header body ;

header: STPN ID { ctx.net.name = std::string($2); } ;

body: place_connection body
    | place_delay body
    | tse body
    | place_connection
    | place_delay
    | tse
    ;

tse: tse LB { $$ = mirrorForLowerBound($1); }
   | tse UB { $$ = $1; }
   | TSE LPA tse_triple RPA { $$ = $3; }
   ;

tse_triple: trans_id trans_id INT { $$ = newTarget(ctx, $1->trans, $2->trans, $3, @1); } ;

place_connection: place_connection place_poset {
                    if ($1) replacePlacePoset(&ctx.net, $1, $2->nodes);
                    dropTransIdList($2);
                    $$ = $1;
                  }
                | place_connection place_preset {
                    if ($1) replacePlacePreset(&ctx.net, $1, $2->nodes);
                    dropTransIdList($2);
                    $$ = $1;
                  }
                | place_connection place_mark {
                    if ($1) markInitially(&ctx.net, $1, $2);
                    $$ = $1;
                  }
                | place_id { $$ = $1; }
                ;

place_id: PLACE_TOK ID { $$ = beginPlaceStatement(ctx, $2, @2); } ;

place_preset: PRESET bracket_trans_id_list { $$ = $2; } ;

place_poset: POSET bracket_trans_id_list { $$ = $2; } ;

bracket_trans_id_list: LCB trans_id_list RCB { $$ = $2; } ;

trans_id_list: trans_id_list trans_id { appendUnlessListed(*$1, *$2, ctx.diagnostics); $$ = $1; }
             | trans_id { $$ = newTransIdList(ctx, *$1); }
             ;

trans_id: trans_id prob { $1->prob = $2; $$ = $1; }
        | ID { $$ = newTransNode(ctx, $1); }
        ;

prob: LBR FLOAT RBR {
        if ($2 > 1) warnBracketProb(ctx, static_cast<double>($2), @2);
        $$ = $2;
      }
    | LBR INT RBR {
        if ($2 > 1) warnBracketProb(ctx, $2, @2);
        $$ = static_cast<float>($2);
      }
    ;

place_mark: MARK INT {
              if ($2 > 1) warnUnsafeMarking(ctx, $2, @2);
              $$ = $2;
            }
          | MARK { $$ = 1; }
          ;

place_delay: delay_place delay_dist { attachPendingDelay(ctx, $1, @2); $$ = $1; } ;

delay_place: DELAY ID { $$ = findOrAddPlace(&ctx.net, $2); } ;

delay_dist: uni_dist { $$ = $1; }
          | geo_dist { $$ = $1; }
          | exp_dist { $$ = $1; }
          | bin_dist { $$ = $1; }
          | bet_dist { $$ = $1; }
          | cus_dist { $$ = $1; }
          | fix_dist { $$ = $1; }
          ;

uni_dist: UNI location scale { $$ = newDelaySpec(ctx, DelayType::UNI, $2, $3); } ;

fix_dist: FIX location { $$ = newDelaySpec(ctx, DelayType::FIX, $2, 0.0f); } ;

geo_dist: GEO location scale param {
            $$ = newDelaySpec(ctx, DelayType::GEO, $2, $3);
            $$->prob = $4;
          }
        ;

exp_dist: EXP location scale param {
            $$ = newDelaySpec(ctx, DelayType::EXP, $2, $3);
            $$->lambda = $4;
          }
        ;

bin_dist: BIN location scale INT param {
            $$ = newDelaySpec(ctx, DelayType::BIN, $2, $3);
            $$->count = $4;
            $$->prob = $5;
            $$->quantiles = binomialQuantiles($4, static_cast<double>($5), ctx.diagnostics);
          }
        ;

bet_dist: BET location scale param param {
            $$ = newDelaySpec(ctx, DelayType::BET, $2, $3);
            $$->alpha = $4;
            $$->beta = $5;
            $$->quantiles = betaQuantiles(static_cast<double>($4), static_cast<double>($5), ctx.diagnostics);
          }
        ;

cus_dist: CUS location scale prob_list {
            $$ = newDelaySpec(ctx, DelayType::CUS, $2, $3);
            copyProbList($$, $4);
          }
        ;

prob_list: prob_list prob_list_elem { $2->next = $1; $$ = $2; }
         | prob_list_elem { $$ = $1; }
         ;

prob_list_elem: FLOAT {
                  if ($1 > 1)
                    fprintf(ctx.diagnostics, "\n\tWarning: Invalid probability value '%g' in spec.", static_cast<double>($1));
                  $$ = pushProbElem(ctx, $1);
                }
              | INT {
                  const float value = static_cast<float>($1);
                  if ($1 > 1)
                    fprintf(ctx.diagnostics, "\t\nWarning: Invalid probability value '%g' in spec.", static_cast<double>(value));
                  $$ = pushProbElem(ctx, value);
                }
              ;

scale: FLOAT { $$ = $1; }
     | INT { $$ = static_cast<float>($1); }
     ;

location: FLOAT { $$ = $1; }
        | INT { $$ = static_cast<float>($1); }
        ;

param: FLOAT { $$ = $1; }
     | INT { $$ = static_cast<float>($1); }
     ;

%%

namespace zelbo {

void* ParseContext::allocateStack(std::size_t bytes) {
  return stackBlocks.emplace_back(std::make_unique<char[]>(bytes)).get();
}

void ParseContext::releaseStack(void* block) {
  for (auto& owned : stackBlocks)
    if (owned.get() == block) {
      owned.reset();
      return;
    }
}

namespace {

// Parses `input` into `net`; `name` stands for the file in the closing message.
void parseModel(Net& net, FILE* input, const char* name, FILE* diagnostics) {
  ParseContext ctx(net, diagnostics);
  ModelScanner scanner(input, ctx);
  const int status = model_parse(scanner.handle(), ctx);
  if (status != 0)
    throw Error(formatText("\n\tError: Failed to parse %s.\n", name), 1, Error::Kind::model);
  prepareFiring(net);
}

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

void parseModelFile(Net& net, const char* path, FILE* diagnostics) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path, "r"));
  if (!file) throw Error(formatText("\n\tError: Failed to open file %s to read.\n", path), 1, Error::Kind::model);
  parseModel(net, file.get(), path, diagnostics);
}

void parseModelText(Net& net, std::string_view text, const char* name, FILE* diagnostics) {
  // A stream over the text, so that it is scanned exactly as a file of that content.
  char none = '\0';  // an empty text still needs a buffer to stand on
  char* data = text.empty() ? &none : const_cast<char*>(text.data());
  std::unique_ptr<FILE, FileCloser> file(fmemopen(data, text.size(), "r"));
  if (!file) throw std::bad_alloc();
  parseModel(net, file.get(), name, diagnostics);
}

}  // namespace zelbo

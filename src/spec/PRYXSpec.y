/* The model file's grammar. Each action runs as soon as its rule is recognised, so the
   model grows in the order of the text: places and transitions are created where their
   names first appear, and each clause takes effect before the next one is read. The parser
   checks syntax only; doubtful values are reported on standard error and kept. */

%code requires {
#include "spec/PRYXYYLoc.h"
#include "spec/net.h"
#include "spec/util.h"

struct DelaySpec;
struct ProbListElem;

// Symbols carry our own YYLoc. Declaring it trivial lets bison's C skeleton, compiled as
// C++, grow its stack past the first 200 entries.
#define YYLTYPE YYLoc
#define YYLTYPE_IS_DECLARED 1
#define YYLTYPE_IS_TRIVIAL 1
}

%{
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>

#include "delay/delay.h"
#include "driver/globals.h"
#include "spec/parse.h"
#include "spec/read.h"

int PRYXlex();
int PRYXlex_destroy();
extern FILE* PRYXin;

// The parse stack starts at 200 entries and doubles up to 10000. `body` nests to the
// right, so every statement read stays on the stack until the end of the file: this bounds
// a file to some 10000 statements.
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

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
// One value of a custom distribution; the list runs newest first.
struct ProbListElem {
  float value;
  ProbListElem* next;
};

namespace {

// Records that serve only while one file is read; the model keeps copies or nothing.
struct ParseStorage {
  std::deque<TransNode> nodes;
  std::deque<TransIdList> lists;
  std::deque<ProbListElem> probElems;
  std::deque<TransPair> ignoredTargets;     // targets after the first
  std::unique_ptr<DelaySpec> pendingDelay;  // built, not yet attached to its place
};
ParseStorage parseStorage;

void releaseParseStorage() { parseStorage = ParseStorage{}; }

// The file ParseSpecFile opened; a run reads it once and leaves it open.
FILE* modelFile = nullptr;

// The place of a place statement, or none when an earlier statement gave it arcs,
// in which case every clause of this statement is skipped.
Place* beginPlaceStatement(const char* name, const YYLoc& nameLoc) {
  Place* place = MustGetPlace(gNet, name);
  if (place->preset.empty() && place->poset.empty()) return place;
  fprintf(stderr, "\n\tError: Connection of place %s redefined %s. Use the previous definition.\n",
          place->name.c_str(), PRYXYYLoc2Str(nameLoc).c_str());
  return nullptr;
}

TransNode* newTransNode(const char* name) {
  return &parseStorage.nodes.emplace_back(TransNode{1.0, MustGetTrans(gNet, name)});
}

TransIdList* newTransIdList(const TransNode& first) {
  TransIdList& list = parseStorage.lists.emplace_back();
  AppendTransListIfNotFound(list, first);
  return &list;
}

// A clause's list is copied into the place; its memory is not needed any longer.
void dropTransIdList(TransIdList* list) { *list = TransIdList{}; }

void warnBracketProb(double value, const YYLoc& loc) {
  fprintf(stderr, "\n\tWarning: Invalid probability value '%g'", value);
  PRYXPrintYYLoc(loc);
}

void warnBracketProb(int value, const YYLoc& loc) {
  fprintf(stderr, "\n\tWarning: Invalid probability value '%d'", value);
  PRYXPrintYYLoc(loc);
}

void warnUnsafeMarking(int count, const YYLoc& loc) {
  fprintf(stderr, "\n\tWarning: PRYX Solver supports only safe nets.");
  fprintf(stderr, "\n\t         Initial marking value %d", count);
  PRYXPrintYYLoc(loc);
}

DelaySpec* newDelaySpec(DelayType type, float location, float scale) {
  parseStorage.pendingDelay = std::make_unique<DelaySpec>();
  DelaySpec* spec = parseStorage.pendingDelay.get();
  spec->type = type;
  spec->location = location;
  spec->scale = scale;
  return spec;
}

ProbListElem* pushProbElem(float value) {
  return &parseStorage.probElems.emplace_back(ProbListElem{value, nullptr});
}

// The list runs newest first; filling the array from its last slot restores file order.
void copyProbList(DelaySpec* spec, const ProbListElem* newestFirst) {
  int count = 0;
  for (const ProbListElem* elem = newestFirst; elem; elem = elem->next) ++count;
  spec->count = count;
  spec->probs.assign(count, 0.0);
  int slot = count;
  for (const ProbListElem* elem = newestFirst; elem; elem = elem->next) spec->probs[--slot] = elem->value;
}

// A delay statement: the newest delay of a place wins; a replaced one stays with the net, unused.
void attachPendingDelay(Place* place, const YYLoc& distLoc) {
  if (place->delaySpec) {
    fprintf(stderr, "\n\tWARNING: Multiple delay spec's for place %s", place->name.c_str());
    PRYXPrintYYLoc(distLoc);
    fprintf(stderr, "\n\t         Retaining the last delay spec.\n");
  }
  attachDelaySpec(gNet, place, std::move(parseStorage.pendingDelay));
}

// A target statement: the first target of the file is the model's; a later one is reported and only
// serves the rest of its own statement.
TransPair* newTarget(Trans* source, Trans* destination, int separation, const YYLoc& sourceLoc) {
  const TransPair pair{source, destination, separation, 0};
  if (!gTargetTransPair) {
    gTargetTransPair = gNet->targetPairs.emplace_back(std::make_unique<TransPair>(pair)).get();
    return gTargetTransPair;
  }
  fprintf(stderr, "\n\tWarning: PRYX Solver handles only one target TSE pair.");
  fprintf(stderr, "\n\t         Ignoring the requested TSE");
  PRYXPrintYYLoc(sourceLoc);
  return &parseStorage.ignoredTargets.emplace_back(pair);
}

// ".lb": the lower bound from a to b at separation k is asked as the mirrored upper bound
// from b to a at separation -k.
TransPair* mirrorForLowerBound(TransPair* pair) {
  pair->lowerBound = 1;
  pair->separation = wrapNeg(pair->separation);
  std::swap(pair->source, pair->destination);
  return pair;
}

}  // namespace
}

%define parse.trace
%define api.token.prefix {TOK_}
%locations
%expect 0

/* Nothing has been matched when a parse starts. */
%initial-action { @$ = YYLoc{}; }

%union {
  int ival;
  float fval;
  const char* text;
  Place* place;
  TransNode* node;
  TransIdList* list;
  DelaySpec* delay;
  TransPair* pair;
  ProbListElem* probs;
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

header: STPN ID { gNet->name = PRYXDupStr($2); } ;

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

tse_triple: trans_id trans_id INT { $$ = newTarget($1->trans, $2->trans, $3, @1); } ;

place_connection: place_connection place_poset {
                    if ($1) replacePlacePoset($1, $2->nodes);
                    dropTransIdList($2);
                    $$ = $1;
                  }
                | place_connection place_preset {
                    if ($1) replacePlacePreset($1, $2->nodes);
                    dropTransIdList($2);
                    $$ = $1;
                  }
                | place_connection place_mark {
                    if ($1) markInitPlace(gNet, $1, $2);
                    $$ = $1;
                  }
                | place_id { $$ = $1; }
                ;

place_id: PLACE_TOK ID { $$ = beginPlaceStatement($2, @2); } ;

place_preset: PRESET bracket_trans_id_list { $$ = $2; } ;

place_poset: POSET bracket_trans_id_list { $$ = $2; } ;

bracket_trans_id_list: LCB trans_id_list RCB { $$ = $2; } ;

trans_id_list: trans_id_list trans_id { AppendTransListIfNotFound(*$1, *$2); $$ = $1; }
             | trans_id { $$ = newTransIdList(*$1); }
             ;

trans_id: trans_id prob { $1->prob = $2; $$ = $1; }
        | ID { $$ = newTransNode($1); }
        ;

prob: LBR FLOAT RBR {
        if ($2 > 1) warnBracketProb(static_cast<double>($2), @2);
        $$ = $2;
      }
    | LBR INT RBR {
        if ($2 > 1) warnBracketProb($2, @2);
        $$ = static_cast<float>($2);
      }
    ;

place_mark: MARK INT {
              if ($2 > 1) warnUnsafeMarking($2, @2);
              $$ = $2;
            }
          | MARK { $$ = 1; }
          ;

place_delay: delay_place delay_dist { attachPendingDelay($1, @2); $$ = $1; } ;

delay_place: DELAY ID { $$ = MustGetPlace(gNet, $2); } ;

delay_dist: uni_dist { $$ = $1; }
          | geo_dist { $$ = $1; }
          | exp_dist { $$ = $1; }
          | bin_dist { $$ = $1; }
          | bet_dist { $$ = $1; }
          | cus_dist { $$ = $1; }
          | fix_dist { $$ = $1; }
          ;

uni_dist: UNI location scale { $$ = newDelaySpec(DelayType::UNI, $2, $3); } ;

fix_dist: FIX location { $$ = newDelaySpec(DelayType::FIX, $2, 0.0f); } ;

geo_dist: GEO location scale param {
            $$ = newDelaySpec(DelayType::GEO, $2, $3);
            $$->prob = $4;
          }
        ;

exp_dist: EXP location scale param {
            $$ = newDelaySpec(DelayType::EXP, $2, $3);
            $$->lambda = $4;
          }
        ;

bin_dist: BIN location scale INT param {
            $$ = newDelaySpec(DelayType::BIN, $2, $3);
            $$->count = $4;
            $$->prob = $5;
            $$->quantiles = generateBin($4, static_cast<double>($5));
          }
        ;

bet_dist: BET location scale param param {
            $$ = newDelaySpec(DelayType::BET, $2, $3);
            $$->alpha = $4;
            $$->beta = $5;
            $$->quantiles = generateBeta(static_cast<double>($4), static_cast<double>($5));
          }
        ;

cus_dist: CUS location scale prob_list {
            $$ = newDelaySpec(DelayType::CUS, $2, $3);
            copyProbList($$, $4);
          }
        ;

prob_list: prob_list prob_list_elem { $2->next = $1; $$ = $2; }
         | prob_list_elem { $$ = $1; }
         ;

prob_list_elem: FLOAT {
                  if ($1 > 1)
                    fprintf(stderr, "\n\tWarning: Invalid probability value '%g' in spec.", static_cast<double>($1));
                  $$ = pushProbElem($1);
                }
              | INT {
                  const float value = static_cast<float>($1);
                  if ($1 > 1)
                    fprintf(stderr, "\t\nWarning: Invalid probability value '%g' in spec.", static_cast<double>(value));
                  $$ = pushProbElem(value);
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

int ParseSpecFile(const char* path) {
  PRYXdebug = 0;
  FILE* file = fopen(path, "r");
  if (!file) {
    fprintf(stderr, "\n\tError: Failed to open file %s to read.\n", path);
    return 1;
  }
  modelFile = file;
  PRYXin = file;
  const int status = PRYXparse();
  releaseParseStorage();
  if (status != 0) {
    fprintf(stderr, "\n\tError: Failed to parse %s.\n", path);
    return 1;
  }
  return 0;
}

void PRYXResetReader() {
  PRYXlex_destroy();
  PRYXResetLocation();
  releaseParseStorage();
  if (modelFile) {
    fclose(modelFile);
    modelFile = nullptr;
  }
}

/* The model file's grammar. Each action runs as soon as its rule is recognised, so the
   model grows in the order of the text: places and transitions are created where their
   names first appear, and each clause takes effect before the next one is read. The parser
   checks syntax only; doubtful values are reported as diagnostics and kept. */

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

#include "base/format.h"
#include "base/texts.h"
#include "base/wrap.h"
#include "delay/delay.h"
#include "net/build.h"
#include "net/target.h"
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
  if (strcmp(bisonText, "syntax error") == 0) return text::kParseError;
  if (strcmp(bisonText, "memory exhausted") == 0) return text::kParserStackOverflow;
  return bisonText;
}
}  // namespace
#define YY_(Msgid) parserMessage(Msgid)
%}

%code {
int model_lex(YYSTYPE* value, SourceSpan* loc, yyscan_t scanner);

// A syntax error at the last match.
void model_error(SourceSpan* loc, yyscan_t, ParseContext& ctx, const char* message) {
  ctx.diagnose(Diagnostic::Severity::error, Diagnostic::Code::syntaxError, message, loc);
}

namespace {

using Severity = Diagnostic::Severity;
using Code = Diagnostic::Code;

// The place of a place statement, or none when an earlier statement gave it arcs,
// in which case every clause of this statement is skipped.
// The place (transition) of that name, made where the file first names it.
Place* placeNamed(ParseContext& ctx, const char* name, const SourceSpan& loc) {
  Place* place = findOrAddPlace(&ctx.net, name);
  if (place->line == 0) place->line = loc.firstLine;
  return place;
}

Trans* transitionNamed(ParseContext& ctx, const char* name, const SourceSpan& loc) {
  Trans* trans = findOrAddTransition(&ctx.net, name);
  if (trans->line == 0) trans->line = loc.firstLine;
  return trans;
}

Place* beginPlaceStatement(ParseContext& ctx, const char* name, const SourceSpan& nameLoc) {
  Place* place = placeNamed(ctx, name, nameLoc);
  if (place->preset.empty() && place->poset.empty()) return place;
  ctx.diagnose(Severity::error, Code::placeRedefined, formatted(text::kPlaceRedefined, place->name.c_str()), &nameLoc);
  return nullptr;
}

TransNode* newTransNode(ParseContext& ctx, const char* name, const SourceSpan& loc) {
  return &ctx.nodes.emplace_back(TransNode{1.0, transitionNamed(ctx, name, loc)});
}

void addToList(ParseContext& ctx, TransIdList& list, const TransNode& node) {
  if (!appendUnlessListed(list, node))
    ctx.diagnose(Severity::warning, Code::transitionListedTwice,
                 formatted(text::kTransitionDuplicated, node.trans->name.c_str()), nullptr);
}

TransIdList* newTransIdList(ParseContext& ctx, const TransNode& first) {
  TransIdList& list = ctx.lists.emplace_back();
  addToList(ctx, list, first);
  return &list;
}

// A clause's list is copied into the place; its memory is not needed any longer.
void dropTransIdList(TransIdList* list) { *list = TransIdList{}; }

void warnBracketProb(ParseContext& ctx, double value, const SourceSpan& loc) {
  ctx.diagnose(Severity::warning, Code::probabilityAboveOne, formatted(text::kProbabilityValue, value), &loc);
}

void warnBracketProb(ParseContext& ctx, int value, const SourceSpan& loc) {
  ctx.diagnose(Severity::warning, Code::probabilityAboveOne, formatted(text::kWholeProbabilityValue, value), &loc);
}

void warnUnsafeMarking(ParseContext& ctx, int count, const SourceSpan& loc) {
  ctx.diagnose(Severity::warning, Code::unsafeMarking, text::kOnlySafeNets, &loc,
               {formatted(text::kInitialMarkingValue, count)});
}

void warnCustomValue(ParseContext& ctx, float value, bool whole) {
  ctx.diagnose(Severity::warning, whole ? Code::customWholeValueAboveOne : Code::customValueAboveOne,
               formatted(text::kCustomProbabilityValue, static_cast<double>(value)), nullptr);
}

DelaySpec* newDelaySpec(ParseContext& ctx, DelayType type, float location, float scale) {
  ctx.pendingDelay = std::make_unique<DelaySpec>();
  DelaySpec* spec = ctx.pendingDelay.get();
  spec->type = type;
  spec->location = location;
  spec->scale = scale;
  return spec;
}

// A table that could not be completed is reported and kept: the checks do not look at it.
void warnIfNotInverted(ParseContext& ctx, bool inverted, Code code) {
  if (inverted) return;
  ctx.diagnose(Severity::error, code,
               code == Code::binomialNotInverted ? text::kBinomialNotInverted : text::kBetaNotInverted, nullptr);
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
  if (place->delaySpec)
    ctx.diagnose(Severity::warning, Code::delayRedefined, formatted(text::kMultipleDelays, place->name.c_str()),
                 &distLoc, {text::kRetainingLastDelay});
  attachDelaySpec(&ctx.net, place, std::move(ctx.pendingDelay));
}

// A target statement: the first target of the file is the model's; a later one is reported and only
// serves the rest of its own statement.
TargetPair* newTarget(ParseContext& ctx, Trans* source, Trans* destination, int separation, const SourceSpan& sourceLoc) {
  const TargetPair pair = targetPair(source, destination, separation, 0);
  if (!ctx.net.target) return addTargetPair(&ctx.net, pair);
  ctx.diagnose(Severity::warning, Code::targetIgnored, text::kOnlyOneTarget, &sourceLoc, {text::kIgnoringTarget});
  return &ctx.ignoredTargets.emplace_back(pair);
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

tse: tse LB { *$1 = lowerBoundPair(*$1); $$ = $1; }
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

trans_id_list: trans_id_list trans_id { addToList(ctx, *$1, *$2); $$ = $1; }
             | trans_id { $$ = newTransIdList(ctx, *$1); }
             ;

trans_id: trans_id prob { $1->prob = $2; $$ = $1; }
        | ID { $$ = newTransNode(ctx, $1, @1); }
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

delay_place: DELAY ID { $$ = placeNamed(ctx, $2, @2); } ;

delay_dist: uni_dist { $$ = $1; }
          | geo_dist { $$ = $1; }
          | exp_dist { $$ = $1; }
          | bin_dist { $$ = $1; }
          | bet_dist { $$ = $1; }
          | cus_dist { $$ = $1; }
          | fix_dist { $$ = $1; }
          ;

uni_dist: UNI location scale { $$ = newDelaySpec(ctx, DelayType::uniform, $2, $3); } ;

fix_dist: FIX location { $$ = newDelaySpec(ctx, DelayType::fixed, $2, 0.0f); } ;

geo_dist: GEO location scale param {
            $$ = newDelaySpec(ctx, DelayType::geometric, $2, $3);
            $$->prob = $4;
          }
        ;

exp_dist: EXP location scale param {
            $$ = newDelaySpec(ctx, DelayType::exponential, $2, $3);
            $$->lambda = $4;
          }
        ;

bin_dist: BIN location scale INT param {
            $$ = newDelaySpec(ctx, DelayType::binomial, $2, $3);
            $$->count = $4;
            $$->prob = $5;
            bool inverted = true;
            $$->quantiles = binomialQuantiles($4, static_cast<double>($5), &inverted);
            warnIfNotInverted(ctx, inverted, Code::binomialNotInverted);
          }
        ;

bet_dist: BET location scale param param {
            $$ = newDelaySpec(ctx, DelayType::beta, $2, $3);
            $$->alpha = $4;
            $$->beta = $5;
            bool inverted = true;
            $$->quantiles = betaQuantiles(static_cast<double>($4), static_cast<double>($5), &inverted);
            warnIfNotInverted(ctx, inverted, Code::betaNotInverted);
          }
        ;

cus_dist: CUS location scale prob_list {
            $$ = newDelaySpec(ctx, DelayType::custom, $2, $3);
            copyProbList($$, $4);
          }
        ;

prob_list: prob_list prob_list_elem { $2->next = $1; $$ = $2; }
         | prob_list_elem { $$ = $1; }
         ;

prob_list_elem: FLOAT {
                  if ($1 > 1) warnCustomValue(ctx, $1, false);
                  $$ = pushProbElem(ctx, $1);
                }
              | INT {
                  const float value = static_cast<float>($1);
                  if ($1 > 1) warnCustomValue(ctx, value, true);
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
void parseModel(Net& net, FILE* input, const std::string& name, const DiagnosticHandler& report,
                bool annotations = false) {
  ParseContext ctx(net, name, report);
  ctx.annotations = annotations;
  ModelScanner scanner(input, ctx);
  const int status = model_parse(scanner.handle(), ctx);
  if (status != 0) throw Error(Error::Kind::model, formatted(text::kFailedToParse, name.c_str()));
  prepareFiring(net);
}

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

void ParseContext::diagnose(Diagnostic::Severity severity, Diagnostic::Code code, std::string message,
                            const SourceSpan* span, std::vector<std::string> notes) {
  if (!report) return;
  Diagnostic d{severity, code, std::move(message), std::move(notes), std::nullopt};
  if (span) d.location = locationOf(*span, file);
  report(d);
}

void parseModelFile(Net& net, const std::string& path, const DiagnosticHandler& report) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "r"));
  if (!file) throw Error(Error::Kind::model, formatted(text::kFailedToOpen, path.c_str()));
  parseModel(net, file.get(), path, report);
}

void parseAnnotationFile(Net& net, const std::string& path, const DiagnosticHandler& report) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "r"));
  if (!file) throw Error(Error::Kind::model, formatted(text::kFailedToOpen, path.c_str()));
  parseModel(net, file.get(), path, report, true);
}

namespace {

// A stream over the text, so that it is scanned exactly as a file of that content.
void parseText(Net& net, std::string_view text, const std::string& name, const DiagnosticHandler& report,
               bool annotations) {
  char none = '\0';  // an empty text still needs a buffer to stand on
  char* data = text.empty() ? &none : const_cast<char*>(text.data());
  std::unique_ptr<FILE, FileCloser> file(fmemopen(data, text.size(), "r"));
  if (!file) throw std::bad_alloc();
  parseModel(net, file.get(), name, report, annotations);
}

}  // namespace

void parseModelText(Net& net, std::string_view text, const std::string& name, const DiagnosticHandler& report) {
  parseText(net, text, name, report, false);
}

void parseAnnotationText(Net& net, std::string_view text, const std::string& name, const DiagnosticHandler& report) {
  parseText(net, text, name, report, true);
}

}  // namespace zelbo

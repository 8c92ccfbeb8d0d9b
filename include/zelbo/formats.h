// Models of other formats, what a user adds to them, and models written out and drawn.
//
// Model::readFile and readModel read three languages, told apart by the file's content (the
// extension decides only for content of none of these forms):
//   - zelbo's own model language (the first statement is .stpn);
//   - signal transition graphs in the .g text format (the first directive is a .g keyword);
//   - PNML place/transition nets (an XML document with a <pnml> root).
// A .g or PNML net is built directly into a model. Its names become identifiers of the model
// language by one mapping (import/names.h). What those formats lack gets a default that lets
// the net run at once: places without a delay get ".fix 1" (or ReadOptions::defaultDelay),
// every branch of a choice place the same probability, and a net without a target the target
// (t, t, 1) on its first transition t, whose estimate is t's average cycle time.
//
//   zelbo::ReadOptions options;
//   options.annotations = "timing.stpn";   // delays, probabilities and a target, by name
//   zelbo::Model model = zelbo::readModel("controller.g", options);
//   std::string text = zelbo::writeModel(model).text;   // reads back as the same model
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "zelbo/settings.h"
#include "zelbo/zelbo.h"

namespace zelbo {

struct ReadOptions {
  // A file in the model language (".stpn NAME" and statements) whose ".delay" statements,
  // ".poset" branch probabilities and ".tse" target apply to the model by name; empty: none.
  // A name the model does not have, arcs or a marking are errors.
  std::string annotations;
  // The delay of places that have none after the annotations, in the model language's delay
  // syntax (".fix 1", ".uni 1 2"). Empty: ".fix 1" for a .g or PNML net; nothing for a model
  // file, whose places must give their own.
  std::string defaultDelay;
  // Receives the model reader's warnings and parse errors, of the model file and of the
  // annotations, as they are found; without it they are dropped.
  DiagnosticHandler onDiagnostic;
  // Where the reader takes the content of a file it reads (the model file, the annotations):
  // the text it returns for the path is read as the file's content; without it, or when it
  // returns none, the file is opened. A run over several processes reads its files once, on
  // the first, and hands the others their bytes this way.
  std::function<std::optional<std::string>(const std::string& path)> fileSource;
};

// Reads a model file of any of the three languages and applies the options. A malformed .g or
// PNML file, or a net that cannot be analysed, is thrown as an Error whose message ends with
// "FILE:LINE: what is wrong" (status 1); a model file is read exactly as Model::readFile
// reads it.
Model readModel(const std::string& path, const ReadOptions& options);
// The same for a text held in memory; `name` stands for the file in messages and hints at its
// format by its extension.
Model readModelText(std::string_view text, const std::string& name, const ReadOptions& options);

struct WrittenModel {
  std::string text;
  std::size_t statements = 0;  // the reader of the model language reads about 9990 at most
};

// The model in zelbo's own language: reading the text back gives the same model (names, the
// order of every list of arcs, marking, delays, probabilities, target), hence the same run
// for the same seed. `source` is named in the text's first line. A model the language cannot
// write exactly is thrown as an Error that says why.
WrittenModel writeModel(const Model& model, const std::string& source = {});

// The model in Graphviz DOT: places as circles, with a token when initially marked and their
// delay beside them; transitions as bars with their names; branch probabilities on the arcs of
// choice places; the two target transitions highlighted. With `critical` (a target's figures
// from a run with Settings::criticalDelays), each place and its arcs are coloured by how
// critical it is, red for a figure above 0, blue below, the stronger the larger, with the
// figure beside the place.
std::string modelDot(const Model& model, const std::vector<Criticality>& critical = {});

// The unfolded graph of the first sample of a run with these settings and this seed (the
// model must pass its checks), in Graphviz DOT: events labelled with their transition,
// occurrence and firing time, conditions with their place and delay, each segment boxed, the
// target events highlighted. Past `nodeLimit` nodes the drawing stops and a note says so. A
// run that ends in its first unfolding is drawn as far as it got, with its message; the
// sample's traces go to the settings' streams.
std::string unfoldingDot(const Model& model, const Settings& settings, long seed, int nodeLimit = 2000);

}  // namespace zelbo

// Every text zelbo prints, in one place: the messages of its errors and of the model reader's
// diagnostics (plain: printedText() frames them), the model summary and checks, the reports,
// the traces of verbose runs and the command line's usage. Format strings are printf's. The
// odd spellings and the product's name are the tool's own and are printed as they are.
//
// What the importers of other formats say is theirs (src/import/), and what the drawings, the
// JSON record and the report page hold is their content, not printed text.
#pragma once

namespace zelbo::text {

// ---------------------------------------------------------------------------------------
// Framing of errors and diagnostics on standard error

inline constexpr char kErrorLead[] = "\n\tError: ";
inline constexpr char kErrorNoteLead[] = "\n\tError: ";
inline constexpr char kInfoNoteLead[] = "\n\tInfo : ";
inline constexpr char kWarningLead[] = "\n\tWarning: ";
inline constexpr char kShoutedWarningLead[] = "\n\tWARNING: ";
inline constexpr char kSwappedWarningLead[] = "\t\nWarning: ";
inline constexpr char kListWarningLead[] = "WARNING : ";
inline constexpr char kContinuation[] = "\n\t         ";
// A span of the model file.
inline constexpr char kSpan[] = " @ line:column %d:%d--%d:%d";

// ---------------------------------------------------------------------------------------
// Reading a model file

inline constexpr char kFailedToOpen[] = "Failed to open file %s to read.";
inline constexpr char kFailedToParse[] = "Failed to parse %s.";
inline constexpr char kParseError[] = "parse error";
inline constexpr char kParserStackOverflow[] = "parser stack overflow";
inline constexpr char kEmptyMatch[] = "The model scanner matched an empty text.";
inline constexpr char kPlaceRedefined[] = "Connection of place %s redefined";
inline constexpr char kPlaceRedefinedEnd[] = ". Use the previous definition.";
inline constexpr char kProbabilityValue[] = "Invalid probability value '%g'";
inline constexpr char kWholeProbabilityValue[] = "Invalid probability value '%d'";
inline constexpr char kCustomProbabilityValue[] = "Invalid probability value '%g' in spec.";
inline constexpr char kOnlySafeNets[] = "PRYX Solver supports only safe nets.";
inline constexpr char kInitialMarkingValue[] = "Initial marking value %d";
inline constexpr char kMultipleDelays[] = "Multiple delay spec's for place %s";
inline constexpr char kRetainingLastDelay[] = "Retaining the last delay spec.";
inline constexpr char kOnlyOneTarget[] = "PRYX Solver handles only one target TSE pair.";
inline constexpr char kIgnoringTarget[] = "Ignoring the requested TSE";
inline constexpr char kTransitionDuplicated[] = "Transition %s duplicates on list.";
inline constexpr char kBinomialNotInverted[] = "Failed to invert a binomial cdf.";
inline constexpr char kBetaNotInverted[] = "Failed to invert a beta cdf.";

// ---------------------------------------------------------------------------------------
// The model checks, on the log

inline constexpr char kSummaryModel[] = "\n\tSTPN model %s";
inline constexpr char kSummaryTransitions[] = "\n\tNumber of transitions: %d";
inline constexpr char kSummaryPlaces[] = "\n\tNumber of places: %d";
inline constexpr char kUnnamedModel[] = "(none)";
inline constexpr char kListingTransitions[] = "\n\tTransitions:";
inline constexpr char kListingPlaces[] = "\n\n\tPlaces:";
inline constexpr char kListingNode[] = "\n\t%s:";
inline constexpr char kListingPreset[] = "\n\t   preset: ";
inline constexpr char kListingPoset[] = "\n\t    poset: ";
inline constexpr char kListingName[] = "%s ";
inline constexpr char kListingBranch[] = "%s [%g] ";
inline constexpr char kListingDelayType[] = "\n\t   delay type: %d ";
inline constexpr char kListingMarked[] = "\n\n\tInitially marked places: ";
inline constexpr char kTransitionWithoutPreset[] = "\n\tWarning: Transition %s has no preset.";
inline constexpr char kTransitionWithoutPoset[] = "\n\tWarning: Transition %s has no poset.";
inline constexpr char kPlaceWithoutPreset[] = "\n\tWarning: Place %s has no preset.";
inline constexpr char kPlaceWithoutPoset[] = "\n\tWarning: Place %s has no poset.";
// A rejection: "<lead>Error: <reason><trail>".
inline constexpr char kRejection[] = "%sError: %s%s";
inline constexpr char kNonStochastic[] = "Place %s has non-stochastic choice probabilities.";
inline constexpr char kBadDelaySpec[] = "Place %s has incorrect or incomplete delay spec.";
inline constexpr char kEmptyMarking[] = "Initial marking is empty.";
inline constexpr char kNoTarget[] = "No valid target TSE spec.";
inline constexpr char kGoalUpper[] = "\n\tGoal : Upper bound average TSE(%s, %s, %d)\n";
inline constexpr char kGoalLower[] = "\n\tGoal : Lower bound average TSE(%s, %s, %d)\n";
inline constexpr char kNonLiveSource[] = "Non-live source transition %s in target TSE spec.";
inline constexpr char kNonLiveDestination[] = "Non-live destination transition %s in target TSE spec.";
inline constexpr char kModelRejected[] = "Incorrect or incomplete spec.";
inline constexpr char kTerminates[] = "PRYX Solver terminates.";
inline constexpr char kDelayTypeMismatch[] =
    "\n\tvintro internal error.\n\tPlease contact PRYX Solver support <support@zelbo.invalid>.\n";

// ---------------------------------------------------------------------------------------
// Runs: fatal conditions

inline constexpr char kOutOfMemory[] = "Out of memory.";
inline constexpr char kNotSafe[] = "Net is not 1-safe.";
inline constexpr char kNegativeTokens[] = "Negative token counter during unfolding.";
inline constexpr char kDeleteFromEmptyList[] = "Attempt to delete a transition from the empty enabled list.";
inline constexpr char kNotOnEnabledList[] = "Cannot find a transition on the enabled list.";
inline constexpr char kNoLowPriorityEnabled[] = "No low priority transition is enabled.";
inline constexpr char kLowPriorityNotEnabled[] = "A chosen low priority transition happened not in the enabledList.";
inline constexpr char kHighPriorityNotEnabled[] =
    "A chosen high-priority transition happened to be not in the enabledList.";
inline constexpr char kSegmentTooLong[] = "The net did not return to its initial marking within %d firings.";
inline constexpr char kSourceNeverFires[] = "The source transition %s did not fire within %d segments.";
inline constexpr char kDestinationNeverFires[] = "The destination transition %s did not fire within %d firings.";
inline constexpr char kTargetIllDefined[] = "The target TSE may not be well defined. Please check.";
inline constexpr char kSampledDelay[] = "Place %s sampled a delay of %g.";
inline constexpr char kSampledInError[] = "Place %s sampled in error.";
inline constexpr char kCheckDelaySpec[] = "Please check its delay spec.";
inline constexpr char kUnknownDelayType[] = "\n\tError: Unknown delay type.\n";
inline constexpr char kConfidenceTooHigh[] = "Confidence level must be below 100 percent.";
inline constexpr char kNegativeSampleIndex[] = "Negative sample index!";
inline constexpr char kReferencesMissTooOften[] =
    "The reference events did not lead to every TSE event in %d consecutive unfoldings.";
inline constexpr char kInterrupted[] = "Interrupted.";

// ---------------------------------------------------------------------------------------
// Runs: traces and information, on the diagnostics stream (and the log where said)

inline constexpr char kSegmentStartLog[] = "\n\tStart of a segment creation.";
inline constexpr char kSegmentStart[] = "\n\tStart of a segment\n";
inline constexpr char kSegmentEndLog[] = "\n\tReturned to the initial marking. A segment created.";
inline constexpr char kSegmentEnd[] = "\n\tEnd of a segment\n";
inline constexpr char kFiringTrace[] = "\n\tInfo : Segment#%3d, firing %s w/ index %d\n";
inline constexpr char kMarkingHeading[] = "\n\tInfo: Current marking:\n";
inline constexpr char kMarkedPlace[] = "\t\t%s %s";
inline constexpr char kInitiallyMarked[] = " (im)\n";
inline constexpr char kEmptiedHeading[] = "\n\tUnmkared but initially marked places:\n";
inline constexpr char kEmptiedPlace[] = "\t\t%s\n";
inline constexpr char kReferenceMisses[] =
    "\n\tInfo : Reference event %s (id=%d) does not lead to the %d-th TSE %s: %s (id=%d)";
inline constexpr char kReferenceCounters[] = "\n\tInfo : Its reference counter = %d, but the current counter = %d";
inline constexpr char kSourceRole[] = "source";
inline constexpr char kDestinationRole[] = "destination";
inline constexpr char kBoundReachesMinusInf[] = "\n\tInfo : Estimated TSE bound reaches -Inf.\n";
inline constexpr char kBoundReachesPlusInf[] = "\n\tInfo : Estimated TSE bound reaches +Inf.\n";
inline constexpr char kInstanceNotComputed[] = "\n\tError: One TSE instance could not be correctly computed.";
inline constexpr char kSkipGrows[] = "\n\tInfo : Increasing number of leading TSE instances by %d.";
inline constexpr char kSkipIsNow[] = "\n\tInfo : The number of leading TSE instances is now : %d.";
// On the log.
inline constexpr char kRequiredSamples[] = "\n\tInfo : nprime: %d, n: %d\n";
inline constexpr char kSpread[] = "\n\tInfo : Variance %g: Deviation: %g\n";
inline constexpr char kExpectedSamples[] = "\n\tInfo : Expected samples: %d, current samples: %d\n";

// ---------------------------------------------------------------------------------------
// Reports, on the log

inline constexpr char kIntermediateHeading[] = "\n\n\t\t###Intermediate Report###\n\n";
inline constexpr char kIntermediateCpu[] = "\n\tCPU time used: %.3g seconds.";
inline constexpr char kIntermediateSegments[] = "\n\tNumber of segments unfolded: %d";
inline constexpr char kIntermediateSamples[] = "\n\tNumber of useful segments unfolded (samples): %d";
inline constexpr char kIntermediateInstances[] = "\n\tNumber of TSE instances sampled: %d";
inline constexpr char kIntermediateRequiredUnknown[] = "\n\tNumber of TSE instances to sample (expected): Not yet known.";
inline constexpr char kIntermediateRequired[] = "\n\tNumber of TSE instances to sample (expected): %lld";
inline constexpr char kIntermediateGroupSize[] = "\n\tAverage number of TSE instances within a group: %lg";
inline constexpr char kIntermediateGroupAverage[] = "\n\tAverage grouped TSE: %lg";
inline constexpr char kBoundLine[] = "\n\n\t%s bound on average TSE(%s, %s, %d) = %.5g\n";
inline constexpr char kFinalBoundLine[] = "\n\t%s bound on average TSE(%s, %s, %d) = %.5g\n";
inline constexpr char kUpper[] = "Upper";
inline constexpr char kLower[] = "Lower";
inline constexpr char kFinalHeading[] = "\n\n\t*** FINAL REPORT ***\n";
inline constexpr char kFinalEnd[] = "\n\n\t*** END OF FINAL REPORT ***\n";
inline constexpr char kFinalModel[] = "\n\tSTPN model %s specified in %s.";
inline constexpr char kFinalTransitions[] = "\n\tNumber of transitions: %d";
inline constexpr char kFinalPlaces[] = "\n\tNumber of places: %d\n";
inline constexpr char kNotCausal[] = "\n\tWarning : The the two events in the target TSE may not be causual.";
inline constexpr char kNotWellDefined[] = "\n\t          Their average TSE may not be well defined.\n";
inline constexpr char kAbsoluteMode[] = "\n\tMonte-Carlo simulation within";
inline constexpr char kAbsoluteError[] = "\n\t%g %c absolute error interval";
inline constexpr char kAbsoluteConfidence[] = " and %g %c confidence level";
inline constexpr char kRelativeMode[] = "\n\tMonte-Carlo simulation with";
inline constexpr char kRelativeError[] = "\n\t%g%c relative error interval";
inline constexpr char kRelativeConfidence[] = " and %g%c confidence level";
inline constexpr char kFinalCpu[] = "\n\n\tTotal CPU time used: %g seconds.";
inline constexpr char kFinalIterations[] = "\n\tNumber of valid iteration made: %d";
inline constexpr char kFinalSamples[] = "\n\tTotal samples used: %d";
// The final report's last line when a stop signal ended the run (SIGINT, SIGTERM).
inline constexpr char kInterruptedAfter[] = "\n\tThe run was interrupted after %d samples.";

// ---------------------------------------------------------------------------------------
// Other formats, annotations and changed models

inline constexpr char kNotADelay[] =
    "%s %s is not a delay of the model language, such as \".fix 1\" or \".uni 1 2\".";
inline constexpr char kNotOneDelay[] =
    "%s %s is not one delay of the model language, such as \".fix 1\" or \".uni 1 2\".";
inline constexpr char kDelayOutOfRange[] = "%s %s: the delay's numbers are out of range.";
inline constexpr char kDefaultDelayOption[] = "-delay";
inline constexpr char kChangedDelay[] = "Place %s: delay";
inline constexpr char kNoInputPlace[] = "transition %s has no input place: it could fire at any time, without end";
inline constexpr char kAnnotatedTransitionMissing[] = "transition %s is not in the net %s";
inline constexpr char kAnnotatedPlaceMissing[] = "place %s is not in the net %s";
inline constexpr char kAnnotationArcs[] =
    "the .preset of place %s: an annotation gives delays, probabilities and a target, not arcs.";
inline constexpr char kAnnotationMarking[] =
    "the .mark of place %s: an annotation gives delays, probabilities and a target, not a marking.";
inline constexpr char kAnnotatedNotABranch[] = "transition %s is not a branch of place %s.";
inline constexpr char kAnnotatedBranchMissing[] =
    "place %s: the branch to %s has no probability; list every branch of the place.";
inline constexpr char kUncopiableNames[] = "The model %s has names that cannot be copied.";
inline constexpr char kWrittenNamesCount[] = "The model %s has not as many places and transitions as the names given for them.";
inline constexpr char kNoSuchPlace[] = "The model %s has no place %s";
inline constexpr char kNoSuchTransition[] = "The model %s has no transition %s";
inline constexpr char kProbabilityOutOfRange[] = "Place %s: the probability of the branch to %s must lie in [0, 1].";
inline constexpr char kNotABranch[] = "Transition %s is not a branch of place %s.";
inline constexpr char kBranchTwice[] = "Place %s: the branch to %s is given twice.";
inline constexpr char kBranchMissing[] = "Place %s: the branch to %s has no probability; give every branch of the place.";

// ---------------------------------------------------------------------------------------
// Names as users write them, and targets asked by name

inline constexpr char kDidYouMean[] = "; did you mean ";
inline constexpr char kOr[] = " or ";
inline constexpr char kNoTransitionNamed[] = "transition %s is not in the net %s";
inline constexpr char kNoPlaceNamed[] = "place %s is not in the net %s";
inline constexpr char kTargetSyntax[] =
    "a target is SOURCE,DESTINATION,SEPARATION with an optional ,lb for a lower bound: %s";
inline constexpr char kTargetSeparation[] = "the separation of a target is a whole number: %s";
inline constexpr char kNoTargetsInFile[] = "the file lists no target";
inline constexpr char kFailedToReadTargets[] = "Failed to read the targets file %s: %s.";
inline constexpr char kEveryTargetHeading[] = "\n\tEvery target:\n";
inline constexpr char kEveryTargetColumns[] = "\t  %-*s  %12s  %12s  %10s\n";
inline constexpr char kEveryTargetRow[] = "\t  %-*s  %12.5g  %12.5g  %10d\n";
inline constexpr char kEveryTargetUnpaired[] = "\t  %-*s  the target events could not be paired\n";
inline constexpr char kCriticalHeading[] = "\tCritical places of %s:\n";
inline constexpr char kCriticalColumns[] = "\t  %-*s  %12s  %12s\n";
inline constexpr char kCriticalRow[] = "\t  %-*s  %12.5g  %12.5g\n";
inline constexpr char kCriticalUnpaired[] = "\t  the target events could not be paired\n";
inline constexpr char kCriticalNone[] = "\t  no place's delay moves the bound\n";
inline constexpr char kPlaceColumn[] = "place";
inline constexpr char kCriticalityColumn[] = "criticality";
inline constexpr char kBadCriticalRows[] = "the number of places to list must be a whole number from 1 to 2147483647";
inline constexpr char kTargetColumn[] = "target";
inline constexpr char kBoundColumn[] = "bound";
inline constexpr char kHalfWidthColumn[] = "half-width";
inline constexpr char kInstancesColumn[] = "instances";
inline constexpr char kTargetName[] = "%s TSE(%s, %s, %d)";

// ---------------------------------------------------------------------------------------
// Writing a model in the model language

inline constexpr char kCannotWrite[] = "The model cannot be written in the model language: %s.";
inline constexpr char kWriteNoName[] = "it has no name";
inline constexpr char kWriteBadModelName[] = "its name %s is not an identifier the scanner reads as one";
inline constexpr char kWriteBadPlaceName[] = "place name %s is not an identifier the scanner reads as one";
inline constexpr char kWriteBadTransitionName[] = "transition name %s is not an identifier the scanner reads as one";
inline constexpr char kWriteNoPlaces[] = "it has no places";
inline constexpr char kWriteMarkingEntries[] = "place %s holds %d tokens in %d marking entries";
inline constexpr char kWriteListOrders[] =
    "the transitions list their places in orders that no order of place statements gives";
inline constexpr char kWriteCreationOrder[] = "no order of statements creates its transitions in the order of the model";
inline constexpr char kWriteCreationOrderAtTarget[] =
    "no order of statements creates its transitions in the order of the model (at the target)";
inline constexpr char kWriteLoneTransition[] =
    "transition %s has no arcs and is not a target, so no statement creates it in order";
inline constexpr char kWriteUnknownDelay[] = "place %s has a delay of unknown type %d";
inline constexpr char kDifferentName[] = "the model is named %s, not %s";
inline constexpr char kDifferentPlaceCount[] = "it has %d places, not %d";
inline constexpr char kDifferentTransitionCount[] = "it has %d transitions, not %d";
inline constexpr char kPlaceOutOfOrder[] = "place %s is created out of order";
inline constexpr char kTransitionOutOfOrder[] = "transition %s is created out of order";
inline constexpr char kDifferentPlacePreset[] = "the preset of place %s differs";
inline constexpr char kDifferentPlacePoset[] = "the poset of place %s differs";
inline constexpr char kDifferentTokens[] = "the initial tokens of place %s differ";
inline constexpr char kDifferentDelay[] = "the delay of place %s differs";
inline constexpr char kDifferentTransitionPreset[] = "the preset of transition %s differs";
inline constexpr char kDifferentTransitionPoset[] = "the poset of transition %s differs";
inline constexpr char kDifferentMarkingOrder[] = "the initial marking lists its places in another order";
inline constexpr char kDifferentTransitionOrder[] = "the transitions are listed in another order";
inline constexpr char kDifferentPlaceOrder[] = "the places are listed in another order";
inline constexpr char kTargetMissing[] = "the target is missing";
inline constexpr char kTargetExtra[] = "it has a target the model has not";
inline constexpr char kTargetDifferent[] = "the target differs";

// ---------------------------------------------------------------------------------------
// Settings out of range

inline constexpr char kBadSampleSize[] = "the sample size must be a whole number from 1 to 2147483647";
inline constexpr char kBadAbsoluteError[] = "the absolute error must be a positive number";
inline constexpr char kBadRelativeError[] = "the relative error must be a positive number of percent";
inline constexpr char kBadConfidence[] = "the confidence level must be a percentage above 0 and at most 100";
inline constexpr char kBadSkip[] = "the number of instances to skip must be a whole number from 0 to 2147483647";
inline constexpr char kBadJobs[] = "the number of samplers must be a whole number from 0 to 4096";

// ---------------------------------------------------------------------------------------
// The command line

inline constexpr char kUsage[] =
    "zelbo [-auto][-e[%]][-confi][-sample][-v][-log][-ts][-pp] filename\n\n"
    "\t-auto \t\tautomatic Monte-Carlo stopping\n"
    "\t-e% <float> \trelative error interval\n"
    "\t-e <float>  \tabsolute error interval\n"
    "\t-confi <float> \tconfindence level in percentage\n"
    "\t-sample <int> \tsample size\n"
    "\t-v <int> \tverbosity level\n"
    "\t-ts <int> \tnumber of TSE instances to skip\n"
    "\t-pp <int> \tprint period in number of samples\n"
    "\t-log <string> \toutput file \n";
inline constexpr char kHelp[] =
    "usage: zelbo [options] model-file\n\n"
    "Estimates the average time separation of two events of a stochastic timed Petri net.\n\n"
    "  -auto, -a              stop when the confidence interval is narrow enough (default)\n"
    "  -sample, -ss N         take exactly N samples\n"
    "  -error%, -e% X         relative error interval in percent (default 3)\n"
    "  -error, -e X           absolute error interval\n"
    "  -confi, -c X           confidence level in percent (default 97)\n"
    "  -printPeriod, -pp N    an intermediate report every N samples (default 100; 0: none)\n"
    "  -tseSkip, -ts N        leading TSE instances of every unfolding to skip (default 0)\n"
    "  -v N                   verbosity; 2 lists the model and traces the unfolding\n"
    "  -log, -o FILE          write the summary and reports to FILE instead of standard error\n"
    "  -unfold, -u N          accepted and stored, no effect\n"
    "  -seed N                seed of the random stream (default: the clock's current second)\n"
    "  -jobs, -j N            N samplers in threads (default 1; 0: one per hardware thread)\n"
    "  -json FILE             write a machine-readable record of the run to FILE\n"
    "  -tse SRC,DST,K[,lb]    a target, in the names of the model file (repeatable; replaces\n"
    "                         the model's own target; lb: a lower bound)\n"
    "  -targets FILE          targets, one a line as -tse takes them\n"
    "  -report FILE           write a report page of the run (HTML, charts and the net) to FILE\n"
    "  -critical N            list each target's N most critical places: how much a unit of\n"
    "                         delay on the place moves the bound\n"
    "  -with FILE             delays, branch probabilities and a target for the model, by name\n"
    "  -delay SPEC            the delay of places without one (default for .g and PNML: .fix 1)\n"
    "  -emit FILE             write the model as read, in zelbo's model language, to FILE\n"
    "  -dot FILE              draw the model in Graphviz DOT to FILE\n"
    "  -dot-unfolding FILE    draw the first sample's unfolding in Graphviz DOT to FILE\n"
    "  --help                 this text\n"
    "  --version              the version\n";
inline constexpr char kVersion[] = "zelbo %s\n";
inline constexpr char kCommandLineError[] = "command line error: %s\n";
inline constexpr char kBadOptionValue[] = "command line error: %s %s: %s\n";
inline constexpr char kCannotBeWritten[] = "cannot be written: %s";
inline constexpr char kFailedToOpenLog[] = "Failed to open log file %s to write.";
inline constexpr char kFailedToWriteRecord[] = "Failed to write the record %s: %s.";
inline constexpr char kFailedToWriteFile[] = "Failed to write file %s: %s.";
inline constexpr char kFailedToWriteReport[] = "Failed to write the report %s: %s.";
inline constexpr char kChartLibraryUnreadable[] =
    "The charting library %s cannot be read: %s; it comes with the Debian package libjs-chart.js.";
inline constexpr char kChartLibraryNotInlined[] = "The charting library %s cannot be put inside a page: it holds \"%s\".";
inline constexpr char kLogNotWritten[] = "The log could not be written.";
inline constexpr char kTooManyStatements[] =
    "\n\tWarning: %s has %zu statements; the model reader reads at most some 9990 from one file.\n";

// ---------------------------------------------------------------------------------------
// The progress of a run on a terminal: a line rewritten in place, erased before other text

inline constexpr char kProgressErase[] = "\r\033[K";
inline constexpr char kProgressEraseRest[] = "\033[K";
inline constexpr char kProgressRowUp[] = "\033[A\r";
inline constexpr char kProgressSamples[] = "%d samples";
inline constexpr char kProgressSamplesOf[] = "%d of %d samples";
inline constexpr char kProgressRate[] = "%.0f samples/s";
inline constexpr char kProgressNoRate[] = "- samples/s";
inline constexpr char kProgressRelative[] = "half-width %.2g%% of %g%%";
inline constexpr char kProgressRelativeUnknown[] = "half-width - of %g%%";
inline constexpr char kProgressAbsolute[] = "half-width %.3g of %g";
inline constexpr char kProgressAbsoluteUnknown[] = "half-width - of %g";
inline constexpr char kProgressEstimate[] = "estimate %.5g";
inline constexpr char kProgressSeparator[] = ", ";

// ---------------------------------------------------------------------------------------
// Runs over several processes (MPI)

inline constexpr char kMalformedMessage[] = "A message between the processes of the run is malformed.";
inline constexpr char kBuiltWithoutMpi[] =
    "zelbo was started by an MPI launcher (%d processes) but was built without MPI; run it without the "
    "launcher, or build it where MPI is found (libopenmpi-dev).";
inline constexpr char kNoMpiModule[] = "zelbo was started by an MPI launcher but cannot load its MPI module: %s";
inline constexpr char kMpiThreads[] = "The MPI library does not let the main thread call it while other threads run.";

}  // namespace zelbo::text

#pragma once

/// What the program tells the shell when it ends; the README lists them.
///
/// Scripts and pipelines tell a failed run from a good one by these alone:
/// 0 is given only when the run or job wrote what it was asked to write.
enum class ExitStatus : int {
    ok = 0,                 ///< the run or job wrote what it was asked to write
    internalError = 1,      ///< a fatal error inside the program
    usage = 2,              ///< no model named, an unknown flag, or a setting beyond the run's limits
    modelUnreadable = 3,    ///< the model file is missing, a folder, or cannot be read
    nothingToTrace = 4,     ///< the model has no receivers or no sources
    outputNotWritable = 5,  ///< a results, hits, escaped-rays or job output file cannot be written
    jobUnreadable = 6,      ///< the job file cannot be read
    cancelled = 130,        ///< cancelled by the user, partial results saved or not (128 + SIGINT, as for Ctrl-C)
};

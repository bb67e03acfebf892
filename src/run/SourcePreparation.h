#pragma once

class Model;
struct TraceStatistics;

/// Readies the receivers and sums of a run for tracing source index of model: the counts of escapes and edge hits
/// zeroed, the sums and the responses cleared for the first source or with SaveAll (the late-decay spheres set up
/// again), every receiver given the delay of this source's direct sound, the receivers indexed.
void prepareSource(Model& model, TraceStatistics& statistics, unsigned index);

#include "run/RayManager.h"

#include <cmath>
#include <map>

#include "acoustics/MicrophoneList.h"
#include "foundation/InputFiles.h"
#include "foundation/ThreadTeam.h"
#include "model/MaterialLibrary.h"
#include "results/HitsFile.h"
#include "results/ReportFiles.h"
#include "results/ResultsFile.h"
#include "results/SafeFile.h"
#include "run/OrderedCommits.h"
#include "run/PyramidBatch.h"
#include "run/OtherProcesses.h"
#include "run/RunParameters.h"
#include "run/SourcePreparation.h"
#include "tracing/LateCorrection.h"
#include "tracing/PyramidGenerator.h"
#include "tracing/PyramidLog.h"
#include "tracing/PyramidTracer.h"
#include "tracing/section/SectionDrawing.h"
#include "ui/DialogTemplate.h"
#include "ui/Messages.h"

std::uint16_t threadCount(std::uint16_t requested, int processors) {
    if (requested >= 1 && requested < processors) return requested;
    return static_cast<std::uint16_t>(processors);
}

RayManager::RayManager() {
    const std::uint16_t threads = threadCount(parameters.OpenMP, availableProcessors());
    threadTeam().resize(threads);
    // The count in force is stored back, so that the status box and the results file show it.
    parameters.OpenMP = threads;
    monitor.createStatusBox();
    ready = !pumpMessages();
    if (!ready) status = ExitStatus::cancelled;
    std::unique_ptr<std::istream> file = InputFiles::open(parameters.modelFile.str());
    if (!file) {
        showError("Can't read the model file %s", parameters.modelFile.c_str());
        refused(ExitStatus::modelUnreadable);
        return;
    }
    model.load(*file);
    if (!materialsLoaded()) materials();
    warnAboutInput();
    // A model without receivers or sources has nothing to compute; a
    // script is told so by the exit status, a person by the message.
    if (microphones().receiverCount() == 0) {
        showError("The model has no receivers: there is nothing to compute");
        refused(ExitStatus::nothingToTrace);
    } else if (model.sources.empty()) {
        showError("The model has no sources: there is nothing to trace");
        refused(ExitStatus::nothingToTrace);
    }
}

// Mistakes that would otherwise pass in silence, each said once.
void RayManager::warnAboutInput() {
    if (parameters.settingsFile.empty())
        reportWarning("No settings file found: what the flags do not set keeps its initial value "
                      "(Level 0, Time 0, History 0: direct sound only)");
    // Material numbers the library does not define absorb nothing and, with
    // a transmission loss of 0 dB, let all sound through: named with the
    // number of faces that use them.
    std::map<unsigned, unsigned> undefined;
    for (std::uint32_t i = 0; i < model.count(); ++i) {
        const unsigned m = model.faceAt(i)->material;
        if (!materials().isDefined(m)) ++undefined[m];
    }
    if (undefined.empty()) return;
    std::string list;
    for (const auto& [m, faces] : undefined)
        list += formatText("%s%u (%u face%s)", list.empty() ? "" : ", ", m, faces, faces == 1 ? "" : "s");
    reportWarning("Materials not in the material file, absorbing nothing and letting sound through: %s", list.c_str());
}

// Keeps the run from starting and remembers why (the first reason stays).
bool RayManager::refused(ExitStatus why) {
    ready = false;
    if (status == ExitStatus::ok) status = why;
    return true;
}

// Whether every file the run will write can be written, found out before the
// first pyramid rather than after the whole trace: the results files (written
// beside the model through a temporary file), the hits files and escaped.ray
// (written in place).
bool RayManager::outputsWritable(std::uint32_t pyramids) {
    std::vector<std::pair<std::string, bool>> files;
    const unsigned sources = static_cast<unsigned>(model.sources.size());
    for (unsigned i = 0; i < sources; ++i) {
        if (parameters.SaveAll || i + 1 == sources) files.emplace_back(resultsFileName(i), false);
        if (parameters.HitLevel >= 0) files.emplace_back(hitsFileName(i), true);
    }
    if (pyramids != 1 && parameters.SaveEscaped) files.emplace_back("escaped.ray", true);
    for (const auto& [name, inPlace] : files) {
        std::string reason;
        if (canWriteFile(name, inPlace, reason)) continue;
        showError("Can't write %s: %s", name.c_str(), reason.c_str());
        return false;
    }
    return true;
}

void RayManager::tracePyramid(Pyramid& p, PyramidLog& log) {
    PyramidTracer(model, log, parameters.correctsLateDecay() ? &statistics.spheres : nullptr).trace(p);
}

void RayManager::traceBatch(const PyramidBatch& batch, const PlacedSource& source, PyramidLog* logs) {
    for (const PyramidSeed& seed : batch.seeds) {
        Pyramid p(seed, source.radiatedEnergy(seed.section.axis));
        tracePyramid(p, *logs++);
    }
}

bool RayManager::run() {
    const std::uint32_t pyramids = PyramidGenerator::pyramidCount(parameters.Level);
    if (pyramids == 0) {
        // 8 << Level must fit 32 bits; a higher level would run for ever.
        showError("Level %u is too high: the highest level is %u", parameters.Level, PyramidGenerator::maxLevel);
        return refused(ExitStatus::usage);
    }
    // Every run must end by itself: an absurd Time or History would keep the
    // pyramids of a closed room reflecting for days.
    if (!(parameters.Time <= RunParameters::maxTime)) {
        showError("Time %g s is too long: the longest is %g s", parameters.Time, RunParameters::maxTime);
        return refused(ExitStatus::usage);
    }
    if (parameters.History > RunParameters::maxHistory) {
        showError("History %d is too high: the highest is %d", static_cast<int>(parameters.History),
                  static_cast<int>(RunParameters::maxHistory));
        return refused(ExitStatus::usage);
    }
    if (!outputsWritable(pyramids)) return refused(ExitStatus::outputNotWritable);
    SectionDrawing::resetCount();
    if (pyramids != 1 && parameters.SaveEscaped) {
        escapedRays = std::make_unique<std::ofstream>("escaped.ray", std::ios::out | std::ios::trunc);
        *escapedRays << "Entitylist\n";
        statistics.escapedRays = escapedRays.get();
    }
    const unsigned sourceCount = static_cast<unsigned>(model.sources.size());
    for (unsigned i = 0; i < sourceCount; ++i)
        if (traceSource(i, pyramids)) break;
    if (escapedRays) {
        *escapedRays << "End\n";
        escapedRays->flush();
        statistics.escapedRays = nullptr;
        escapedRays.reset();
    }
    windowSystem().beep(Beep::Stop);
    ready = false;
    return true;
}

// Traces the pyramids of source index; answers true when the run was cancelled.
bool RayManager::traceSource(unsigned index, std::uint32_t pyramids) {
    const RunParameters& run = parameters;
    PlacedSource& source = model.sources[index];
    const std::uint32_t t0 = windowSystem().clockMs();
    PyramidGenerator generator;
    generator.start(source.axis.origin, run.Level, index == 0 && run.balloon);
    prepareSource(model, statistics, index);
    if (run.HitLevel >= 0) HitsFile::open(index);
    const unsigned sourceCount = static_cast<unsigned>(model.sources.size());
    monitor.showSource(source.speaker->name.str(), static_cast<int>(index), static_cast<int>(sourceCount));
    showStatus("Tracing ...");
    monitor.statusBox->setItemText(StatusItem::pyramidTotal, formatText("%ld", static_cast<long>(pyramids)));
    monitor.startSource(pyramids);
    std::uint32_t done = 0;
    bool cancelled = otherProcesses ? otherProcesses->traceSource(*this, generator, source, index, pyramids, done)
                     : run.OpenMP < 2 ? traceInOrder(generator, source, done)
                                      : traceInParallel(generator, source, pyramids, done);
    if (run.HitLevel >= 0) HitsFile::close();
    source.processingTime = static_cast<std::int32_t>(windowSystem().clockMs() - t0);
    bool save = run.SaveAll || index + 1 == sourceCount;
    if (cancelled) {
        status = ExitStatus::cancelled;
        save = confirm("Do you want to save partial results anyway?");
    }
    if (!cancelled) warnIfAllEscaped(source, pyramids, done);
    if (save) saveResults(index, pyramids, done, cancelled);
    generator.finish();
    return cancelled;
}

// One thread: each pyramid traced in place and committed, in the generator's
// order, the monitor asked after each whether the user cancelled. Answers true if so.
bool RayManager::traceInOrder(PyramidGenerator& generator, const PlacedSource& source, std::uint32_t& done) {
    PyramidLog log;
    while (generator.count() > 0) {
        const PyramidSeed& seed = generator.next();
        Pyramid p(seed, source.radiatedEnergy(seed.section.axis));
        tracePyramid(p, log);
        log.commit(statistics);
        ++done;
        if (monitor.update(done, statistics.escapedCount, statistics.edgeHitCount)) return true;
    }
    return false;
}

// Several threads in one job of the team (a parallel region per batch cost a
// fork, a join and a spin-wait each time: on a busy machine two threads were
// slower than one), each taking a few consecutive pyramids at a time in the
// generator's order, fewer toward the end so that the threads finish
// together. Their logs are committed in that order, so the results equal one
// thread's bit for bit. The first thread also keeps the monitor; a cancel
// stops the handing out, the pyramids taken finish and are committed, so the
// pyramids done are always the first ones.
bool RayManager::traceInParallel(PyramidGenerator& generator, const PlacedSource& source, std::uint32_t pyramids,
                                 std::uint32_t& done) {
    bool stop = false;
    std::uint32_t handedOut = 0, shown = 0;
    const int threads = static_cast<int>(threadTeam().size());
    OrderedCommits commits(statistics, static_cast<unsigned>(threads));
    threadTeam().run([&](unsigned thread) {
        PyramidBatch batch;
        std::vector<PyramidLog> logs(PyramidBatch::maxThreadSize);
        while (batch.take(generator, stop, handedOut, pyramids, threads, PyramidBatch::maxThreadSize)) {
            traceBatch(batch, source, logs.data());
            commits.offer(batch.first, logs.data(), static_cast<std::uint32_t>(batch.seeds.size()), thread);
            if (thread == 0) showProgress(commits, shown, stop);
        }
    });
    done = handedOut;
    return stop || monitor.update(done, statistics.escapedCount, statistics.edgeHitCount);
}

void RayManager::showProgress(OrderedCommits& commits, std::uint32_t& shown, bool& stop) {
    std::uint32_t now, escaped, edges;
    commits.progress(now, escaped, edges);
    // The monitor looks at every eighth count only.
    if (now - now % 8 == shown) return;
    shown = now - now % 8;
    if (!monitor.update(shown, escaped, edges)) return;
    std::lock_guard<std::mutex> hold(PyramidBatch::handingOut);
    stop = true;
}

void RayManager::saveResults(unsigned index, std::uint32_t pyramids, std::uint32_t done, bool cancelled) {
    const double n = statistics.reflectionCount;
    double meanFreePath = 1e12, deviation = 0;
    if (n != 0) {
        meanFreePath = statistics.pathSum / n;
        // Rounding can take the variance of equal legs a hair below zero.
        deviation = std::sqrt(std::max(0.0, statistics.pathSquareSum / n - meanFreePath * meanFreePath));
    }
    if (parameters.correctsLateDecay())
        LateCorrection::apply(statistics, microphones(), static_cast<double>(statistics.escapedCount) / std::max(done, 1u),
                              parameters.lateCorrectionAsked);
    writeResults(index, meanFreePath, deviation, n / pyramids, cancelled ? std::max(done, 1u) : 0);
}

// A model that surrounds its source yet lets every pyramid out has a gap
// (or faces the tracer cannot see): the results would be silent or nearly.
void RayManager::warnIfAllEscaped(const PlacedSource& source, std::uint32_t pyramids, std::uint32_t done) {
    if (done < pyramids || pyramids < 2 || statistics.escapedCount < pyramids || model.count() == 0) return;
    Coord low(1e300, 1e300, 1e300), high(-1e300, -1e300, -1e300);
    for (std::uint32_t i = 0; i < model.count(); ++i) model.faceAt(i)->extendBox(low, high);
    const Coord& s = source.axis.origin;
    if (s.x <= low.x || s.y <= low.y || s.z <= low.z || s.x >= high.x || s.y >= high.y || s.z >= high.z) return;
    reportWarning("Every pyramid of source %s escaped, although the model surrounds it: look for gaps between faces",
                  source.speaker->name.c_str());
}

void RayManager::writeResults(unsigned sourceIndex, double meanFreePath, double standardDeviation,
                              double meanHistory, std::uint32_t cancelledAfter) {
    const bool written =
        ::writeResults(model, RunStatistics{sourceIndex, statistics.escapedCount, statistics.edgeHitCount, meanFreePath,
                                            standardDeviation, meanHistory, monitor.totalElapsedText(),
                                            cancelledAfter});
    if (!written && status == ExitStatus::ok) status = ExitStatus::outputNotWritable;
    if (!written || !parameters.Report) return;
    if (const ExitStatus report = writeReportFiles(resultsFileName(sourceIndex)); status == ExitStatus::ok) status = report;
}

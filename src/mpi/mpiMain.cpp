#include <array>
#include <csignal>
#include <cstdint>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <mpi.h>

#include "acoustics/MicrophoneList.h"
#include "foundation/InputFiles.h"
#include "mpi/MpiCoordinator.h"
#include "mpi/MpiWorker.h"
#include "results/JobMode.h"
#include "run/RayManager.h"
#include "run/RunParameters.h"
#include "ui/Messages.h"
#include "ui/SilentWindowSystem.h"
#include "ui/WindowSystem.h"

// tolveno-mpi: the run of tolveno spread over the processes mpirun starts.
// Process 0 is the program as users know it; the others trace for it.
namespace {
// mpirun passes SIGUSR1 on to every process (SIGINT and SIGTERM it answers by
// ending them all): process 0 takes it as the quit request, a cancel that
// keeps the partial results; the others ignore it.
extern "C" void quitOnUsr1(int) { std::raise(SIGTERM); }

void takeUsr1(int rank) {
    struct sigaction action {};
    action.sa_handler = rank == 0 ? quitOnUsr1 : SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
}

using Digest = std::array<std::uint64_t, 4>;

// What a process loaded: the same counts as process 0, or the logs it sends would belong to another run. The files
// are process 0's copies, so a difference is a fault of the program (a file read past them), told before any trace.
Digest digest(bool ready, const Model& model) {
    if (!ready) return Digest{};
    return Digest{1, model.count(), microphones().receiverCount(), model.sources.size()};
}

// Whether every process loaded what process 0 loaded (process 0's digest is sent to all).
bool agree(Digest& digest0, const Digest& mine) {
    MPI_Bcast(digest0.data(), static_cast<int>(digest0.size()), MPI_UINT64_T, 0, MPI_COMM_WORLD);
    int same = digest0 == mine ? 1 : 0, all = 0;
    MPI_Allreduce(&same, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    return all == 1;
}

// Process 0's input files, as it read them, to every process (empty: it has nothing to trace, and nobody traces).
void broadcastInputs(std::string& packed) {
    std::uint64_t size = packed.size();
    MPI_Bcast(&size, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
    packed.resize(size);
    // MPI counts in int: a large model goes in pieces.
    constexpr std::uint64_t piece = 1u << 30;
    for (std::uint64_t at = 0; at < size; at += piece)
        MPI_Bcast(packed.data() + at, static_cast<int>(std::min(piece, size - at)), MPI_CHAR, 0, MPI_COMM_WORLD);
}

int runProcess0(const std::vector<std::string>& arguments, int processes) {
    // Alone, process 0 is the program of one process, on its very path (the disk read as tolveno reads it).
    if (processes > 1) InputFiles::startRecording();
    std::string inputs;
    if (!parameters.parse(arguments)) {
        broadcastInputs(inputs);
        return static_cast<int>(parameters.parseFailure);
    }
    RayManager manager;
    if (manager.ready && processes > 1) inputs = InputFiles::packRecord();
    broadcastInputs(inputs);
    if (!manager.ready) return static_cast<int>(manager.status);
    Digest mine = digest(manager.ready, manager.model);
    if (!agree(mine, mine)) {
        showError("A process of the run cannot read the model %s or its settings, or reads different ones",
                  parameters.modelFile.c_str());
        manager.status = ExitStatus::modelUnreadable;
        return static_cast<int>(manager.status);
    }
    MpiCoordinator coordinator(processes);
    if (processes > 1) manager.otherProcesses = &coordinator;
    manager.run();
    coordinator.finish();
    return static_cast<int>(manager.status);
}

// The other processes read no file: what they parse and load are the copies process 0 sent.
void runOtherProcess(const std::vector<std::string>& arguments) {
    std::string inputs;
    broadcastInputs(inputs);
    if (inputs.empty()) return;
    if (!InputFiles::readOnlyFrom(inputs)) fatalError("Process 0 of the run sent input files that cannot be read");
    const bool parsed = parameters.parse(arguments);
    std::unique_ptr<MpiWorker> worker;
    if (parsed) worker = std::make_unique<MpiWorker>();
    Digest digest0{};
    if (!agree(digest0, worker ? digest(worker->ready, worker->model) : Digest{})) return;
    worker->serve();
}
}  // namespace

int main(int argc, char** argv) {
    int provided = 0;
    // Only the thread that entered main calls MPI.
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    int rank = 0, processes = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &processes);
    // Before anything can show a message: process 0 talks to the user (and
    // takes the quit requests), the others stay silent.
    static SilentWindowSystem silent;
    if (rank != 0) installWindowSystem(&silent);
    windowSystem();
    takeUsr1(rank);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string commandLine;
    for (const std::string& argument : arguments) commandLine += (commandLine.empty() ? "" : " ") + argument;
    int status = 0;
    // A job only reads results files and writes its outputs: process 0 does it alone.
    if (commandLine.find(".job") != std::string::npos) {
        if (rank == 0) status = static_cast<int>(runJob(commandLine));
    } else if (rank == 0) {
        status = runProcess0(arguments, processes);
    } else {
        runOtherProcess(arguments);
    }
    MPI_Finalize();
    return status;
}

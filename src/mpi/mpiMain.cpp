#include <array>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <mpi.h>

#include "acoustics/MicrophoneList.h"
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

using Digest = std::array<std::uint64_t, 6>;

std::uint64_t fileHash(const std::string& name) {
    // FNV-1a: enough to tell two different files apart, not a protection against anyone.
    std::uint64_t hash = 14695981039346656037ull;
    std::ifstream in(name, std::ios::binary);
    for (std::istreambuf_iterator<char> c(in), end; c != end; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 1099511628211ull;
    return hash;
}

// What a process read: every process must trace the same model with the same
// settings, or the logs it sends would belong to another run.
Digest digest(bool ready, const Model& model) {
    if (!ready) return Digest{};
    return Digest{1,
                  model.count(),
                  microphones().receiverCount(),
                  model.sources.size(),
                  fileHash(parameters.modelFile.str()),
                  fileHash(parameters.settingsFile.str())};
}

// Whether every process read what process 0 read (process 0's digest is sent to all; 0 in its first place: it
// could not read the model, and nobody traces).
bool agree(Digest& digest0, const Digest& mine) {
    MPI_Bcast(digest0.data(), static_cast<int>(digest0.size()), MPI_UINT64_T, 0, MPI_COMM_WORLD);
    int same = digest0 == mine ? 1 : 0, all = 0;
    MPI_Allreduce(&same, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    return all == 1;
}

int runProcess0(const std::vector<std::string>& arguments, int processes) {
    if (!parameters.parse(arguments)) {
        Digest none{};
        agree(none, none);
        return static_cast<int>(parameters.parseFailure);
    }
    RayManager manager;
    Digest mine = digest(manager.ready, manager.model);
    if (!agree(mine, mine) && manager.ready) {
        showError("A process of the run cannot read the model %s or its settings, or reads different ones",
                  parameters.modelFile.c_str());
        manager.status = ExitStatus::modelUnreadable;
        return static_cast<int>(manager.status);
    }
    if (!manager.ready) return static_cast<int>(manager.status);
    MpiCoordinator coordinator(processes);
    // Alone, process 0 is the program of one process, on its very path.
    if (processes > 1) manager.otherProcesses = &coordinator;
    manager.run();
    coordinator.finish();
    return static_cast<int>(manager.status);
}

void runOtherProcess(const std::vector<std::string>& arguments) {
    const bool parsed = parameters.parse(arguments);
    std::unique_ptr<MpiWorker> worker;
    if (parsed) worker = std::make_unique<MpiWorker>();
    Digest digest0{};
    if (!agree(digest0, worker ? digest(worker->ready, worker->model) : Digest{}) || digest0[0] == 0) return;
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

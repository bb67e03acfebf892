#include <string>
#include <vector>

#include "results/JobMode.h"
#include "run/RayManager.h"
#include "run/RunParameters.h"
#include "ui/WindowSystem.h"

int main(int argc, char** argv) {
    // The window system installs the quit-request handlers before anything can take long.
    windowSystem();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string commandLine;
    for (const std::string& argument : arguments) commandLine += (commandLine.empty() ? "" : " ") + argument;
    // Unlike the Windows program, which always answered 0, the status tells a
    // script whether the run wrote what it was asked to (ExitStatus).
    if (commandLine.find(".job") != std::string::npos) return static_cast<int>(runJob(commandLine));
    if (!parameters.parse(arguments)) return static_cast<int>(parameters.parseFailure);
    RayManager manager;
    if (manager.ready) manager.run();
    // Freeing the 10,000 faces of a large model one by one took 7 % of a run that only loads and writes it;
    // the process ends here and the system takes the memory back at once.
    manager.model.keepUntilExit();
    return static_cast<int>(manager.status);
}

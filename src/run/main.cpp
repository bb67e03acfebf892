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
    if (commandLine.find(".job") != std::string::npos) {
        runJob(commandLine);
        return 0;
    }
    if (!parameters.parse(arguments)) return 0;
    RayManager manager;
    if (manager.ready) manager.run();
    return 0;
}

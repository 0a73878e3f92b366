// simq: the headless runner. See `simq --help` and cli/Runner.h.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Runner.h"
#include "cli/RunnerHost.h"
#include "system/StandardClasses.h"

int main(int argc, char** argv) {
    // A file that would pass the size limit fails to write, with a message and
    // the old file kept, instead of the signal ending the runner.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    SCommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) {
        std::cerr << "simq: " << error << '\n';
        return CRunner::kExitBadInput;
    }
    if (line.help || line.version) {
        if (line.help)
            std::cout << HelpText();
        else
            std::cout << "simq " << SIMQ_VERSION << '\n';
        // Text that could not be written is a failure, as for every action.
        if (!std::cout.flush()) {
            std::cerr << "simq: writing the standard output failed\n";
            return CRunner::kExitBadInput;
        }
        return CRunner::kExitSuccess;
    }
    RegisterStandardClasses();
    CRunnerHost host(std::cerr);
    CRunner runner(host, std::cout, std::cerr);
    return runner.Run(line);
}

// Starting an outside program without waiting for it (the registry editor at a key, the
// Explorer at a file). Tests replace the starter to see the command line instead.
#pragma once
#include <functional>
#include <string>

namespace tw {

using ProgramStarter = std::function<bool(const std::string& commandLine)>;

// Starts the command line through the starter in force; false when it could not be started.
bool StartProgram(const std::string& commandLine);

// Replaces the starter for its lifetime.
class ScopedProgramStarter {
public:
    explicit ScopedProgramStarter(ProgramStarter starter);
    ~ScopedProgramStarter();
    ScopedProgramStarter(const ScopedProgramStarter&) = delete;
    ScopedProgramStarter& operator=(const ScopedProgramStarter&) = delete;

private:
    ProgramStarter saved_;
};

}  // namespace tw

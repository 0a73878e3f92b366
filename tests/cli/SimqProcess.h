#pragma once
// Runs the built simq (SIMQ_PATH) as a child process and collects its exit
// status and output; a scratch folder per test for the files it writes.
#include <filesystem>
#include <string>
#include <vector>

struct SSimqResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

SSimqResult RunSimq(const std::vector<std::string>& args);

// A path inside the repository (examples and the like).
std::string SourcePath(const std::string& relative);

// A folder that exists for one test and is removed with it.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    std::string Path(const std::string& name) const { return (m_path / name).string(); }
    // Writes text (or bytes) to a file in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& contents) const;
    std::string Read(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

// The lines of text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

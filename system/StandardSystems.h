#pragma once
// The three standard systems a new workspace is built from.
#include <optional>
#include <string>

class CComputer;

enum class ESystemType {
    Corvane = 0,  // "Default Corvane Architecture"
    Vo16 = 1,     // "Default RARA Architecture"
    Blank = 2,    // "Blank System"
};

// The names the "Select New System Type" dialog offers, by index.
const char* SystemTypeName(ESystemType type);

// Builds the system into a workspace that has just been made empty
// (CComputer::NewContents). False, with the reason, when a class it needs is
// not registered.
bool BuildStandardSystem(CComputer& computer, ESystemType type, std::string* error = nullptr);

// File > New: the first new workspace after start is the Vo16 system, built
// without asking; every later one is of the type the user chose in the
// "Select New System Type" dialog, which the front end shows when this says
// so.
bool NewWorkspaceNeedsType();

// Builds the new workspace: the Vo16 system the first time, else chosen.
// False, with the reason, when a type is needed and none was chosen (the old
// workspace is kept) or the build failed.
bool NewWorkspace(CComputer& computer, std::optional<ESystemType> chosen = std::nullopt,
                  std::string* error = nullptr);

// Makes the next NewWorkspace the first one again (program start; tests).
void ResetFirstWorkspaceRule();

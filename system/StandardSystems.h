#pragma once
// The three standard systems a new workspace is built from.
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
// without asking; every later one asks the host for the type. False when the
// question was cancelled (the old workspace is kept) or the build failed.
bool NewWorkspace(CComputer& computer, std::string* error = nullptr);

// Makes the next NewWorkspace the first one again (program start; tests).
void ResetFirstWorkspaceRule();

#pragma once
// The debugging aids of a workspace (watchpoints, breakpoint conditions and
// ignore counts, history and profile switches) live beside the workspace file
// in NAME.debug.json, since the workspace file's format is fixed. The front
// ends load it after opening a workspace and save it after saving one.
//
//   {"version": 1,
//    "watchpoints": [{"watch": "w:0200-02FF=05", "unit": -1}],
//    "conditions": [{"unit": 0, "address": "0440", "condition": "a == 10",
//                    "ignore": 0}],
//    "history": {"enabled": true, "instructions": 1000000, "bytes": 268435456},
//    "profile": {"enabled": false}}
#include <string>

class CComputer;

// The sidecar of the workspace file at path: path + ".debug.json".
std::string DebugSidecarPath(const std::string& workspacePath);

// Writes the sidecar atomically. With no aids in use and no sidecar there,
// nothing is written. False with the reason.
bool SaveDebugSidecar(const CComputer& computer, const std::string& workspacePath,
                      std::string& error);
// Reads the sidecar into the workspace's debugger. A missing sidecar is no
// error and changes nothing; a malformed one changes nothing and gives the
// reason. Conditions for units the workspace lacks, or that do not compile
// against their unit, are skipped and named in error (the result is still true).
bool LoadDebugSidecar(CComputer& computer, const std::string& workspacePath, std::string& error);

#pragma once
// CRunner: carries out a simq command line on one workspace, action by
// action, with the same commands the desktop application's menus use, and
// works out the exit status:
//   0  success
//   1  the last run was stopped by a run limit
//   2  bad arguments or an input that could not be read (one line on stderr)
#include <iosfwd>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "core/Computer.h"

class CMpu;
class CRunnerHost;
class CTraceWriter;

class CRunner {
public:
    static constexpr int kExitSuccess = 0;
    static constexpr int kExitRunLimit = 1;
    static constexpr int kExitBadInput = 2;

    // The host must outlive the runner.
    CRunner(CRunnerHost& host, std::ostream& out, std::ostream& err);
    ~CRunner();

    int Run(const SCommandLine& line);

private:
    void Perform(const SAction& action);
    void WarnDisplaysLeftOut(int leftOut);

    void OpenWorkspace(const std::string& path);
    void NewSystem(ESystemType type);
    void WorkspaceReplaced();
    void AddUnit(const SNewUnit& wanted);
    void AddDevice(const SNewDevice& wanted);
    void Load(const SAction& action);
    void SelectUnit(uint32_t slot);
    void SetRegister(const SAction& action);
    void AddBreakpoint(const SAction& action);
    // Undoes count instructions of the active unit; 0: back to the previous breakpoint.
    void StepBack(uint32_t count);
    void Step(uint32_t count);
    void RunActive();
    void RunAll();
    void Exec(const std::string& line);
    void List(uint32_t address, uint32_t lines);
    void Dump(const SAction& action);
    void Save(const std::string& path);
    void Frame(const std::string& deviceName, const std::string& path);
    void StartTrace(const std::string& path);

    // The address of --break or --list, read through the unit's symbols.
    uint32_t Address(const SAction& action) const;
    // The active unit; an error when the workspace has none.
    CMpu& ActiveUnit() const;
    // Refuses a run that nothing would end.
    void RequireBound(bool bounded, const std::string& action) const;
    // Starts a run that the user would have been asked about: nobody
    // answers here, so the interrupt dialog counts as cancelled and an
    // unbounded run is refused.
    void Started(ERunStart started, const std::string& action);
    // Waits for the run thread's run to end: done once every unit started
    // has been reported stopped (or a limit stopped them all).
    void WaitForRun(const std::vector<int>& slots);
    void OnRunStopped(int slot, EStopReason reason);

    void PrintJson(const std::string& error, int exitCode);

    CRunnerHost& m_host;
    std::ostream& m_out;
    std::ostream& m_err;
    CComputer m_computer;
    // The run limits of the following runs; a new workspace keeps them.
    SRunLimits m_limits;
    EStopReason m_lastStop = EStopReason::kNone;
    std::unique_ptr<CTraceWriter> m_trace;
    // The run in hand: the units reported stopped and whether a limit ended it.
    std::set<int> m_stoppedSlots;
    bool m_limitNotice = false;
    EStopReason m_noticeReason = EStopReason::kNone;
    // The unit of the last notice that named one.
    int m_lastSlot = 0;
    // --profile: the CSV written at the end.
    std::string m_profilePath;
};

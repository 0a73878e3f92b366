// The workspace file reader on arbitrary bytes. A file that loads must store
// again into a file that loads, and storing that second workspace must give
// the same bytes: nothing read is lost or changed on the way back. A file
// that does not load leaves the workspace empty, without a run thread.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/WorkspaceFile.h"
#include "system/StandardClasses.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RegisterStandardClasses();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CComputer computer;
    std::string error;
    if (!LoadWorkspace(computer, std::span<const uint8_t>(data, size), &error)) {
        FuzzCheck(!error.empty(), "a failed load gives no reason");
        FuzzCheck(computer.IsEmpty() && !computer.HasRunThread(),
                  "a failed load leaves something in the workspace");
        return 0;
    }
    const std::vector<uint8_t> stored = StoreWorkspace(computer);
    CComputer reopened;
    FuzzCheck(LoadWorkspace(reopened, stored, &error), "a stored workspace does not load");
    FuzzCheck(StoreWorkspace(reopened) == stored, "a stored workspace does not store the same");
    return 0;
}

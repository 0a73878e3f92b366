// The monitor given lines with nothing in them, however they are passed: no
// command and no bus access. A default view carries no pointer; copying from
// it was undefined, which the sanitizer build of this test reports.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/Computer.h"
#include "support/TestHost.h"
#include "tools/CommandInterpreter.h"

TEST(CommandInterpreterEmptyLine, DoesNothing) {
    CTestHost host;
    CComputer computer{&host};
    host.Attach(&computer);
    computer.NewContents();
    const CCommandInterpreter monitor(computer);
    const std::string empty;
    const std::string text = "D 0 10";
    for (const std::string_view line :
         {std::string_view{}, std::string_view(empty), std::string_view(text).substr(0, 0)}) {
        const SCommandOutcome outcome = monitor.Execute(line);
        EXPECT_EQ(outcome.action, SCommandOutcome::EAction::kNone);
        EXPECT_TRUE(outcome.text.empty());
    }
    EXPECT_TRUE(host.hints.empty());
}

// The window's command table: every situation, reached the way the window
// reaches it, enables exactly the controls it did when each step switched
// controls on and off by hand; and every step from every situation lands on
// a situation of the table.
#include "app/CommandStates.h"

#include <gtest/gtest.h>
#include <array>
#include <ostream>
#include <string>
#include <vector>

namespace tolvane {

void PrintTo(const EnabledCommands& c, std::ostream* out)
{
    *out << "{browse " << c.browse << ", scan " << c.scan << ", convert " << c.convert << ", stop " << c.stop
         << ", open " << c.open << ", scanItem " << c.scanItem << ", convertItem " << c.convertItem << "}";
}

namespace {

using S = CommandState;
using E = CommandEvent;

struct Reached {
    CommandState state;
    std::vector<CommandEvent> steps;  // from Idle, in the order the window goes through them
    EnabledCommands commands;         // Browse, Scan, Convert, Stop, File > Open, File > Scan, File > Convert
};

const Reached kReached[] = {
    {S::Idle, {}, {1, 0, 0, 0, 1, 0, 0}},
    {S::FileChosen, {E::FileChosen}, {1, 1, 0, 0, 1, 1, 0}},
    {S::ScanStarting, {E::FileChosen, E::ScanPressed}, {0, 1, 0, 1, 0, 0, 0}},
    {S::Scanning, {E::FileChosen, E::ScanPressed, E::ScanDriverStarted}, {0, 0, 0, 1, 0, 0, 0}},
    {S::Scanned, {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::ScanSucceeded}, {1, 0, 1, 1, 1, 0, 1}},
    {S::Idle, {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::ScanStopped}, {1, 0, 0, 0, 1, 0, 0}},
    {S::FileChosenAfterScan, {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::ScanSucceeded, E::FileChosen},
     {1, 1, 0, 1, 1, 1, 0}},
    {S::FileChosenAfterFailedScan, {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::FileChosen},
     {0, 1, 0, 1, 0, 1, 0}},
    {S::ScanStartingStopDeclined, {E::FileChosen, E::ScanPressed, E::StopAnswered}, {1, 1, 0, 1, 0, 0, 0}},
    {S::ScanningStopDeclined, {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered},
     {1, 0, 0, 1, 0, 0, 0}},
    {S::StoppedBeforeDriverStart, {E::FileChosen, E::ScanPressed, E::ScanStopped}, {1, 1, 0, 0, 1, 0, 0}},
    {S::FileChosenDuringScan, {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen},
     {1, 1, 0, 1, 0, 1, 0}},
    {S::DriverStartedAfterFileChosen, {E::FileChosen, E::ScanPressed, E::StopAnswered, E::FileChosen, E::ScanDriverStarted},
     {1, 0, 0, 1, 0, 1, 0}},
    {S::ScannedAfterFileChosen,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded},
     {1, 1, 1, 1, 1, 1, 1}},
    {S::ScannedAfterLateDriverStart,
     {E::FileChosen, E::ScanPressed, E::StopAnswered, E::FileChosen, E::ScanDriverStarted, E::ScanSucceeded},
     {1, 0, 1, 1, 1, 1, 1}},
    {S::StoppedAfterFileChosen,
     {E::FileChosen, E::ScanPressed, E::StopAnswered, E::FileChosen, E::ScanDriverStarted, E::ScanStopped},
     {1, 0, 0, 0, 1, 1, 0}},
    {S::RescanStarting,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded,
      E::ScanPressed},
     {0, 1, 1, 1, 0, 0, 1}},
    {S::Rescanning,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded,
      E::ScanPressed, E::ScanDriverStarted},
     {0, 0, 1, 1, 0, 0, 1}},
    {S::RescanStartingStopDeclined,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded,
      E::ScanPressed, E::StopAnswered},
     {1, 1, 1, 1, 0, 0, 1}},
    {S::RescanningStopDeclined,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded,
      E::ScanPressed, E::ScanDriverStarted, E::StopAnswered},
     {1, 0, 1, 1, 0, 0, 1}},
    {S::RescanStoppedBeforeDriverStart,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded,
      E::ScanPressed, E::ScanStopped},
     {1, 1, 1, 0, 1, 0, 1}},
    {S::RescanStopped,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded,
      E::ScanPressed, E::ScanDriverStarted, E::ScanStopped},
     {1, 0, 1, 0, 1, 0, 1}},
    {S::StoppedAfterScannedWithFileChosen,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::StopAnswered, E::FileChosen, E::ScanSucceeded,
      E::ScanStopped},
     {1, 1, 1, 0, 1, 1, 1}},
    {S::StoppedAfterScannedLateDriverStart,
     {E::FileChosen, E::ScanPressed, E::StopAnswered, E::FileChosen, E::ScanDriverStarted, E::ScanSucceeded,
      E::ScanStopped},
     {1, 0, 1, 0, 1, 1, 1}},
    {S::ScannedBeforeDriverStart, {E::FileChosen, E::ScanPressed, E::ScanSucceeded}, {1, 1, 1, 1, 1, 0, 1}},
    {S::DriverStartedAfterScanFileChosen,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::ScanSucceeded, E::FileChosen, E::ScanDriverStarted},
     {1, 0, 0, 1, 1, 1, 0}},
    {S::DriverStartedAfterFailedScanFileChosen,
     {E::FileChosen, E::ScanPressed, E::ScanDriverStarted, E::FileChosen, E::ScanDriverStarted},
     {0, 0, 0, 1, 0, 1, 0}},
};

TEST(CommandStatesTest, EverySituationEnablesItsControls)
{
    std::vector<bool> covered(kCommandStateCount, false);
    for (const Reached& reached : kReached) {
        CommandState state = CommandState::Idle;
        for (CommandEvent step : reached.steps)
            state = NextCommandState(state, step);
        SCOPED_TRACE(CommandStateName(reached.state).toStdString());
        EXPECT_EQ(state, reached.state) << "reached " << CommandStateName(state).toStdString();
        EXPECT_EQ(CommandsOf(reached.state), reached.commands);
        covered[static_cast<std::size_t>(reached.state)] = true;
    }
    for (int i = 0; i < kCommandStateCount; ++i)
        EXPECT_TRUE(covered[static_cast<std::size_t>(i)]) << CommandStateName(CommandState(i)).toStdString();
}

// What each step did to the controls when the window switched them one by
// one (1 on, 0 off, -1 as they were), in the order it did so.
using Switches = std::array<int, 7>;
std::vector<Switches> SwitchesOf(CommandEvent event)
{
    switch (event) {
    case E::FileChosen: return {{-1, -1, 0, -1, -1, -1, 0}, {-1, 1, -1, -1, -1, 1, -1}};
    case E::ScanPressed: return {{0, -1, -1, 1, -1, -1, -1}, {-1, -1, -1, -1, 0, 0, -1}};
    case E::ScanDriverStarted: return {{-1, 0, -1, -1, -1, -1, -1}};
    case E::ScanSucceeded: return {{1, -1, 1, -1, 1, -1, 1}};
    case E::ScanStopped: return {{1, -1, -1, 0, 1, -1, -1}, {1, -1, -1, -1, -1, -1, -1}};
    case E::StopAnswered: return {{1, -1, -1, -1, -1, -1, -1}};
    }
    return {};
}

EnabledCommands Switched(EnabledCommands c, CommandEvent event)
{
    bool* controls[] = {&c.browse, &c.scan, &c.convert, &c.stop, &c.open, &c.scanItem, &c.convertItem};
    for (const Switches& switches : SwitchesOf(event)) {
        for (std::size_t i = 0; i < switches.size(); ++i) {
            if (switches[i] >= 0)
                *controls[i] = switches[i] == 1;
        }
    }
    return c;
}

TEST(CommandStatesTest, EveryStepFromEverySituationEnablesWhatTheOldSwitchesDid)
{
    for (int s = 0; s < kCommandStateCount; ++s) {
        for (int e = 0; e < kCommandEventCount; ++e) {
            const auto state = CommandState(s);
            const auto event = CommandEvent(e);
            SCOPED_TRACE(CommandStateName(state).toStdString() + " event " + std::to_string(e));
            EXPECT_EQ(CommandsOf(NextCommandState(state, event)), Switched(CommandsOf(state), event));
        }
    }
    // No two situations enable the same controls, so the window's controls name its situation.
    for (int a = 0; a < kCommandStateCount; ++a) {
        for (int b = a + 1; b < kCommandStateCount; ++b)
            EXPECT_FALSE(CommandsOf(CommandState(a)) == CommandsOf(CommandState(b)))
                << CommandStateName(CommandState(a)).toStdString() << " " << CommandStateName(CommandState(b)).toStdString();
    }
}

}  // namespace
}  // namespace tolvane

// The window's command table and the moves between its situations.
#include "app/CommandStates.h"

#include <iterator>

namespace tolvane {

namespace {

struct StateRow {
    CommandState state;
    const char* name;
    EnabledCommands commands;  // Browse, Scan, Convert, Stop, File > Open, File > Scan, File > Convert
};

using S = CommandState;

// Every situation and the controls it enables, one row each, in the order of the enum.
constexpr StateRow kStates[] = {
    {S::Idle,                              "Idle",                              {1, 0, 0, 0, 1, 0, 0}},
    {S::FileChosen,                        "FileChosen",                        {1, 1, 0, 0, 1, 1, 0}},
    {S::ScanStarting,                      "ScanStarting",                      {0, 1, 0, 1, 0, 0, 0}},
    {S::Scanning,                          "Scanning",                          {0, 0, 0, 1, 0, 0, 0}},
    {S::Scanned,                           "Scanned",                           {1, 0, 1, 1, 1, 0, 1}},
    {S::FileChosenAfterScan,               "FileChosenAfterScan",               {1, 1, 0, 1, 1, 1, 0}},
    {S::FileChosenAfterFailedScan,         "FileChosenAfterFailedScan",         {0, 1, 0, 1, 0, 1, 0}},
    {S::ScanStartingStopDeclined,          "ScanStartingStopDeclined",          {1, 1, 0, 1, 0, 0, 0}},
    {S::ScanningStopDeclined,              "ScanningStopDeclined",              {1, 0, 0, 1, 0, 0, 0}},
    {S::StoppedBeforeDriverStart,          "StoppedBeforeDriverStart",          {1, 1, 0, 0, 1, 0, 0}},
    {S::FileChosenDuringScan,              "FileChosenDuringScan",              {1, 1, 0, 1, 0, 1, 0}},
    {S::DriverStartedAfterFileChosen,      "DriverStartedAfterFileChosen",      {1, 0, 0, 1, 0, 1, 0}},
    {S::ScannedAfterFileChosen,            "ScannedAfterFileChosen",            {1, 1, 1, 1, 1, 1, 1}},
    {S::ScannedAfterLateDriverStart,       "ScannedAfterLateDriverStart",       {1, 0, 1, 1, 1, 1, 1}},
    {S::StoppedAfterFileChosen,            "StoppedAfterFileChosen",            {1, 0, 0, 0, 1, 1, 0}},
    {S::RescanStarting,                    "RescanStarting",                    {0, 1, 1, 1, 0, 0, 1}},
    {S::Rescanning,                        "Rescanning",                        {0, 0, 1, 1, 0, 0, 1}},
    {S::RescanStartingStopDeclined,        "RescanStartingStopDeclined",        {1, 1, 1, 1, 0, 0, 1}},
    {S::RescanningStopDeclined,            "RescanningStopDeclined",            {1, 0, 1, 1, 0, 0, 1}},
    {S::RescanStoppedBeforeDriverStart,    "RescanStoppedBeforeDriverStart",    {1, 1, 1, 0, 1, 0, 1}},
    {S::RescanStopped,                     "RescanStopped",                     {1, 0, 1, 0, 1, 0, 1}},
    {S::StoppedAfterScannedWithFileChosen, "StoppedAfterScannedWithFileChosen", {1, 1, 1, 0, 1, 1, 1}},
    {S::StoppedAfterScannedLateDriverStart, "StoppedAfterScannedLateDriverStart", {1, 0, 1, 0, 1, 1, 1}},
    {S::ScannedBeforeDriverStart,          "ScannedBeforeDriverStart",          {1, 1, 1, 1, 1, 0, 1}},
    {S::DriverStartedAfterScanFileChosen,  "DriverStartedAfterScanFileChosen",  {1, 0, 0, 1, 1, 1, 0}},
    {S::DriverStartedAfterFailedScanFileChosen, "DriverStartedAfterFailedScanFileChosen", {0, 0, 0, 1, 0, 1, 0}},
};
static_assert(std::size(kStates) == kCommandStateCount, "one row per situation");

constexpr bool RowsInEnumOrder()
{
    for (int i = 0; i < kCommandStateCount; ++i) {
        if (static_cast<int>(kStates[i].state) != i)
            return false;
    }
    return true;
}
static_assert(RowsInEnumOrder(), "rows in the order of the enum");

// What an event does to the controls; the ones it does not name keep their state.
EnabledCommands Applied(EnabledCommands c, CommandEvent event)
{
    switch (event) {
    case CommandEvent::FileChosen:
        c.scan = c.scanItem = true;
        c.convert = c.convertItem = false;
        break;
    case CommandEvent::ScanPressed:
        c.browse = c.open = c.scanItem = false;
        c.stop = true;
        break;
    case CommandEvent::ScanDriverStarted:
        c.scan = false;
        break;
    case CommandEvent::ScanSucceeded:
        c.browse = c.convert = c.open = c.convertItem = true;
        break;
    case CommandEvent::ScanStopped:
        c.browse = c.open = true;
        c.stop = false;
        break;
    case CommandEvent::StopAnswered:
        c.browse = true;
        break;
    }
    return c;
}

}  // namespace

EnabledCommands CommandsOf(CommandState state)
{
    return kStates[static_cast<int>(state)].commands;
}

CommandState NextCommandState(CommandState state, CommandEvent event)
{
    const EnabledCommands next = Applied(CommandsOf(state), event);
    for (const StateRow& row : kStates) {
        if (row.commands == next)
            return row.state;
    }
    // Every combination an event can make is in the table (the tests go
    // through all of them); should one be missing, nothing changes.
    return state;
}

QString CommandStateName(CommandState state)
{
    return QString::fromLatin1(kStates[static_cast<int>(state)].name);
}

}  // namespace tolvane

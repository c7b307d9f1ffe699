// The command line's progress: one line on standard error, redrawn in place
// while a scan or a conversion runs, and erased before any other text is
// printed so that problems and the ending never share a line with it. It
// draws only when it was asked to (both output streams are a terminal and
// the run is not --quiet or --json); otherwise every call but PrintAbove is
// a no-op. Calls may come from the conversion's thread and the main thread.
#pragma once

#include "convert/ConversionProgress.h"

#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

namespace tolvane::cli {

class TerminalProgress {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `clock` empty: the steady clock.
    explicit TerminalProgress(bool draw, Clock clock = {});
    // True when standard output and standard error are both a terminal.
    static bool TerminalsAttached();

    bool drawing() const { return draw_; }
    // "Scanning FILE  45%"
    void ShowScan(const QString& file, int percent);
    // " 45%  9000/20000 items  850/s  0:13 left  Inbox"
    void ShowConversion(const ConversionPosition& position);
    // Erases the line, prints `text` to standard error, and draws again at
    // the next position.
    void PrintAbove(const QString& text);
    // Erases the line for good: what is printed next starts a clean line.
    void Clear();
    // Ends the line where it stands, so the last position stays in view.
    void Keep();

private:
    void Draw(const QString& line, bool force);
    void EraseLocked();
    int TerminalWidth() const;

    const bool draw_;
    Clock clock_;
    std::mutex mutex_;
    bool shown_ = false;
    std::optional<std::chrono::steady_clock::time_point> started_;
    std::chrono::steady_clock::time_point lastDrawn_{};
    std::int64_t startDone_ = 0;
    int lastPercent_ = -1;
};

// "0:13", "12:05", "1:02:03"
QString DurationText(std::int64_t seconds);

}  // namespace tolvane::cli

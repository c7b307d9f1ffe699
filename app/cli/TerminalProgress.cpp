// Drawing the command line's progress line.
#include "app/cli/TerminalProgress.h"

#include "app/cli/HeadlessScan.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tolvane::cli {

namespace {

// Redraws at most this often unless the percentage changed: a terminal
// cannot show more, and a slow one would hold the writer back.
constexpr std::chrono::milliseconds kRedrawInterval(100);

}  // namespace

QString DurationText(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 0);
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = seconds / 60 % 60;
    const std::int64_t rest = seconds % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')).arg(rest, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

TerminalProgress::TerminalProgress(bool draw, Clock clock)
    : draw_(draw), clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); }))
{
}

bool TerminalProgress::TerminalsAttached()
{
    return isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
}

void TerminalProgress::ShowScan(const QString& file, int percent)
{
    if (!draw_)
        return;
    Draw(QStringLiteral("Scanning %1  %2%").arg(TerminalText(file)).arg(percent, 3), false);
}

void TerminalProgress::ShowConversion(const ConversionPosition& position)
{
    if (!draw_)
        return;
    const auto now = clock_();
    if (!started_) {
        started_ = now;
        startDone_ = position.done;
    }
    QString line = QStringLiteral("%1%  %2/%3 items").arg(position.percent, 3).arg(position.done).arg(position.total);
    // The rate over the whole run so far: steady enough to read, and right
    // from the first seconds on.
    const double seconds = std::chrono::duration<double>(now - *started_).count();
    const std::int64_t doneHere = position.done - startDone_;
    if (seconds >= 1.0 && doneHere > 0) {
        const double rate = static_cast<double>(doneHere) / seconds;
        line += QStringLiteral("  %1/s").arg(static_cast<std::int64_t>(rate + 0.5));
        const std::int64_t left = std::max<std::int64_t>(position.total - position.done, 0);
        if (left > 0)
            line += QStringLiteral("  %1 left").arg(DurationText(static_cast<std::int64_t>(left / rate + 0.5)));
    }
    if (!position.folder.isEmpty())
        line += QStringLiteral("  ") + TerminalText(position.folder);
    // Every new percentage and the end are drawn whatever the interval.
    const bool force = position.percent != lastPercent_ || position.done >= position.total;
    lastPercent_ = position.percent;
    Draw(line, force);
}

void TerminalProgress::Draw(const QString& line, bool force)
{
    std::lock_guard lock(mutex_);
    const auto now = clock_();
    if (!force && shown_ && now - lastDrawn_ < kRedrawInterval)
        return;
    lastDrawn_ = now;
    // One character short of the width: a line that fills the last column
    // wraps on some terminals, and the carriage return then redraws the
    // wrong line.
    const int width = TerminalWidth() - 1;
    QString text = line;
    if (width > 0 && text.size() > width)
        text = text.left(std::max(width - 1, 0)) + QChar(0x2026);
    const QByteArray bytes = (QStringLiteral("\r") + text + QStringLiteral("\x1b[K")).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    shown_ = true;
}

void TerminalProgress::EraseLocked()
{
    if (!shown_)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

void TerminalProgress::PrintAbove(const QString& text)
{
    std::lock_guard lock(mutex_);
    EraseLocked();
    PrintError(text);
    // The next position is drawn at once, not after the interval.
    lastDrawn_ = {};
}

void TerminalProgress::Clear()
{
    std::lock_guard lock(mutex_);
    EraseLocked();
}

void TerminalProgress::Keep()
{
    std::lock_guard lock(mutex_);
    if (!shown_)
        return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    shown_ = false;
}

int TerminalProgress::TerminalWidth() const
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

}  // namespace tolvane::cli

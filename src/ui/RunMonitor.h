#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/TCount_win.h"

/// The progress record of a run: the status box, the pyramid counters and the clock stamps.
///
/// Constructing it opens the log and makes it the active monitor; while it
/// is active, warnings and errors go to the status box's message list and to
/// the log instead of message boxes.
class RunMonitor {
public:
    /// Opens the log, writes its start lines and makes this the active monitor.
    RunMonitor();
    /// Closes the status box and writes the stop line of the log.
    ~RunMonitor();
    RunMonitor(const RunMonitor&) = delete;
    RunMonitor& operator=(const RunMonitor&) = delete;

    /// Creates the status box and fills it with the parameters in force.
    void createStatusBox();
    /// Shows the current source: its loudspeaker file and "%s (%d of %d)".
    void showSource(std::string_view loudspeakerName, int index, int count);
    /// Starts the clock of a source of total pyramids (waits for the clock to tick first).
    void startSource(std::uint32_t total);
    /// Refreshes the box after a batch; true when the run is to stop.
    bool update(std::uint32_t done, std::uint32_t escaped, std::uint32_t edges);
    /// The text of the run's elapsed time ("" once the box is gone).
    std::string totalElapsedText();
    /// Adds a text to the message list (the first one is also selected).
    void addMessage(std::string_view text);
    /// Sets the status text.
    void setStatus(std::string_view text);

    double elapsedSeconds = 0;
    std::uint32_t pyramidTotal = 0;
    std::uint32_t sourceStart = 0;
    std::uint32_t runStart = 0;
    int sourceIndex = 0;
    int sourceCount = 0;
    std::unique_ptr<TCount_win> statusBox;

private:
    void refresh(std::uint32_t now, std::uint32_t done, std::uint32_t escaped, std::uint32_t edges);
    void showProgress(std::uint32_t done);

    // What the box shows now, so that unchanged fields are not redrawn.
    std::int64_t lastElapsed_ = -1;
    std::uint32_t lastEscaped_ = UINT32_MAX;
    std::uint32_t lastEdges_ = UINT32_MAX;
    int messageCount_ = 0;
};

/// The monitor of the run in progress, or null outside a run.
RunMonitor* activeMonitor();

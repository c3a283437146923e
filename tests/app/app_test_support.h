// Drives the real controller without modal loops: scripted dialogs, a maker of
// polyphonic WAV files with chosen track levels, and event-loop helpers.
#pragma once

#include "AppDelegate.h"
#include "Dialogs.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QPushButton;

namespace quillon::app::testing {

// Records every box and answers as scripted; a confirmation is accepted
// unless an answer says otherwise.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        AlertBox box;
        bool confirmation = false;
        QString statusWhileShown;  // the status line while the box was up
    };

    void showMessage(QWidget* parent, const AlertBox& box) override;
    bool confirm(QWidget* parent, const AlertBox& box) override;
    void chooseFolder(QWidget* parent, const QString& message,
                      std::function<void(const QString& folder)> onChosen) override;

    // The texts of the plain "Quillon" alerts, in order.
    QStringList alerts() const;

    std::vector<Shown> shown;
    std::deque<bool> confirmAnswers;
    std::optional<QString> folderToChoose;  // nothing: the chooser is cancelled
    QStringList chooserMessages;
    std::function<QString()> statusProbe;   // read when a box is shown
};

// A polyphonic test file: one level per track as a fraction of full scale
// (0 is digital silence, 1.0 reaches full scale exactly).
struct PolyFile {
    std::vector<double> levels;
    std::uint16_t bitsPerSample = 24;
    bool isFloat = false;
    std::uint32_t sampleRate = 48000;
    std::size_t frames = 4800;
    std::string ixml;  // written as an iXML chunk when not empty
};

void writePolyFile(const std::filesystem::path& path, const PolyFile& file);

// Names of the file's tracks in an iXML track list.
std::string ixmlTrackNames(const std::vector<std::string>& names);

// A controller with its window built and its status texts recorded.
class Harness {
public:
    Harness();
    ~Harness();
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    AppDelegate& app() const { return *app_; }
    FakeDialogs& dialogs() const { return *dialogs_; }
    // Every text the status line showed, oldest first.
    const QStringList& statusTexts() const { return statusTexts_; }
    void clearStatusTexts() { statusTexts_.clear(); }

    QPushButton* button(const QString& text) const;
    void click(const QString& buttonText);
    // Runs the event loop until no task is pending; false on timeout.
    bool waitUntilIdle(int timeoutMs = 30000);
    // Types the folder into the path field, presses Scan and waits.
    bool scanFolder(const std::filesystem::path& folder);
    // The size of the window's content area; resizing keeps the menu bar.
    QSize contentSize() const;
    void resizeContent(QSize size);

private:
    FakeDialogs* dialogs_ = nullptr;
    std::unique_ptr<AppDelegate> app_;
    QStringList statusTexts_;
};

QString qs(const std::filesystem::path& path);

// Silences the offscreen platform's notes about window features it lacks.
void quietOffscreenPlatform();

}  // namespace quillon::app::testing

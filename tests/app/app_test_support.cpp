#include "app_test_support.h"

#include "ElidedLabel.h"
#include "MainMenu.h"
#include "wav_builder.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <cmath>

namespace quillon::app::testing {
namespace {

// A square wave at the level: +v, −v, …, so the peak is exactly v.
std::vector<std::int64_t> integerTrack(double level, std::uint16_t bits, std::size_t frames) {
    const double fullScale = std::ldexp(1.0, bits - 1);
    const auto magnitude = static_cast<std::int64_t>(std::llround(level * fullScale));
    const auto positive = std::min<std::int64_t>(magnitude, static_cast<std::int64_t>(fullScale) - 1);
    std::vector<std::int64_t> samples(frames);
    for (std::size_t f = 0; f < frames; ++f) samples[f] = f % 2 == 0 ? -magnitude : positive;
    return samples;
}

std::vector<float> floatTrack(double level, std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t f = 0; f < frames; ++f) samples[f] = static_cast<float>(f % 2 == 0 ? -level : level);
    return samples;
}

std::string sampleBytes(const PolyFile& file) {
    if (file.isFloat) {
        std::vector<std::vector<float>> channels;
        for (const double level : file.levels) channels.push_back(floatTrack(level, file.frames));
        return quillon::testing::floatFrames(channels);
    }
    quillon::testing::ChannelSamples channels;
    for (const double level : file.levels) channels.push_back(integerTrack(level, file.bitsPerSample, file.frames));
    return quillon::testing::pcmFrames(file.bitsPerSample, channels);
}

}  // namespace

void FakeDialogs::showMessage(QWidget*, const AlertBox& box) {
    shown.push_back({box, false, statusProbe ? statusProbe() : QString()});
}

bool FakeDialogs::confirm(QWidget*, const AlertBox& box) {
    shown.push_back({box, true, statusProbe ? statusProbe() : QString()});
    if (confirmAnswers.empty()) return true;
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

void FakeDialogs::chooseFolder(QWidget*, const QString& message,
                               std::function<void(const QString& folder)> onChosen) {
    chooserMessages.push_back(message);
    if (folderToChoose) onChosen(*folderToChoose);
}

QStringList FakeDialogs::alerts() const {
    QStringList texts;
    for (const Shown& entry : shown)
        if (!entry.confirmation && entry.box.messageText == QLatin1String("Quillon"))
            texts.push_back(entry.box.informativeText);
    return texts;
}

void writePolyFile(const std::filesystem::path& path, const PolyFile& file) {
    quillon::testing::FmtSpec format;
    format.formatTag = file.isFloat ? 3 : 1;
    format.channels = static_cast<std::uint16_t>(file.levels.size());
    format.sampleRate = file.sampleRate;
    format.bitsPerSample = file.isFloat ? 32 : file.bitsPerSample;
    quillon::testing::WavBuilder builder;
    builder.fmt(format);
    if (!file.ixml.empty()) builder.chunk("iXML", file.ixml);
    builder.data(sampleBytes(file)).write(path);
}

std::string ixmlTrackNames(const std::vector<std::string>& names) {
    std::string xml = "<?xml version=\"1.0\"?><BWFXML><TRACK_LIST><TRACK_COUNT>" + std::to_string(names.size()) +
                      "</TRACK_COUNT>";
    for (std::size_t i = 0; i < names.size(); ++i)
        xml += "<TRACK><CHANNEL_INDEX>" + std::to_string(i + 1) + "</CHANNEL_INDEX><NAME>" + names[i] +
               "</NAME></TRACK>";
    return xml + "</TRACK_LIST></BWFXML>";
}

Harness::Harness() {
    auto dialogs = std::make_unique<FakeDialogs>();
    dialogs_ = dialogs.get();
    app_ = std::make_unique<AppDelegate>(std::move(dialogs));
    app_->setMainMenu(makeMainMenu());
    app_->applicationDidFinishLaunching();
    dialogs_->statusProbe = [this] { return app_->statusLabel()->text(); };
    QObject::connect(app_->statusLabel(), &ElidedLabel::textChanged,
                     [this](const QString& text) { statusTexts_.push_back(text); });
}

Harness::~Harness() = default;

QPushButton* Harness::button(const QString& text) const {
    for (QPushButton* candidate : app_->window()->findChildren<QPushButton*>())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

void Harness::click(const QString& buttonText) {
    QPushButton* target = button(buttonText);
    if (!target) throw std::invalid_argument("no button " + buttonText.toStdString());
    QTest::mouseClick(target, Qt::LeftButton);
}

bool Harness::waitUntilIdle(int timeoutMs) {
    return QTest::qWaitFor([this] { return !app_->busy(); }, timeoutMs);
}

bool Harness::scanFolder(const std::filesystem::path& folder) {
    app_->pathField()->setText(qs(folder));
    click(QStringLiteral("Scan"));
    return waitUntilIdle();
}

QSize Harness::contentSize() const { return app_->window()->centralWidget()->size(); }

void Harness::resizeContent(QSize size) {
    QMainWindow* window = app_->window();
    window->resize(window->size() + (size - contentSize()));
    QCoreApplication::processEvents();
}

QString qs(const std::filesystem::path& path) { return QString::fromUtf8(path.string()); }

void quietOffscreenPlatform() {
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message.startsWith(QLatin1String("This plugin does not support"))) return;
        previous(type, context, message);
    });
}

}  // namespace quillon::app::testing

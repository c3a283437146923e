// Places the controls of the main window by fixed relations: 14-point
// margins, the file list at 0.55 of the content width − 14, the track list with
// its title above and its caption below beside it, rows of buttons and check
// boxes at their natural size.
#pragma once

#include <QLayout>
#include <QSize>

#include <array>

namespace quillon::app {

class MainLayout : public QLayout {
    Q_OBJECT
public:
    // The places of the window's controls.
    enum Slot {
        PathField,
        BrowseButton,
        ScanButton,
        RecursiveCheck,
        OverwriteCheck,
        FileList,
        TrackTitle,
        TrackList,
        MetaLabel,
        RemoveAllButton,
        RemoveSelectedButton,
        SelectAllButton,
        StatusLabel,
        PassedOverLink,
        Progress,
        SlotCount
    };

    static constexpr QSize contentSize{960, 640};
    static constexpr QSize minimumContentSize{760, 480};
    static constexpr int margin = 14;
    static constexpr double fileListShare = 0.55;

    // The relations carry their own margins; the layout adds none.
    explicit MainLayout(QWidget* parent = nullptr);
    ~MainLayout() override;

    // Puts `widget` at `slot`; the layout places it once every slot is filled.
    void setWidget(Slot slot, QWidget* widget);

    // Items come only through setWidget.
    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    QWidget* widget(Slot slot) const { return _items[slot]->widget(); }

    std::array<QLayoutItem*, SlotCount> _items{};
};

}  // namespace quillon::app

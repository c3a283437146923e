#include "MainLayout.h"

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillon::app {
namespace {

constexpr int pathFieldHeight = 24;
constexpr int progressHeight = 12;

// Top-left corner that centres a box of `height` on `centreY`.
int topForCentre(double centreY, int height) { return static_cast<int>(std::lround(centreY - height / 2.0)); }

}  // namespace

MainLayout::MainLayout(QWidget* parent) : QLayout(parent) { setContentsMargins(0, 0, 0, 0); }

MainLayout::~MainLayout() {
    for (QLayoutItem* item : _items) delete item;
}

void MainLayout::setWidget(Slot slot, QWidget* widget) {
    addChildWidget(widget);
    delete _items[slot];
    _items[slot] = new QWidgetItem(widget);
    invalidate();
}

// Every control has a named place; an item without one is not kept.
void MainLayout::addItem(QLayoutItem* item) { delete item; }

int MainLayout::count() const {
    return static_cast<int>(std::count_if(_items.begin(), _items.end(), [](QLayoutItem* item) { return item; }));
}

// The filled slots in slot order.
QLayoutItem* MainLayout::itemAt(int index) const {
    for (QLayoutItem* item : _items)
        if (item && index-- == 0) return item;
    return nullptr;
}

QLayoutItem* MainLayout::takeAt(int index) {
    for (QLayoutItem*& item : _items)
        if (item && index-- == 0) return std::exchange(item, nullptr);
    return nullptr;
}

QSize MainLayout::sizeHint() const { return contentSize; }

QSize MainLayout::minimumSize() const { return minimumContentSize; }

void MainLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    if (count() != SlotCount) return;

    const int left = rect.left() + margin;
    const int right = rect.left() + rect.width() - margin;  // exclusive edge
    const int top = rect.top() + margin;
    const int bottom = rect.top() + rect.height() - margin;
    // Widgets are placed directly: a layout item would shrink a fixed-height
    // control to its hint and skip the hidden progress bar, whose place stays
    // reserved.
    auto natural = [this](Slot slot) { return widget(slot)->sizeHint(); };
    auto place = [this](Slot slot, int x, int y, int width, int height) {
        widget(slot)->setGeometry(QRect(x, y, width, height));
    };

    // Top row: the path field stretches up to Browse… and Scan at the right.
    const double pathCentre = top + pathFieldHeight / 2.0;
    const QSize scanSize = natural(ScanButton);
    const int scanX = right - scanSize.width();
    place(ScanButton, scanX, topForCentre(pathCentre, scanSize.height()), scanSize.width(), scanSize.height());
    const QSize browseSize = natural(BrowseButton);
    const int browseX = scanX - 8 - browseSize.width();
    place(BrowseButton, browseX, topForCentre(pathCentre, browseSize.height()), browseSize.width(),
          browseSize.height());
    place(PathField, left, top, browseX - 8 - left, pathFieldHeight);

    // Check box row.
    const QSize recursiveSize = natural(RecursiveCheck);
    const int checkTop = top + pathFieldHeight + 10;
    place(RecursiveCheck, left, checkTop, recursiveSize.width(), recursiveSize.height());
    const QSize overwriteSize = natural(OverwriteCheck);
    place(OverwriteCheck, left + recursiveSize.width() + 16,
          topForCentre(checkTop + recursiveSize.height() / 2.0, overwriteSize.height()), overwriteSize.width(),
          overwriteSize.height());

    // Bottom up: progress bar, status line, button row.
    const int progressTop = bottom - progressHeight;
    place(Progress, left, progressTop, right - left, progressHeight);
    const int statusHeight = natural(StatusLabel).height();
    const int statusTop = progressTop - 6 - statusHeight;
    // The link, when shown, follows the status text, which gives way to it.
    if (widget(PassedOverLink)->isHidden()) {
        place(StatusLabel, left, statusTop, right - left, statusHeight);
    } else {
        const QSize linkSize = natural(PassedOverLink);
        const int statusWidth = std::min(natural(StatusLabel).width(), right - left - 8 - linkSize.width());
        place(StatusLabel, left, statusTop, statusWidth, statusHeight);
        place(PassedOverLink, left + statusWidth + 8, topForCentre(statusTop + statusHeight / 2.0, linkSize.height()),
              linkSize.width(), linkSize.height());
    }

    const QSize removeAllSize = natural(RemoveAllButton);
    const int buttonsTop = statusTop - 10 - removeAllSize.height();
    place(RemoveAllButton, left, buttonsTop, removeAllSize.width(), removeAllSize.height());
    const double buttonsCentre = buttonsTop + removeAllSize.height() / 2.0;
    const QSize removeSelectedSize = natural(RemoveSelectedButton);
    place(RemoveSelectedButton, left + removeAllSize.width() + 8,
          topForCentre(buttonsCentre, removeSelectedSize.height()), removeSelectedSize.width(),
          removeSelectedSize.height());
    const QSize selectAllSize = natural(SelectAllButton);
    place(SelectAllButton, right - selectAllSize.width(), topForCentre(buttonsCentre, selectAllSize.height()),
          selectAllSize.width(), selectAllSize.height());

    // The two lists share what is left; the title sits over the track list
    // and the caption under it.
    const int listsTop = checkTop + recursiveSize.height() + 10;
    const int listsBottom = buttonsTop - 10;
    const int fileListWidth = static_cast<int>(std::lround(fileListShare * rect.width())) - margin;
    place(FileList, left, listsTop, fileListWidth, listsBottom - listsTop);
    const int trackLeft = left + fileListWidth + 10;
    const int titleHeight = natural(TrackTitle).height();
    place(TrackTitle, trackLeft, listsTop, right - trackLeft, titleHeight);
    const int trackTop = listsTop + titleHeight + 4;
    const int metaHeight = natural(MetaLabel).height();
    const int metaTop = listsBottom - metaHeight;
    place(MetaLabel, trackLeft, metaTop, right - trackLeft, metaHeight);
    place(TrackList, trackLeft, trackTop, right - trackLeft, metaTop - 8 - trackTop);
}

}  // namespace quillon::app

#include "site/ProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace Site {

ProgressWindow::ProgressWindow(QWidget* parent, const QString& title, int count)
    : QDialog(parent), count_(count), line_(new QLabel(this)), bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("Отмена"), this)) {
    setObjectName(QStringLiteral("SiteProgress"));
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    bar_->setRange(0, 2 * count);
    bar_->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(line_);
    layout->addWidget(bar_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    resize(360, sizeHint().height());
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
}

void ProgressWindow::step(int address, int index) {
    line_->setText(QStringLiteral("Расширитель %1: %2 из %3").arg(address).arg(index).arg(count_));
    bar_->setValue(2 * index - 1);
}

void ProgressWindow::stepDone(int index) {
    bar_->setValue(2 * index);
}

void ProgressWindow::reject() {
    // The window stays until the run has ended: the read under way finishes first.
    cancelled_ = true;
    cancel_->setEnabled(false);
    line_->setText(line_->text() + QStringLiteral(" — отмена после этого расширителя"));
}

} // namespace Site

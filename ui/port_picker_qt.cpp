// The port picker on Qt: a list of the ports, re-read whenever the device folder or its
// serial/by-id folder changes (inotify, through QFileSystemWatcher: no wake-ups while
// nothing is plugged in or out).
#include "ui/port_picker.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace veltra::ui {
namespace {

// Names are UTF-8 on Linux, as they are on disk.
QString FromDisk(const std::string& c) {
  return QString::fromStdString(c);
}

class PortPicker : public QDialog {
public:
  explicit PortPicker(serial::PortRoots oRoots)
      : QDialog(QApplication::activeWindow()), oRoots_(std::move(oRoots)) {
    setWindowTitle(QStringLiteral("Porta seriale"));
    setModal(true);
    resize(660, 300);
    auto* pLayout = new QVBoxLayout(this); // NOLINT: owned by this window
    pHeading_ = new QLabel(this);          // NOLINT: owned by this window
    pHeading_->setWordWrap(true);
    pLayout->addWidget(pHeading_);
    pList_ = new QListWidget(this); // NOLINT: owned by this window
    pLayout->addWidget(pList_);
    auto* pButtons = new QDialogButtonBox(this); // NOLINT: owned by this window
    pUse_ = pButtons->addButton(QStringLiteral("Usa questa porta"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(QStringLiteral("Annulla"), QDialogButtonBox::RejectRole);
    pUse_->setDefault(true);
    pLayout->addWidget(pButtons);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(pList_, &QListWidget::itemActivated, this, [this](QListWidgetItem* p) {
      if ((p->flags() & Qt::ItemIsEnabled) != 0) {
        accept();
      }
    });
    connect(pList_, &QListWidget::currentRowChanged, this, [this] { UpdateButton(); });

    // udev makes the device node, then its by-id link: one re-read after the burst.
    oSettle_.setSingleShot(true);
    oSettle_.setInterval(200);
    connect(&oSettle_, &QTimer::timeout, this, [this] { Refresh(); });
    connect(&oWatcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
      Watch();
      oSettle_.start();
    });
    Watch();
    Refresh();
  }

  std::optional<std::string> Chosen() const {
    const int n = pList_->currentRow();
    if (n < 0 || static_cast<std::size_t>(n) >= aPorts_.size() || !PORTCHOOSABLE(aPorts_[n])) {
      return std::nullopt;
    }
    return PORTSETTING(aPorts_[n]);
  }

  void accept() override {
    if (Chosen()) {
      QDialog::accept();
    }
  }

private:
  // The device folder, and serial/ and serial/by-id/ under it once they exist (the first
  // adapter plugged in makes them).
  void Watch() {
    const QString cDev = FromDisk(oRoots_.cDev);
    for (const QString& c :
         {cDev, cDev + QStringLiteral("/serial"), cDev + QStringLiteral("/serial/by-id")}) {
      if (QFileInfo(c).isDir() && !oWatcher_.directories().contains(c)) {
        oWatcher_.addPath(c);
      }
    }
  }

  void Refresh() {
    const std::optional<std::string> cWas = Chosen();
    aPorts_ = serial::LISTPORTS(oRoots_);
    pList_->clear();
    int nSelect = -1;
    for (std::size_t i = 0; i < aPorts_.size(); ++i) {
      auto* pItem = new QListWidgetItem(FromDisk(PORTPICKERLINE(aPorts_[i])), pList_); // NOLINT
      if (!PORTCHOOSABLE(aPorts_[i])) {
        pItem->setFlags(Qt::NoItemFlags);
      } else if (nSelect < 0 || (cWas && PORTSETTING(aPorts_[i]) == *cWas)) {
        nSelect = static_cast<int>(i);
      }
    }
    pList_->setCurrentRow(nSelect);
    pHeading_->setText(aPorts_.empty()
                           ? QStringLiteral("Nessuna porta seriale: collega l'adattatore")
                           : QStringLiteral("Scegli la porta seriale dell'adattatore:"));
    UpdateButton();
  }

  void UpdateButton() { pUse_->setEnabled(Chosen().has_value()); }

  serial::PortRoots oRoots_;
  std::vector<serial::PortInfo> aPorts_;
  QLabel* pHeading_ = nullptr;
  QListWidget* pList_ = nullptr;
  QPushButton* pUse_ = nullptr;
  QFileSystemWatcher oWatcher_;
  QTimer oSettle_;
};

} // namespace

std::optional<std::string> CHOOSEPORT(const serial::PortRoots& oRoots) {
  PortPicker oPicker(oRoots);
  if (oPicker.exec() != QDialog::Accepted) {
    return std::nullopt;
  }
  return oPicker.Chosen();
}

} // namespace veltra::ui

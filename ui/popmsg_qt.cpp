// POPMSG's boxes on Qt: QMessageBox for the six kinds, a small non-modal box for the progress
// mode.
#include "ui/codepage.h"
#include "ui/popmsg.h"
#include "ui/popmsg_box.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltra::ui {
namespace {

QString FromAnsi(std::string_view cText) {
  return QString::fromStdU16String(ANSITOUNICODE(cText));
}

// The box breaks lines at LF alone.
QString BoxText(std::string_view cText) {
  QString cOut = FromAnsi(cText);
  cOut.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return cOut;
}

// The progress box: text, optional bar, page counter. It disables the window that was active
// while it is open.
class ProgressBox : public QDialog {
public:
  ProgressBox(const QString& cText, const QString& cTitle, bool lProgress, bool lPage)
      : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
        pDisabled_(QApplication::activeWindow()) {
    setWindowTitle(lPage ? QStringLiteral("Attendere") : cTitle);
    auto* pLayout = new QVBoxLayout(this); // NOLINT: owned by this box
    pText_ = new QLabel(cText, this);      // NOLINT: owned by this box
    QFont oFont(QStringLiteral("Arial"));
    oFont.setPixelSize(15);
    pText_->setFont(oFont);
    pLayout->addWidget(pText_);
    if (lProgress) {
      pBar_ = new QProgressBar(this); // NOLINT: owned by this box
      pBar_->setRange(0, 100);
      pLayout->addWidget(pBar_);
    }
    if (lPage) {
      pPage_ = new QLabel(QStringLiteral("0"), this); // NOLINT: owned by this box
      pLayout->addWidget(pPage_);
    }
    if (pDisabled_ != nullptr) {
      pDisabled_->setEnabled(false);
    }
    show();
  }
  ~ProgressBox() override {
    if (pDisabled_ != nullptr) {
      pDisabled_->setEnabled(true);
    }
  }
  ProgressBox(const ProgressBox&) = delete;
  ProgressBox& operator=(const ProgressBox&) = delete;

  void SetText(const QString& cText) { pText_->setText(cText); }
  void SetPos(int nPos) {
    if (pBar_ != nullptr) {
      pBar_->setValue(nPos);
    }
  }
  void NextPage() {
    if (pPage_ != nullptr) {
      pPage_->setText(QString::number(++nPage_));
    }
  }

private:
  QPointer<QWidget> pDisabled_;
  QLabel* pText_ = nullptr;
  QProgressBar* pBar_ = nullptr;
  QLabel* pPage_ = nullptr;
  int nPage_ = 0;
};

QPointer<ProgressBox> g_pBox;

int ShowBox(int nFlags, const QString& cText, const QString& cTitle) {
  const int nButtons = nFlags & 0x0F;
  const QMessageBox::Icon nIcon = (nFlags & MB_ICONINFORMATION) != 0 ? QMessageBox::Information
                                  : (nFlags & MB_ICONQUESTION) != 0  ? QMessageBox::Question
                                  : (nFlags & MB_ICONHAND) != 0      ? QMessageBox::Critical
                                                                     : QMessageBox::NoIcon;
  QMessageBox oBox(nIcon, cTitle, cText, QMessageBox::NoButton, QApplication::activeWindow());
  oBox.setTextFormat(Qt::PlainText);
  struct Button {
    QMessageBox::StandardButton nQt;
    int nId;
  };
  std::vector<Button> aButtons;
  switch (nButtons) {
  case MB_OKCANCEL:
    aButtons = {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
    break;
  case MB_YESNOCANCEL:
    aButtons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, 2}};
    break;
  case MB_YESNO:
    aButtons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    break;
  default:
    aButtons = {{QMessageBox::Ok, 1}};
    break;
  }
  for (const Button& o : aButtons) {
    oBox.addButton(o.nQt);
  }
  const std::size_t nDefault = (nFlags & MB_DEFBUTTON2) != 0 ? 1 : 0;
  oBox.setDefaultButton(aButtons[std::min(nDefault, aButtons.size() - 1)].nQt);
  // Esc and the close button: Cancel where there is one, else No, else OK.
  oBox.setEscapeButton(aButtons.back().nQt);
  oBox.exec();
  const auto nClicked = oBox.standardButton(oBox.clickedButton());
  for (const Button& o : aButtons) {
    if (o.nQt == nClicked) {
      return o.nId;
    }
  }
  return aButtons.back().nId;
}

} // namespace

int SHOWMESSAGEBOX(int nFlags, std::string_view cText, std::string_view cTitle) {
  return ShowBox(nFlags, BoxText(cText), FromAnsi(cTitle));
}

void PROGRESSBOXCLOSE() {
  delete g_pBox.data();
}

bool PROGRESSBOXOPEN() {
  return g_pBox != nullptr;
}

void PROGRESSBOXCREATE(std::string_view cText, std::string_view cTitle, bool lProgress,
                       bool lPage) {
  g_pBox = new ProgressBox(BoxText(cText), FromAnsi(cTitle), lProgress, // NOLINT: deleted by
                           lPage);                                      // PROGRESSBOXCLOSE
}

void PROGRESSBOXSETTEXT(std::string_view cText) {
  g_pBox->SetText(BoxText(cText));
}

void PROGRESSBOXSETPOS(int nPos) {
  g_pBox->SetPos(nPos);
}

void PROGRESSBOXNEXTPAGE() {
  g_pBox->NextPage();
}

} // namespace veltra::ui

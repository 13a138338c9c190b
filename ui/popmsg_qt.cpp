// POPMSG on Qt: QMessageBox for the six kinds, a small non-modal box for the progress mode.
#include "serial/message_pump.h"
#include "ui/codepage.h"
#include "ui/popmsg.h"
#include "ui/tone.h"

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

QString BoxText(std::string_view cText) {
  QString cOut = QString::fromStdU16String(ANSITOUNICODE(POPMSGTEXT(cText)));
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

void CloseProgressBox() {
  delete g_pBox.data();
}

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

std::optional<PopResult> POPMSG(std::optional<std::string_view> cText, std::optional<int> nType,
                                std::optional<std::string_view> cTitle, const PopMsgBox& oBox) {
  std::optional<PopResult> oResult;
  const QString cShown = cText ? BoxText(*cText) : QString();
  if (nType) {
    const QString cCaption =
        QString::fromStdU16String(ANSITOUNICODE(cTitle.value_or(std::string_view("Attenzione"))));
    CloseProgressBox();
    if (const std::optional<int> nFlags = POPMSGFLAGS(*nType)) {
      if (*nType >= 2) {
        TONE(POPMSG_TONE_HZ, POPMSG_TONE_MS);
      }
      oResult = POPMSGRESULT(*nType, ShowBox(*nFlags, cShown, cCaption));
    }
  } else if (!cText && !oBox.lProgress && !oBox.lPage) {
    CloseProgressBox();
  } else {
    if (g_pBox == nullptr) {
      g_pBox = new ProgressBox( // NOLINT: deleted by CloseProgressBox
          cShown, QString::fromStdU16String(ANSITOUNICODE(cTitle.value_or(""))), oBox.lProgress,
          oBox.lPage);
    }
    if (oBox.lUpdate) {
      g_pBox->SetText(cShown);
    }
    if (oBox.nPos) {
      g_pBox->SetPos(*oBox.nPos + 1);
    }
    if (oBox.lPage) {
      g_pBox->NextPage();
    }
  }
  serial::SYSREFRESH();
  return oResult;
}

} // namespace veltra::ui

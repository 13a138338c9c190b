// TMultiGet on a QPlainTextEdit: a read-only box that never lets a key change its text, passes
// Esc on to the dialog, appends to what it shows instead of rewriting it, and gives the shown
// text back to the bound variable when it loses the focus.
#include "ui/codepage.h"
#include "ui/dialog.h"
#include "ui/dialog_qt.h"
#include "ui/key_state_qt.h"
#include "ui/multiget.h"
#include "ui/ui_error.h"
#include "ui/window_qt.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace veltra::ui {

class LogEdit : public QPlainTextEdit {
public:
  explicit LogEdit(QWidget* pParent) : QPlainTextEdit(pParent) {
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
      // A change not made by Refresh (typing in an editable box) invalidates what the control
      // knows about the shown text.
      if (!lRefreshing && pOwner != nullptr) {
        pOwner->lShownValid_ = false;
      }
    });
  }

  TMultiGet* pOwner = nullptr;
  bool lRefreshing = false;

protected:
  bool event(QEvent* pEvent) override {
    // Tab stays in the box (it would otherwise move the focus before reaching keyPressEvent).
    if (pEvent->type() == QEvent::KeyPress) {
      const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
      if (nKey == Qt::Key_Tab || nKey == Qt::Key_Backtab) {
        pEvent->accept();
        return true;
      }
    }
    return QPlainTextEdit::event(pEvent);
  }

  void keyPressEvent(QKeyEvent* pEvent) override {
    pEvent->accept(); // no key goes on to the dialog but through KeyDown
    if (pOwner == nullptr) {
      return;
    }
    const int nVk = VKFROMQTKEY(pEvent->key());
    if (nVk == VK_ESCAPE) {
      RUNGUARDED([&] { pOwner->HandleEvent(WM_KEYDOWN, nVk, 0); });
      return;
    }
    if (nVk == VK_DELETE && pOwner->lReadOnly && !pOwner->lDelete) {
      return;
    }
    const bool lCopyOrSelect =
        pEvent->matches(QKeySequence::Copy) || pEvent->matches(QKeySequence::SelectAll);
    if (pOwner->lReadOnly && !lCopyOrSelect &&
        (!pEvent->text().isEmpty() || pEvent->matches(QKeySequence::Paste) ||
         pEvent->matches(QKeySequence::Cut) || pEvent->matches(QKeySequence::Undo))) {
      return; // typing, pasting, cutting: nothing in a read-only box
    }
    QPlainTextEdit::keyPressEvent(pEvent);
    pEvent->accept();
    if (!pOwner->lReadOnly && !lCopyOrSelect && pOwner->bChange) {
      RUNGUARDED([&] { pOwner->bChange(nVk, 0, *pOwner); });
    }
  }

  void focusInEvent(QFocusEvent* pEvent) override {
    QPlainTextEdit::focusInEvent(pEvent);
    if (pOwner != nullptr && pOwner->lReadOnly) {
      // Nothing is shown selected when the box is entered.
      QTextCursor oCursor = textCursor();
      oCursor.setPosition(oCursor.selectionStart());
      setTextCursor(oCursor);
    }
  }

  void focusOutEvent(QFocusEvent* pEvent) override {
    QPlainTextEdit::focusOutEvent(pEvent);
    if (pOwner != nullptr) {
      RUNGUARDED([&] { pOwner->LostFocus(); });
    }
  }
};

namespace {

LogEdit* EditOf(const TMultiGet& oGet) {
  return static_cast<LogEdit*>(WIDGETOF(oGet));
}

QColor ColorOf(uint32_t nRgb) {
  // RGB values are stored as 0x00BBGGRR.
  return QColor(static_cast<int>(nRgb & 0xFF), static_cast<int>((nRgb >> 8) & 0xFF),
                static_cast<int>((nRgb >> 16) & 0xFF));
}

} // namespace

TMultiGet::TMultiGet() = default;

TMultiGet::~TMultiGet() {
  if (LogEdit* pEdit = EditOf(*this)) {
    pEdit->pOwner = nullptr;
  }
}

void TMultiGet::BuildItem(TDialog& oDlg) {
  QWidget* pDialog = WIDGETOF(oDlg);
  if (pDialog == nullptr) {
    return;
  }
  auto* pEdit = new LogEdit(pDialog); // NOLINT: owned by the dialog's window
  pEdit->setProperty(kControlIdProperty, nId);
  const ItemGeometry oGeo =
      CONTROLITEMGEOMETRY(nTop, nLeft, nBottom, nRight, oDlg.lTruePixel, DLG_BASEX, DLG_BASEY);
  pEdit->setGeometry(oGeo.nX, oGeo.nY, oGeo.nWidth, oGeo.nHeight);
  pEdit->setReadOnly((nStyle & ES_READONLY) != 0);
  if ((nStyle & WS_BORDER) != 0) {
    pEdit->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  } else {
    pEdit->setFrameStyle(QFrame::NoFrame);
  }
  pEdit->setVerticalScrollBarPolicy((nStyle & WS_VSCROLL) != 0 ? Qt::ScrollBarAlwaysOn
                                                               : Qt::ScrollBarAlwaysOff);
  const bool lHScroll = (nStyle & WS_HSCROLL) != 0;
  pEdit->setHorizontalScrollBarPolicy(lHScroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  pEdit->setLineWrapMode(lHScroll ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
  QTextOption oOption = pEdit->document()->defaultTextOption();
  oOption.setAlignment((nStyle & ES_CENTER) != 0  ? Qt::AlignHCenter
                       : (nStyle & ES_RIGHT) != 0 ? Qt::AlignRight
                                                  : Qt::AlignLeft);
  pEdit->document()->setDefaultTextOption(oOption);
  pEdit->document()->setUndoRedoEnabled(!pEdit->isReadOnly());
  pEdit->setFocusPolicy((nStyle & WS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus);
  pEdit->show();
}

void TMultiGet::Initiate(TDialog& oDlg) {
  auto* pEdit = static_cast<LogEdit*>(DIALOGITEM(oDlg, nId));
  if (pEdit == nullptr) {
    CONTROLIDERROR("Non defined Id", nId);
    return;
  }
  Peer().pWidget = pEdit;
  pEdit->pOwner = this;
  BindHandle();
  pEdit->setEnabled(true);
  pEdit->setFont(oFont ? QFONTOF(*oFont) : WIDGETOF(oDlg)->font());
  if (nClrText || nClrPane) {
    QPalette oPalette = pEdit->palette();
    if (nClrText) {
      oPalette.setColor(QPalette::Text, ColorOf(*nClrText));
    }
    if (nClrPane) {
      oPalette.setColor(QPalette::Base, ColorOf(*nClrPane));
    }
    pEdit->setPalette(oPalette);
  }
  lShownValid_ = false;
  Refresh();
}

void TMultiGet::Detach() {
  if (LogEdit* pEdit = EditOf(*this)) {
    pEdit->pOwner = nullptr;
  }
  lShownValid_ = false;
  TControl::Detach();
}

void TMultiGet::ShowWhole_(const std::string& cText) {
  LogEdit* pEdit = EditOf(*this);
  pEdit->lRefreshing = true;
  pEdit->setPlainText(QString::fromStdU16String(LOGTEXTTOWIDGET(cText)));
  pEdit->lRefreshing = false;
}

void TMultiGet::ShowAppended_(std::string_view cPart) {
  LogEdit* pEdit = EditOf(*this);
  pEdit->lRefreshing = true;
  QTextCursor oEnd(pEdit->document());
  oEnd.movePosition(QTextCursor::End);
  oEnd.insertText(QString::fromStdU16String(LOGTEXTTOWIDGET(cPart)));
  pEdit->lRefreshing = false;
}

void TMultiGet::GoBottom() {
  LogEdit* pEdit = EditOf(*this);
  if (pEdit == nullptr) {
    return;
  }
  pEdit->moveCursor(QTextCursor::End);
  pEdit->ensureCursorVisible();
  pEdit->verticalScrollBar()->setValue(pEdit->verticalScrollBar()->maximum());
}

void TMultiGet::LostFocus() {
  LogEdit* pEdit = EditOf(*this);
  if (pEdit == nullptr) {
    return;
  }
  // The shown text goes back with its own bytes (CR LF line ends included); only a text the
  // user changed is rebuilt from the box.
  VarPut(lShownValid_ ? cShown_ : LOGTEXTFROMWIDGET(pEdit->toPlainText().toStdU16String()));
}

void TMultiGet::Move(int nX, int nY, int nWidth, int nHeight) {
  if (QWidget* pEdit = WIDGETOF(*this)) {
    pEdit->setGeometry(nX, nY, nWidth, nHeight);
    pEdit->update();
  }
}

void TMultiGet::SetFocus() {
  if (QWidget* pEdit = WIDGETOF(*this)) {
    pEdit->setFocus(Qt::OtherFocusReason);
  }
}

} // namespace veltra::ui

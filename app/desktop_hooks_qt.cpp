// The desktop hooks on Linux: the mail report through xdg-open, internal errors in a Qt box.
#include "app/desktop_hooks.h"
#include "runtime/hooks.h"

#include <QMessageBox>
#include <QString>

namespace veltra::app {

void INSTALLPLATFORMHOOKS() {
  runtime::SETURLOPENERHOOK([](const std::string& cUrl) { runtime::XDGOPEN(cUrl); });
  runtime::SETINTERNALERRORHOOK([](const std::string& cCaption, const std::string& cText) {
    QMessageBox::critical(nullptr, QString::fromLocal8Bit(cCaption.data(), cCaption.size()),
                          QString::fromLocal8Bit(cText.data(), cText.size()));
    return true;
  });
}

} // namespace veltra::app

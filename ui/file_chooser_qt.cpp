// CGETFILE on Qt's own (non-native) file dialog.
#include "ui/codepage.h"
#include "ui/file_chooser.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace veltra::ui {
namespace {

QString FromAnsi(std::string_view c) {
  return QString::fromStdU16String(ANSITOUNICODE(c));
}

// Refuses names in folders that do not exist when the request says the path must exist.
class FileDialog : public QFileDialog {
public:
  FileDialog(QWidget* pParent, uint32_t nFlags) : QFileDialog(pParent), nFlags_(nFlags) {}

  void accept() override {
    if ((nFlags_ & OFN_PATHMUSTEXIST) != 0) {
      for (const QString& cPath : selectedFiles()) {
        if (!QFileInfo(cPath).absoluteDir().exists()) {
          return;
        }
      }
    }
    QFileDialog::accept();
  }

private:
  uint32_t nFlags_;
};

// Qt reads a filter's patterns from the parentheses at its end; Windows patterns are
// separated by ";", Qt's by blanks.
QString QtFilter(const FileFilter& oFilter) {
  const QString cDescription = FromAnsi(oFilter.cDescription);
  if (oFilter.cPattern.empty()) {
    return cDescription;
  }
  QString cPattern = FromAnsi(oFilter.cPattern);
  cPattern.replace(QLatin1Char(';'), QLatin1Char(' '));
  const QString cTail = QLatin1Char('(') + cPattern + QLatin1Char(')');
  return cDescription.endsWith(cTail) ? cDescription : cDescription + QLatin1Char(' ') + cTail;
}

} // namespace

std::string FILEDIALOG(const FileRequest& oRequest) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return "";
  }
  FileDialog oDialog(QApplication::activeWindow(), oRequest.nFlags);
  oDialog.setOption(QFileDialog::DontUseNativeDialog);
  oDialog.setWindowTitle(FromAnsi(oRequest.cTitle));
  oDialog.setDirectory(oRequest.cInitDir.empty()
                           ? QDir::currentPath()
                           : QFile::decodeName(QByteArray::fromStdString(oRequest.cInitDir)));
  QStringList aFilters;
  for (const FileFilter& oFilter : oRequest.aFilters) {
    aFilters << QtFilter(oFilter);
  }
  if (!aFilters.isEmpty()) {
    oDialog.setNameFilters(aFilters);
    oDialog.selectNameFilter(aFilters.value(oRequest.nFilterIndex - 1, aFilters.front()));
  }
  if (oRequest.lSave) {
    oDialog.setAcceptMode(QFileDialog::AcceptSave);
    oDialog.setOption(QFileDialog::DontConfirmOverwrite,
                      (oRequest.nFlags & OFN_OVERWRITEPROMPT) == 0);
  }
  oDialog.setFileMode((oRequest.nFlags & OFN_ALLOWMULTISELECT) != 0 ? QFileDialog::ExistingFiles
                      : (oRequest.nFlags & OFN_FILEMUSTEXIST) != 0  ? QFileDialog::ExistingFile
                                                                    : QFileDialog::AnyFile);
  if (!oRequest.cFile.empty()) {
    oDialog.selectFile(QFile::decodeName(QByteArray::fromStdString(oRequest.cFile)));
  }
  if (oDialog.exec() != QDialog::Accepted) {
    return "";
  }
  std::vector<std::string> aChosen;
  for (const QString& cPath : oDialog.selectedFiles()) {
    aChosen.push_back(QFile::encodeName(cPath).toStdString());
  }
  return CGETFILERESULT(oRequest, aChosen);
}

} // namespace veltra::ui

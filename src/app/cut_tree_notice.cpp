#include "app/cut_tree_notice.h"

#include <string>

#include "app/window_look.h"
#include "tree/build_key_tree.h"

namespace ui {

QString CutTreeNoticeText(int32_t keysShown) {
  QString sentence = QString::fromStdString(tree::DescribeCutTree(keysShown));
  sentence[0] = sentence[0].toUpper();
  return sentence + QStringLiteral(".\n\nThe tree shows the keys read up to there.");
}

QMessageBox* ShowCutTreeNotice(QWidget& parent, int32_t keysShown) {
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Keyloom"), CutTreeNoticeText(keysShown),
                              QMessageBox::Ok, &parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowIcon(KeyloomIcon());
  box->open();
  return box;
}

}  // namespace ui

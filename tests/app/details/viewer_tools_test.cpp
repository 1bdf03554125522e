// What the main window offers beyond its two views, on a built hive: the
// tooltips, Key Properties, Value Details, the clipboard, and Find on its
// worker thread (a match, "Not found", F3, and a cancel during a long search).
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "app/find/find_window.h"
#include "app/details/hex_view.h"
#include "app/details/value_details_window.h"
#include "app/details/viewer_tools.h"
#include "app/viewer.h"
#include "app_test_support.h"
#include "class_name.h"
#include "hive/format.h"
#include "values/value_types.h"

using testsupport::HiveBuilder;
using ui::FindWindow;

namespace {

std::vector<uint8_t> Utf16(std::u16string_view text, int nuls = 1) {
  std::vector<uint8_t> out;
  for (const char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.insert(out.end(), static_cast<size_t>(2 * nuls), 0);
  return out;
}

std::vector<uint8_t> MultiSz(std::initializer_list<std::u16string_view> items) {
  std::vector<uint8_t> out;
  for (const auto item : items) {
    const auto bytes = Utf16(item);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  out.insert(out.end(), 2, 0);
  return out;
}

using values::kRegBinary, values::kRegDword, values::kRegMultiSz, values::kRegQword, values::kRegSz;
const QString kLastWritten = "Last written: 2020-01-01 00:00:00 UTC";

// ROOT
//   Software (class "Vendor Class")
//     Vendor
//       Run: Alpha, Lines, List (MULTI_SZ), Big (QWORD), Word (DWORD), Blob, and a long name
//   Damaged: First, a value whose record lies past the file's end, Target
struct ToolsHive {
  std::unique_ptr<testsupport::TempHive> file;
  uint32_t softwareOffset = 0;
};

ToolsHive MakeToolsHive() {
  HiveBuilder b;
  const auto software = b.AddKey(b.Root(), "Software");
  const auto vendor = b.AddKey(software, "Vendor");
  const auto run = b.AddKey(vendor, "Run");
  b.AddValue(run, "Alpha", kRegSz, Utf16(u"first\tsecond"));
  b.AddValue(run, "Lines", kRegSz, Utf16(u"one\ntwo"));
  b.AddValue(run, "List", kRegMultiSz, MultiSz({u"a", u"needle here", u"c"}));
  b.AddValue(run, "Big", kRegQword, std::vector<uint8_t>{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01});
  b.AddValue(run, "Word", kRegDword, std::vector<uint8_t>{42, 0, 0, 0});
  b.AddValue(run, "Blob", kRegBinary, std::vector<uint8_t>{1, 2, 3});
  b.AddValue(run, "A value name far too long for the eighty pixels of its column", kRegSz, Utf16(u"x"));
  const auto damaged = b.AddKey(b.Root(), "Damaged");
  b.AddValue(damaged, "First", kRegSz, Utf16(u"x"));
  b.AddValue(damaged, "Lost", kRegSz, Utf16(u"x"));
  b.AddValue(damaged, "Target", kRegSz, Utf16(u"the target data"));
  b.Build();
  testsupport::AttachClassName(b, software, u"Vendor Class");
  // The second entry of Damaged's value list names a record past the end of the file.
  b.PatchU32(b.ValueListOffset(damaged) + 4, 0x7FFF0000);
  return {std::make_unique<testsupport::TempHive>(b.Bytes()), b.KeyOffset(software)};
}

QStringList RowTexts(const QTreeWidgetItem* row) {
  QStringList texts;
  for (int c = 0; c < 4; ++c) texts << row->text(c);
  return texts;
}

}  // namespace

class ViewerToolsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    m_hive = MakeToolsHive();
    m_viewer = apptest::OpenViewer(m_hive.file->Path());
    QVERIFY(m_viewer != nullptr);
    m_window = m_viewer->Window();
    m_tools = m_viewer->Tools();
    QVERIFY(m_tools != nullptr);
  }

  void cleanup() { QVERIFY(apptest::CloseOtherWindows(*m_window)); }

  void cleanupTestCase() { m_viewer.reset(); }

  void TreeToolTipsGivePathTimeAndClass() {
    const ui::KeyTreeModel& model = m_window->Model();
    const auto tip = [&](const QString& path) {
      return Tree().SelectKeyPath(path) ? m_tools->KeyToolTipOf(Tree().SelectedItemPosition())
                                        : QString("no key ") + path;
    };
    QCOMPARE(tip(""), QString("ROOT\n" + kLastWritten));
    QCOMPARE(tip("Software"), QString("Software\n" + kLastWritten + "\nClass: Vendor Class"));
    QCOMPARE(tip("Software/Vendor/Run"), QString("Software\\Vendor\\Run\n" + kLastWritten));
    // The view shows it as plain text, whatever the names hold.
    QVERIFY(Tree().SelectKeyPath("Software"));
    const QString shown = model.data(Tree().currentIndex(), Qt::ToolTipRole).toString();
    QTextDocument document;
    document.setHtml(shown);
    QCOMPARE(document.toPlainText(), tip("Software"));
  }

  void CellToolTipsOnlyWhereTheTextDoesNotFit() {
    QVERIFY(Tree().SelectKeyPath("Software/Vendor/Run"));
    QCOMPARE(Table().topLevelItemCount(), 7);
    const auto tip = [&](int row, int column) { return m_tools->CellToolTipOf(*Table().topLevelItem(row), column); };
    QCOMPARE(tip(4, 0), QString());  // "Word" fits
    QCOMPARE(tip(1, 3), QString("one\ntwo"));  // cut at its line feed: the whole text
    QCOMPARE(tip(6, 0), QString("A value name far too long for the eighty pixels of its column"));
    // A tooltip event on a cell shows it; on a cell that fits, none.
    const QRect longName = Table().visualItemRect(Table().topLevelItem(6));
    QHelpEvent event(QEvent::ToolTip, QPoint(10, longName.center().y()), Table().viewport()->mapToGlobal(QPoint(10, longName.center().y())));
    QCoreApplication::sendEvent(Table().viewport(), &event);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(QToolTip::text().contains("far"), qPrintable(QToolTip::text()));
  }

  void KeyPropertiesByAltEnterAndTheContextMenu() {
    QVERIFY(Tree().SelectKeyPath("Software"));
    QTest::keyClick(&Tree(), Qt::Key_Return, Qt::AltModifier);
    QWidget* properties = VisibleWindow("Key Properties");
    QVERIFY(properties != nullptr);
    const QStringList texts = LabelTexts(*properties);
    for (const QString& expected : {QString("Software"), kLastWritten.mid(14), QString("Vendor Class"),
                                    QString("1"), QString("0"), QString("No"),
                                    QString("0x%1").arg(m_hive.softwareOffset, 8, 16, QChar('0')).toUpper().replace("0X", "0x")}) {
      QVERIFY2(texts.contains(expected), qPrintable(expected + " in " + texts.join('|')));
    }
    properties->close();

    // A right click on another item lists the selected key and opens the menu for the item under it.
    const QModelIndex run = RevealAndIndex("Software/Vendor");
    Tree().customContextMenuRequested(Tree().visualRect(run).center());
    QMenu* menu = m_viewer->Actions()->ContextMenu();
    QVERIFY(menu != nullptr);
    QTRY_VERIFY(menu->isVisible());
    QAction* open = menu->actions().first();
    QCOMPARE(open->text(), QString("Key Properties"));
    open->trigger();
    properties = VisibleWindow("Key Properties");
    QVERIFY(properties != nullptr);
    QVERIFY(LabelTexts(*properties).contains("Software\\Vendor"));
  }

  void ValueDetailsOfMultiStringAndQword() {
    QVERIFY(Tree().SelectKeyPath("Software/Vendor/Run"));
    Table().setFocus();
    Table().setCurrentItem(Table().topLevelItem(2));
    QTest::keyClick(&Table(), Qt::Key_Return);
    auto* details = qobject_cast<ui::ValueDetailsWindow*>(VisibleWindow("Value Details"));
    QVERIFY(details != nullptr);
    QVERIFY(LabelTexts(*details).contains("REG_MULTI_SZ"));
    QVERIFY(LabelTexts(*details).contains("List"));
    QVERIFY(details->DataText() != nullptr);
    QCOMPARE(details->DataText()->toPlainText(), QString("a\nneedle here\nc"));
    QCOMPARE(details->Hex().Data().size(), 34);
    QCOMPARE(details->Hex().LineText(0), QString("00000000  61 00 00 00 6E 00 65 00  65 00 64 00 6C 00 65 00  a...n.e.e.d.l.e."));
    details->Hex().Select(0, 3);
    QCOMPARE(details->Hex().SelectedText(), QString("61 00 00"));
    details->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), details);
    details->Hex().setFocus();
    QTest::keySequence(&details->Hex(), QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), QString("61 00 00"));
    details->close();
    m_window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), m_window);

    QSignalSpy doubleClicked(&Table(), &QTreeWidget::itemDoubleClicked);
    const QRect big = Table().visualItemRect(Table().topLevelItem(3));
    QTest::mouseClick(Table().viewport(), Qt::LeftButton, {}, big.center());
    QTest::mouseDClick(Table().viewport(), Qt::LeftButton, {}, big.center());
    QCOMPARE(doubleClicked.count(), 1);
    details = qobject_cast<ui::ValueDetailsWindow*>(VisibleWindow("Value Details"));
    QVERIFY(details != nullptr);
    QVERIFY(LabelTexts(*details).contains("REG_QWORD"));
    QVERIFY(LabelTexts(*details).contains("8 bytes"));
    QCOMPARE(details->DataText()->toPlainText(), QString("0x0123456789ABCDEF (81985529216486895)"));
  }

  void CopyPutsTheTextsOnTheClipboard() {
    QClipboard& clipboard = *QApplication::clipboard();
    QVERIFY(Tree().SelectKeyPath("Software/Vendor/Run"));
    QTest::keySequence(&Tree(), QKeySequence::Copy);
    QCOMPARE(clipboard.text(), QString("Software\\Vendor\\Run"));

    Table().setFocus();
    const QList<std::pair<int, QString>> rows{{4, "Word\tDWord\t4\t0x0000002A (42\t)"}, {1, "Lines\tString\t16\tone"}};
    for (const auto& [row, expected] : rows) {
      Table().setCurrentItem(Table().topLevelItem(row));
      QTest::keySequence(&Table(), QKeySequence::Copy);
      QCOMPARE(clipboard.text(), expected);
    }
    const QList<std::pair<int, QString>> data{{2, "a\nneedle here\nc"}, {1, "one\ntwo"}, {5, "01 02 03"},
                                              {3, "0x0123456789ABCDEF (81985529216486895)"}};
    for (const auto& [row, expected] : data) {
      Table().setCurrentItem(Table().topLevelItem(row));
      QTest::keyClick(&Table(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
      QCOMPARE(clipboard.text(), expected);
    }
  }

  // The table's menu acts on the row under the pointer, shows each shortcut,
  // and F1 lists every action of both menus.
  void TableMenuAndTheShortcutList() {
    QVERIFY(Tree().SelectKeyPath("Software/Vendor/Run"));
    Table().setCurrentItem(Table().topLevelItem(0));
    const QRect wordRow = Table().visualItemRect(Table().topLevelItem(4));
    Table().customContextMenuRequested(wordRow.center());
    QMenu* menu = m_viewer->Actions()->ContextMenu();
    QVERIFY(menu != nullptr);
    QTRY_VERIFY(menu->isVisible());
    QStringList menuTexts;
    for (const QAction* action : menu->actions()) {
      if (!action->isSeparator()) menuTexts << action->text() + " " + action->shortcut().toString();
    }
    for (const QString& expected : {QString("Value Details Return"), QString("Copy Ctrl+C"),
                                    QString("Copy Data Ctrl+Shift+C"), QString("Find... Ctrl+F"),
                                    QString("Keyboard Shortcuts F1")}) {
      QVERIFY2(menuTexts.contains(expected), qPrintable(expected + " in " + menuTexts.join('|')));
    }
    QVERIFY(!menuTexts.contains("Key Properties Alt+Return"));
    QCOMPARE(menuTexts.last(), QString("Keyboard Shortcuts F1"));
    for (QAction* action : menu->actions()) {
      if (action->text() == "Copy") action->trigger();
    }
    menu->close();
    QCOMPARE(QApplication::clipboard()->text(), QString("Word\tDWord\t4\t0x0000002A (42\t)"));

    QTest::keyClick(m_window, Qt::Key_F1);
    QWidget* list = VisibleWindow("Keyboard Shortcuts");
    QVERIFY(list != nullptr);
    auto* lines = list->findChild<QTreeWidget*>("shortcutList");
    QVERIFY(lines != nullptr);
    QCOMPARE(lines->topLevelItemCount(), static_cast<int>(m_viewer->Actions()->Entries().size()));
    QCOMPARE(lines->findItems("Key Properties", Qt::MatchExactly).value(0)->text(2), QString("Key tree"));
    list->close();
  }

  void CtrlFFindsAValueAndSelectsItsKeyAndRow() {
    QVERIFY(Tree().SelectKeyPath(""));
    QTest::keySequence(m_window, QKeySequence::Find);
    FindWindow* find = m_viewer->Finder()->Find();
    QVERIFY(find != nullptr);
    QTRY_VERIFY(find->isVisible());
    QCOMPARE(find->windowTitle(), QString("Find"));
    QCOMPARE(find->parentWidget(), m_window);
    QVERIFY(find->InKeyNames().isChecked() && find->InValueNames().isChecked() && find->InValueData().isChecked());
    QTest::keyClicks(&find->Text(), "NEEDLE");
    QTest::keyClick(&find->Text(), Qt::Key_Return);
    QTRY_VERIFY(find->Status().startsWith("Found"));
    QCOMPARE(find->Status(), QString("Found: Software\\Vendor\\Run = List"));
    QCOMPARE(m_window->Model().KeyPath(Tree().SelectedItemPosition()), QString("Software\\Vendor\\Run"));
    QCOMPARE(Table().topLevelItemCount(), 7);
    QCOMPARE(RowTexts(Table().currentItem()), (QStringList{"List", "MultiString", "34", ""}));

    // In a damaged key the row and the value index differ: Target is value 2, row 1.
    find->Text().setText("target data");
    find->FindAgain(search::Direction::kNext);
    QTRY_VERIFY(find->Status().startsWith("Found"));
    QCOMPARE(m_window->Model().KeyPath(Tree().SelectedItemPosition()), QString("Damaged"));
    QCOMPARE(Table().indexOfTopLevelItem(Table().currentItem()), 1);
    QCOMPARE(Table().currentItem()->text(0), QString("Target"));
  }

  void KeyMatchesAndF3InTheMainWindow() {
    QVERIFY(Tree().SelectKeyPath(""));
    FindWindow& find = m_viewer->Finder()->OpenFind();
    find.Text().setText("A");
    find.InValueNames().setChecked(false);
    find.InValueData().setChecked(false);
    find.WholeName().setChecked(false);
    find.FindAgain(search::Direction::kNext);
    QTRY_VERIFY(find.Status().startsWith("Found"));
    QCOMPARE(find.Status(), QString("Found: Software"));
    QVERIFY(Table().currentItem() == nullptr);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QTest::keyClick(m_window, Qt::Key_F3);
    QTRY_COMPARE(find.Status(), QString("Found: Damaged"));
    QTest::keyClick(m_window, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(find.Status(), QString("Found: Software"));
    find.InValueNames().setChecked(true);
    find.InValueData().setChecked(true);
  }

  void NoMatchSaysNotFound() {
    FindWindow& find = m_viewer->Finder()->OpenFind();
    const int32_t selected = Tree().SelectedItemPosition();
    find.Text().setText("no such text anywhere");
    QTest::mouseClick(find.findChildren<QPushButton*>().first(), Qt::LeftButton);
    QTRY_COMPARE(find.Status(), QString("Not found"));
    QCOMPARE(Tree().SelectedItemPosition(), selected);
  }

  void CancelDuringTheSearchOfALargeHive() {
    const int32_t keys = 300000;
    auto file = apptest::MakeLargeHive(keys);
    ui::Viewer viewer;
    QVERIFY(viewer.OpenHiveFile(QByteArray::fromStdString(file->Path())));
    QSignalSpy shown(&viewer, &ui::Viewer::MainWindowShown);
    viewer.StartLoading();
    QTRY_VERIFY_WITH_TIMEOUT(shown.count() == 1, 60000);
    FindWindow& find = viewer.Finder()->OpenFind();
    find.Text().setText("no such key");
    find.FindAgain(search::Direction::kNext);
    // The search runs beside the GUI thread, which stays free to serve the windows.
    QVERIFY(find.Searching());
    QVERIFY(find.CancelButton().isEnabled());
    QVERIFY(viewer.Window()->Tree().SelectKeyPath("Branch 7/Key 3"));
    QTest::mouseClick(&find.CancelButton(), Qt::LeftButton);
    QVERIFY(!find.Searching());
    QVERIFY(find.Status().startsWith("Cancelled after"));
    const int searched = QLocale::system().toInt(find.Status().section(' ', 2, 2));
    QVERIFY2(searched < keys, qPrintable(find.Status()));
    QTest::qWait(50);
    QVERIFY(find.Status().startsWith("Cancelled after"));  // the stopped search reports nothing more
    viewer.Window()->close();
  }

 private:
  ui::KeyTreeView& Tree() { return m_window->Tree(); }
  ui::ValueTableView& Table() { return m_window->Table(); }

  static QWidget* VisibleWindow(const QString& title) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible() && window->windowTitle() == title) return window;
    }
    return nullptr;
  }

  static QStringList LabelTexts(const QWidget& window) {
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) texts << label->text();
    return texts;
  }

  QModelIndex RevealAndIndex(const QString& path) {
    const QModelIndex selected = Tree().currentIndex();
    if (!Tree().SelectKeyPath(path)) return {};
    const QModelIndex found = Tree().currentIndex();
    Tree().selectionModel()->setCurrentIndex(selected, QItemSelectionModel::ClearAndSelect);
    return found;
  }

  ToolsHive m_hive;
  std::unique_ptr<ui::Viewer> m_viewer;
  ui::MainWindow* m_window = nullptr;
  ui::ViewerTools* m_tools = nullptr;
};

std::unique_ptr<QObject> MakeViewerToolsTest() { return std::make_unique<ViewerToolsTest>(); }

#include "viewer_tools_test.moc"

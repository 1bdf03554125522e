// The main window on the demo hive: its look and geometry, the 40/60 layout,
// and the events that list a key's values.
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "app/main_window.h"
#include "app/viewer.h"
#include "app/window_look.h"

using ui::KeyTreeView;
using ui::ValueTableView;

namespace {

// The rows of the table, each as its four column texts.
QList<QStringList> Rows(const ValueTableView& table) {
  QList<QStringList> rows;
  for (int r = 0; r < table.topLevelItemCount(); ++r) {
    QStringList row;
    for (int c = 0; c < table.columnCount(); ++c) row << table.topLevelItem(r)->text(c);
    rows << row;
  }
  return rows;
}

const QList<QStringList> kDesktopRows{
    {"Wallpaper", "String", "84", R"(C:\Windows\Web\Wallpaper\Windows\img0.jpg)"},
    {"WallpaperStyle", "String", "6", "10"},
    {"ScreenSaveTimeOut", "String", "8", "600"},
    {"MenuShowDelay", "String", "8", "400"},
    {"UserPreferencesMask", "Binary", "8", "$9E1E078012000000"},
    {"LogPixels", "DWord", "4", "0x00000060 (96\t)"},
};
const QList<QStringList> kInternationalRows{
    {"LocaleName", "String", "12", "fr-FR"},
    {"sShortDate", "String", "22", "dd/MM/yyyy"},
    {"iCountry", "String", "6", "33"},
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    m_viewer = std::make_unique<ui::Viewer>();
    QVERIFY(m_viewer->OpenHiveFile(KEYLOOM_DEMO_HIVE));
    QSignalSpy shown(m_viewer.get(), &ui::Viewer::MainWindowShown);
    m_viewer->StartLoading();
    QTRY_COMPARE(shown.count(), 1);
    m_window = m_viewer->Window();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
  }

  void cleanupTestCase() { m_viewer.reset(); }

  void WindowLooksAsItShould() {
    QCOMPARE(m_window->windowTitle(), QString("Keyloom"));
    QCOMPARE(m_window->size(), QSize(1000, 400));
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(m_window->minimumSize() != m_window->maximumSize());
    QVERIFY(!m_window->windowIcon().isNull());
    QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(m_window->autoFillBackground());
    QCOMPARE(m_window->palette().color(QPalette::Window), m_window->palette().color(QPalette::Button));
  }

  // The window icon is the picture installed for the desktop, at every size.
  void WindowIconIsTheDesktopIcon() {
    const QIcon icon = m_window->windowIcon();
    for (const int size : ui::kKeyloomIconSizes) {
      const QString path = QStringLiteral(KEYLOOM_SOURCE_DIR "/data/icons/hicolor/%1x%1/apps/keyloom.png").arg(size);
      // Compared premultiplied, as a pixmap holds its pixels.
      const QImage installed = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
      QVERIFY2(!installed.isNull(), qPrintable(path));
      const QImage shown = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
      QCOMPARE(shown, installed);
    }
  }

  void ControlsStartAt40And60PerCent() {
    KeyTreeView& tree = Tree();
    ValueTableView& table = Table();
    QCOMPARE(tree.geometry(), QRect(0, 0, 400, 400));
    QCOMPARE(table.geometry(), QRect(400, 0, 600, 400));
    QVERIFY(tree.isHeaderHidden());
    QVERIFY(tree.rootIsDecorated());
    QVERIFY(tree.uniformRowHeights());
    QCOMPARE(tree.editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(tree.dragDropMode(), QAbstractItemView::NoDragDrop);
    QCOMPARE(tree.frameStyle(), QFrame::StyledPanel | QFrame::Sunken);
    QCOMPARE(table.frameStyle(), QFrame::StyledPanel | QFrame::Sunken);
    QCOMPARE(table.selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(!table.rootIsDecorated());
    QVERIFY(!table.header()->sectionsMovable());
    QCOMPARE(table.header()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    const QStringList headings{"Value", "Type", "Length", "Content"};
    const QList<int> widths{80, 100, 60, 356};
    QCOMPARE(table.columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
      QCOMPARE(table.headerItem()->text(c), headings[c]);
      QCOMPARE(table.columnWidth(c), widths[c]);
    }
    // Both hide their selection while another control has the focus.
    for (const QAbstractItemView* view : {static_cast<QAbstractItemView*>(&tree), static_cast<QAbstractItemView*>(&table)}) {
      QCOMPARE(view->palette().color(QPalette::Inactive, QPalette::Highlight),
               view->palette().color(QPalette::Inactive, QPalette::Base));
    }
  }

  void ClickListsTheKeysValues() {
    Click(Qt::LeftButton, Reveal("Control Panel/Desktop"));
    QCOMPARE(Rows(Table()), kDesktopRows);
    QCOMPARE(Tree().SelectedItemPosition(), ui::KeyTreeModel::ItemPosition(Reveal("Control Panel/Desktop")));
  }

  void ClickOnTheSelectedKeyListsAgain() {
    Table().clear();
    Click(Qt::LeftButton, Reveal("Control Panel/Desktop"));
    QCOMPARE(Rows(Table()), kDesktopRows);
    Table().clear();
    const QPoint desktop = Tree().visualRect(Reveal("Control Panel/Desktop")).center();
    QTest::mouseDClick(Tree().viewport(), Qt::LeftButton, {}, desktop);
    QCOMPARE(Rows(Table()), kDesktopRows);
    // Ctrl+click does not take the selection away.
    Table().clear();
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, Qt::ControlModifier, desktop);
    QVERIFY(Tree().selectionModel()->isSelected(Tree().currentIndex()));
    QCOMPARE(Rows(Table()), kDesktopRows);
  }

  void KeyWithoutValuesEmptiesTheTable() {
    Click(Qt::LeftButton, Reveal("Control Panel/Desktop"));
    Click(Qt::LeftButton, Reveal("Control Panel"));
    QCOMPARE(Table().topLevelItemCount(), 0);
    Click(Qt::LeftButton, Reveal("Control Panel"));
    QCOMPARE(Table().topLevelItemCount(), 0);
  }

  void RightClickAndEmptySpaceListTheSelectedKey() {
    Click(Qt::LeftButton, Reveal("Control Panel/Desktop"));
    const QModelIndex desktop = Tree().currentIndex();
    Table().clear();
    Click(Qt::RightButton, Reveal("Control Panel/Mouse"));
    QCOMPARE(Tree().currentIndex(), desktop);
    QCOMPARE(Rows(Table()), kDesktopRows);

    Table().clear();
    const QPoint below(10, Tree().viewport()->height() - 3);
    QVERIFY(!Tree().indexAt(below).isValid());
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, below);
    QCOMPARE(Tree().currentIndex(), desktop);
    QCOMPARE(Rows(Table()), kDesktopRows);
  }

  void ArrowKeysListEachKey() {
    Click(Qt::LeftButton, Reveal("Control Panel/Desktop"));
    QTest::keyClick(&Tree(), Qt::Key_Down);
    QCOMPARE(Rows(Table()), kInternationalRows);
    QTest::keyClick(&Tree(), Qt::Key_Down);
    QCOMPARE(Rows(Table()), (QList<QStringList>{{"DoubleClickSpeed", "String", "8", "500"}}));
    QTest::keyClick(&Tree(), Qt::Key_Up);
    QCOMPARE(Rows(Table()), kInternationalRows);
  }

  void LineFeedStartsTheNextColumn() {
    QVERIFY(Tree().SelectKeyPath("software/KEYLOOM DEMO/value types"));
    const QList<QStringList> rows = Rows(Table());
    QCOMPARE(rows.size(), 14);
    QCOMPARE(rows.last(), (QStringList{"TwoLines", "String", "36", "line one"}));
    QCOMPARE(rows[7], (QStringList{"MultiString", "MultiString", "50", ""}));
    QVERIFY(!Tree().SelectKeyPath("Software/No Such Key"));
  }

  void ClicksInTheValueTableChangeNothingElse() {
    Click(Qt::LeftButton, Reveal("Control Panel/Desktop"));
    const QModelIndex desktop = Tree().currentIndex();
    const QRect row = Table().visualItemRect(Table().topLevelItem(2));
    QTest::mouseClick(Table().viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(Table().viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseClick(Table().viewport(), Qt::RightButton, {}, row.center());
    QCOMPARE(Table().currentItem(), Table().topLevelItem(2));
    QCOMPARE(Tree().currentIndex(), desktop);
    QCOMPARE(Rows(Table()), kDesktopRows);
  }

  void TabMovesTheFocusBetweenTheViews() {
    Tree().setFocus();
    QTRY_VERIFY(Tree().hasFocus());
    QTest::keyClick(m_window, Qt::Key_Tab);
    QVERIFY(Table().hasFocus());
    QTest::keyClick(m_window, Qt::Key_Tab);
    QVERIFY(Tree().hasFocus());
    QTest::keyClick(m_window, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(Table().hasFocus());
    QTest::keyClick(m_window, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(Tree().hasFocus());
  }

  void ResizingKeeps40And60PerCent_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("split");
    QTest::addColumn<int>("tableWidth");
    QTest::newRow("1000") << 1000 << 400 << 600;
    QTest::newRow("995") << 995 << 398 << 597;
    QTest::newRow("998") << 998 << 399 << 598;
    QTest::newRow("999") << 999 << 399 << 599;
    QTest::newRow("0") << 0 << 0 << 0;
  }

  void ResizingKeeps40And60PerCent() {
    QFETCH(int, width);
    QFETCH(int, split);
    QFETCH(int, tableWidth);
    const QSize client(width, 300);
    QResizeEvent resize(client, m_window->size());
    QCoreApplication::sendEvent(m_window, &resize);
    QCOMPARE(Tree().geometry(), QRect(0, 0, split, 300));
    QCOMPARE(Table().geometry(), QRect(split, 0, tableWidth, 300));
    QCOMPARE(ui::LayOutClient(client).keyTree, Tree().geometry());
  }

  void ResizingTheWindowLaysOutAgain() {
    m_window->resize(998, 350);
    QTRY_COMPARE(Table().geometry(), QRect(399, 0, 598, 350));
    QCOMPARE(Tree().geometry(), QRect(0, 0, 399, 350));
    m_window->resize(1000, 400);
    QTRY_COMPARE(Table().geometry(), QRect(400, 0, 600, 400));
  }

 private:
  KeyTreeView& Tree() { return m_window->Tree(); }
  ValueTableView& Table() { return m_window->Table(); }

  // The key at path below the root, expanded to and scrolled into view.
  QModelIndex Reveal(const QString& path) {
    const ui::KeyTreeModel& model = m_window->Model();
    QModelIndex at = model.index(0, 0);
    for (const QString& name : path.split('/')) {
      Tree().expand(at);
      QModelIndex found;
      for (int row = 0; row < model.rowCount(at) && !found.isValid(); ++row) {
        if (ui::KeyNameOfLabel(model.index(row, 0, at).data().toString()) == name) found = model.index(row, 0, at);
      }
      if (!found.isValid()) return {};
      at = found;
    }
    Tree().scrollTo(at);
    return at;
  }

  void Click(Qt::MouseButton button, const QModelIndex& index) {
    QVERIFY(index.isValid());
    QTest::mouseClick(Tree().viewport(), button, {}, Tree().visualRect(index).center());
  }

  std::unique_ptr<ui::Viewer> m_viewer;
  ui::MainWindow* m_window = nullptr;
};

std::unique_ptr<QObject> MakeMainWindowTest() { return std::make_unique<MainWindowTest>(); }

#include "main_window_test.moc"

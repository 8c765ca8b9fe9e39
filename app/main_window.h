// The main window: shows a MainController and forwards the user's actions
// to it. Every element sits at a fixed pixel position, in the order the
// layout is created. The actions on the selected rows sit in a menu that the
// keyboard's menu key, Shift+F10 and the "所选文档" button open; a right-click
// keeps opening the row's folder. The results show as the list or as a grid
// of pictures (Ctrl+1, Ctrl+2), two views of one model and one selection.
// A larger window than the first gives its room to the results and the
// preview (see window_layout.h); its arrangement is kept in the preferences.
// The selected document's details show under the preview when the window is
// tall enough, else in the preview's box, through the two tabs above it.
#pragma once

#include <QIcon>
#include <QImage>
#include <QKeySequence>
#include <QTimer>
#include <QWidget>
#include <utility>
#include <vector>

#include "app/preferences.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QAbstractItemView;
class QPushButton;
class QSlider;
class QStringListModel;
class QTextBrowser;
class QToolButton;
class QTreeView;
class QUrl;

namespace glimpses {

class MainController;
class ResultGrid;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `tipPicture` may be null (the picture stays empty).
  MainWindow(MainController& controller, const QIcon& icon, const QImage& tipPicture, QWidget* parent = nullptr);
  // Keeps an arrangement changed moments ago.
  ~MainWindow() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;

  void LayoutMainWindow(const QImage& tipPicture);
  void CreateRowActions();
  void BindHandlers();
  std::vector<int> SelectedRows() const;
  QAction* AddRowAction(const char* text, QKeySequence key, QKeySequence otherKey = {});
  void ShowRowMenu();
  void EditExcludes();
  void ShowSort();
  void CreateViewControls();
  void CreateDetailsControls();
  void ShowDetails();
  void TellDocumentsOnScreen();
  void PlacedFileClicked(const QUrl& link);
  void ShowView(bool grid);
  QAbstractItemView* ShownView() const;
  void SetCellEdge(int edge);
  void MoveSplitter(int x);
  void ArrangeElements();
  void ShowPreviewPicture();
  void KeepArrangement();

  MainController& controller_;
  QLineEdit* keywordEdit_ = nullptr;
  QLineEdit* outputDirEdit_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QPushButton* folderButton_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* saveCloseButton_ = nullptr;
  QTreeView* resultList_ = nullptr;
  ResultGrid* resultGrid_ = nullptr;
  QPushButton* listViewButton_ = nullptr;
  QPushButton* gridViewButton_ = nullptr;
  QSlider* cellEdgeSlider_ = nullptr;
  QLabel* statusText_ = nullptr;
  QLabel* previewPicture_ = nullptr;
  QPushButton* previewTabButton_ = nullptr;
  QPushButton* detailsTabButton_ = nullptr;
  QTextBrowser* detailsPanel_ = nullptr;
  QLabel* statusCancel_ = nullptr;  // shown beside the status line while an export runs
  QToolButton* actionsButton_ = nullptr;
  QMenu* rowMenu_ = nullptr;  // the button's, also shown over the list
  QStringListModel* recentKeywords_ = nullptr;
  QWidget* splitter_ = nullptr;
  // The elements beside the preview, with their distance from its left edge.
  std::vector<std::pair<QWidget*, int>> column_;
  WindowArrangement arrangement_;
  // A drag or a resize changes the arrangement many times a second; it is
  // saved once it rests.
  QTimer keepArrangementTimer_;
  // Scrolls and rows arriving come in bursts: the catalogue is told of the
  // documents on screen once a burst rests.
  QTimer onScreenTimer_;
};

}  // namespace glimpses

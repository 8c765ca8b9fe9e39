// The main window: shows a MainController and forwards the user's actions
// to it. Every element sits at a fixed pixel position, in the order the
// layout is created.
#pragma once

#include <QIcon>
#include <QImage>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace glimpses {

class MainController;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `tipPicture` may be null (the picture stays empty).
  MainWindow(MainController& controller, const QIcon& icon, const QImage& tipPicture, QWidget* parent = nullptr);

 private:
  void LayoutMainWindow(const QImage& tipPicture);
  void BindHandlers();

  MainController& controller_;
  QLineEdit* keywordEdit_ = nullptr;
  QLineEdit* outputDirEdit_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QPushButton* folderButton_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* saveCloseButton_ = nullptr;
  QTreeView* resultList_ = nullptr;
  QLabel* statusText_ = nullptr;
  QLabel* previewPicture_ = nullptr;
};

}  // namespace glimpses

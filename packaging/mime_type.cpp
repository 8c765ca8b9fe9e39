// glimpses-mime-type FILE...: the MIME type Qt's QMimeDatabase gives each
// file, by name and content and by content alone, as "NAME CONTENT" lines.
// The install test uses it to see the installed MIME package through Qt.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QMimeDatabase database;
  for (const QString& file : app.arguments().mid(1)) {
    std::printf("%s %s\n", qPrintable(database.mimeTypeForFile(file).name()),
                qPrintable(database.mimeTypeForFile(file, QMimeDatabase::MatchContent).name()));
  }
  return 0;
}

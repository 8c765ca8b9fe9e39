// kio_preview_test SIZE DOCUMENT...: asks KIO::PreviewJob, as Dolphin does,
// for thumbnails of the documents through our plugin, and checks that each
// document with a stored picture gets exactly that picture, shrunk to fit
// SIZE, and that each one without gets none. Run by kio_preview_test.sh,
// which gives it a session bus and the plugin's folder.
#include <KFileItem>
#include <KIO/PreviewJob>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "samples/corel_samples.h"
#include "thumbnailer/thumbnailer.h"

namespace {

constexpr const char* kPlugin = "glimpsesthumbnail";

// Empty when `preview` is what our own code makes of the document.
QString Compare(const QString& path, int size, const QImage& preview) {
  const glimpses::StoredThumbnail expected = glimpses::LoadStoredThumbnail(QFile::encodeName(path).toStdString(), size);
  if (expected.status != glimpses::ThumbnailStatus::kWritten) return "a preview for a document without a picture";
  if (preview.width() != expected.image.Width() || preview.height() != expected.image.Height()) {
    return QString("preview %1x%2, expected %3x%4")
        .arg(preview.width())
        .arg(preview.height())
        .arg(expected.image.Width())
        .arg(expected.image.Height());
  }
  for (int y = 0; y < preview.height(); y += 7) {
    for (int x = 0; x < preview.width(); x += 7) {
      const glimpses::Rgba want = glimpses::ColourAt(expected.image, x, y);
      const QRgb got = preview.pixel(x, y);
      if (qRed(got) != want.red || qGreen(got) != want.green || qBlue(got) != want.blue) {
        return QString("pixel %1,%2 differs").arg(x).arg(y);
      }
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fputs("usage: kio_preview_test SIZE DOCUMENT...\n", stderr);
    return 2;
  }
  if (!KIO::PreviewJob::availablePlugins().contains(kPlugin)) {
    std::fprintf(stderr, "FAILED: KIO does not find the plugin %s (QT_PLUGIN_PATH=%s)\n", kPlugin,
                 qgetenv("QT_PLUGIN_PATH").constData());
    return 1;
  }
  const int size = QString(argv[1]).toInt();
  KFileItemList items;
  for (int i = 2; i < argc; ++i) items << KFileItem(QUrl::fromLocalFile(QFile::decodeName(argv[i])));

  const QStringList plugins = {kPlugin};
  auto* job = new KIO::PreviewJob(items, QSize(size, size), &plugins);
  job->setScaleType(KIO::PreviewJob::Scaled);
  int failures = 0;
  int answered = 0;
  QObject::connect(job, &KIO::PreviewJob::gotPreview, [&](const KFileItem& item, const QPixmap& pixmap) {
    ++answered;
    const QString problem = Compare(item.localPath(), size, pixmap.toImage());
    std::printf("%s: %s (%s): %dx%d\n", problem.isEmpty() ? "ok" : "FAILED", qPrintable(item.name()),
                qPrintable(item.mimetype()), pixmap.width(), pixmap.height());
    if (!problem.isEmpty()) std::printf("  %s\n", qPrintable(problem)), ++failures;
  });
  QObject::connect(job, &KIO::PreviewJob::failed, [&](const KFileItem& item) {
    ++answered;
    const bool expected = Compare(item.localPath(), size, QImage()) == "a preview for a document without a picture";
    std::printf("%s: %s (%s): no preview\n", expected ? "ok" : "FAILED", qPrintable(item.name()),
                qPrintable(item.mimetype()));
    if (!expected) ++failures;
  });
  QObject::connect(job, &KJob::result, &app, &QCoreApplication::quit);
  QTimer::singleShot(60000, &app, [&] {
    std::puts("FAILED: no answer from KIO within a minute");
    app.exit(1);
  });
  if (app.exec() != 0) return 1;
  if (answered != items.size()) {
    std::printf("FAILED: %d of %lld documents answered\n", answered, static_cast<long long>(items.size()));
    return 1;
  }
  return failures == 0 ? 0 : 1;
}

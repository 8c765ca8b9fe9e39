// glimpses: the window. Its options choose what the search covers; Qt's own
// options work too.
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>
#include <cstdio>
#include <memory>
#include <string>

#include "app/app_paths.h"
#include "app/command_line.h"
#include "app/main_controller.h"
#include "app/main_window.h"
#include "app/preferences.h"
#include "app/settings.h"
#include "app/window_language.h"
#include "base/file_util.h"
#include "search/search_service.h"

namespace {

QStringList ArgumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

int UsageError(const std::string& error) {
  std::fprintf(stderr, "glimpses: %s\nTry 'glimpses --help'.\n", error.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Help, version and bad values are answered before Qt needs a display.
  glimpses::WindowCommandLine line = glimpses::ParseWindowCommandLine(ArgumentsOf(argc, argv));
  switch (line.start) {
    case glimpses::WindowStart::kHelp:
      std::fputs(glimpses::WindowUsage().c_str(), stdout);
      return 0;
    case glimpses::WindowStart::kVersion:
      // Where the settings are kept depends on how the program was installed; say it here.
      std::printf("glimpses %s\nSettings: %s\nWindow language: %s\n", GLIMPSES_VERSION,
                  glimpses::ChooseSettingsPath(glimpses::ExecutableDir(), glimpses::ConfigDir()).c_str(),
                  qPrintable(glimpses::WindowLanguageName(QLocale())));
      return 0;
    case glimpses::WindowStart::kBadUsage:
      return UsageError(line.error);
    case glimpses::WindowStart::kRun:
    case glimpses::WindowStart::kUnknownOption:
      break;
  }

  QApplication app(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("glimpses"));
  QGuiApplication::setApplicationVersion(QStringLiteral(GLIMPSES_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("io.glimpses.Glimpses"));
  glimpses::InstallWindowLanguage(app, QLocale());
  // Qt has taken its own options out of argv; what is still unknown is ours to refuse.
  if (line.start == glimpses::WindowStart::kUnknownOption) {
    line = glimpses::ParseWindowCommandLine(app.arguments());
    if (line.start != glimpses::WindowStart::kRun) return UsageError(line.error);
  }

  const std::string executableDir = glimpses::ExecutableDir();
  std::string settingsPath = glimpses::ChooseSettingsPath(executableDir, glimpses::ConfigDir());
  // The saved excluded folders, and for this run those of --exclude.
  auto startService = [options = line.search](const std::vector<std::string>& saved) {
    glimpses::SearchOptions withSaved = options;
    withSaved.excludes.insert(withSaved.excludes.end(), saved.begin(), saved.end());
    return std::shared_ptr<glimpses::SearchService>(glimpses::EnsureSearchServiceRunning(withSaved));
  };
  // The index starts building in the background; the window does not wait.
  std::shared_ptr<glimpses::SearchService> service =
      startService(glimpses::LoadPreferences(glimpses::PreferencesPathBeside(settingsPath)).excludes);
  glimpses::Settings settings = glimpses::DefaultSettings();
  if (glimpses::FileExists(settingsPath)) settings = glimpses::LoadSettings(settingsPath);

  std::vector<std::string> dataFolders = glimpses::DataFolders(executableDir);
  auto picture = [&](const char* name) {
    std::string path = glimpses::FindDataFile(name, dataFolders);
    return path.empty() ? QImage() : glimpses::LoadPictureByContent(QString::fromStdString(path));
  };
  // The icon is ours, not the current folder's.
  std::string iconPath = glimpses::FindDataFile("glimpses-icon.png", {dataFolders.begin() + 1, dataFolders.end()});
  QIcon icon = iconPath.empty() ? QIcon() : QIcon(QString::fromStdString(iconPath));

  glimpses::MainControllerSetup setup;
  setup.service = std::move(service);
  setup.settingsPath = settingsPath;
  setup.settings = settings;
  setup.startPicture = picture("Glimpses.png");
  setup.opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  setup.chooseFolder = [](const QString& title, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(nullptr, title, startFolder);
  };
  setup.chooseSaveFile = [](const QString& title, const QString& suggested) {
    QFileDialog dialog(nullptr, title, suggested, QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(suggested);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  };
  // Excluded folders are not crawled: a changed list means a service that
  // reads the roots without them.
  setup.restartService = startService;
  glimpses::MainController controller(std::move(setup));
  QObject::connect(&controller, &glimpses::MainController::closeRequested, &app, &QCoreApplication::exit);

  glimpses::MainWindow window(controller, icon, picture("Thumbnail.dat"));
  window.show();
  return app.exec();
}

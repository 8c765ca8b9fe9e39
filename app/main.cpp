// glimpses: the window. Options choose the search roots; the rest of the
// command line belongs to Qt.
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app_paths.h"
#include "file_util.h"
#include "main_controller.h"
#include "main_window.h"
#include "search_service.h"
#include "settings.h"

namespace {

constexpr char kUsage[] =
    "usage: glimpses [--root DIR]... [--backend index|plocate|auto] [Qt options]\n"
    "  --root DIR   search under DIR (repeatable; default $HOME)\n";

// Takes our own options out of argv; false, with a message, on a bad one.
bool ParseOptions(int argc, char** argv, glimpses::SearchOptions* options, bool* help) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool takesValue = arg == "--root" || arg == "--backend";
    if (takesValue) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "glimpses: %s needs a value\n", arg.c_str());
        return false;
      }
      value = argv[++i];
    } else if (arg.rfind("--root=", 0) == 0 || arg.rfind("--backend=", 0) == 0) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
    } else if (arg == "--help" || arg == "-h") {
      *help = true;
      continue;
    } else {
      continue;  // Qt's own options (-platform, -style, ...)
    }
    if (arg == "--root") {
      options->roots.push_back(value);
    } else if (value == "index") {
      options->backend = glimpses::Backend::kIndex;
    } else if (value == "plocate") {
      options->backend = glimpses::Backend::kPlocate;
    } else if (value == "auto") {
      options->backend = glimpses::Backend::kAuto;
    } else {
      std::fprintf(stderr, "glimpses: unknown backend '%s'\n", value.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  glimpses::SearchOptions options;
  bool help = false;
  if (!ParseOptions(argc, argv, &options, &help)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  // The index starts building in the background; the window does not wait.
  std::shared_ptr<glimpses::SearchService> service = glimpses::EnsureSearchServiceRunning(options);

  QApplication app(argc, argv);

  std::string settingsPath = glimpses::ChooseSettingsPath(glimpses::ExecutableDir(), glimpses::ConfigDir());
  glimpses::Settings settings = glimpses::DefaultSettings();
  if (glimpses::FileExists(settingsPath)) settings = glimpses::LoadSettings(settingsPath);

  std::vector<std::string> dataFolders = glimpses::DataFolders();
  auto picture = [&](const char* name) {
    std::string path = glimpses::FindDataFile(name, dataFolders);
    return path.empty() ? QImage() : glimpses::LoadPictureByContent(QString::fromStdString(path));
  };
  std::string iconPath = glimpses::FindDataFile("glimpses-icon.png", {glimpses::ExecutableDir(), dataFolders.back()});
  QIcon icon = iconPath.empty() ? QIcon() : QIcon(QString::fromStdString(iconPath));

  glimpses::MainControllerSetup setup;
  setup.service = std::move(service);
  setup.settingsPath = settingsPath;
  setup.cacheDir = glimpses::CacheDir();
  setup.settings = settings;
  setup.startPicture = picture("Glimpses.png");
  setup.opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  setup.chooseFolder = [](const QString& title, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(nullptr, title, startFolder);
  };
  glimpses::MainController controller(std::move(setup));
  QObject::connect(&controller, &glimpses::MainController::closeRequested, &app, &QCoreApplication::exit);

  glimpses::MainWindow window(controller, icon, picture("Thumbnail.dat"));
  window.show();
  return app.exec();
}

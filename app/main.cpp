// SELKORAN: one copy at a time, one window, the board chosen on the command line.

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <memory>
#include <string>

#include "DeviceChoice.h"
#include "QtPrompts.h"
#include "Selkoran_main.h"
#include "SingleInstance.h"

namespace {

const QString kProgramName = QStringLiteral("SELKORAN");

// Tests run several copies side by side; each group names its own instance.
QString InstanceKey() {
    const QString key = qEnvironmentVariable("SELKORAN_INSTANCE");
    return key.isEmpty() ? kProgramName : key;
}

QString ParseDevice(QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription("SELKORAN: measures with the SELKORAN USB converter board.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({"device",
                      "The board: usb:0 (the default: the first FTDI device through libftdi), "
                      "sim[:seed=N,...] (the simulated board) or tty:PATH (a serial device node).",
                      "device", "usb:0"});
    parser.process(app);
    return parser.value("device");
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramName);
    QApplication::setApplicationVersion(SELKORAN_VERSION);
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("selkoran"));
    const QString deviceText = ParseDevice(app);

    QtPrompts prompts;
    SingleInstance instance(InstanceKey());
    if (!instance.TryLock()) {
        if (instance.ConnectToFirst()) {
            prompts.ShowMessage(kProgramName.toStdString(), "SELKORAN はすでに起動しています",
                                PromptIcon::Error);
            instance.AskFirstToShow();
        }
        return 1;
    }

    std::string error;
    std::unique_ptr<FifoDriver> driver = ChooseDevice(deviceText.toStdString(), &error);
    if (!driver) {
        std::fprintf(stderr, "selkoran: %s\n", error.c_str());
        return 2;
    }

    TFormMain window(*driver, prompts);
    if (!window.Constructed()) {
        return 1;
    }
    instance.Listen([&window] {
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    window.show();
    return QApplication::exec();
}

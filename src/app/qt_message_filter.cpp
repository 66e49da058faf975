#include "app/qt_message_filter.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>

namespace porthold::app {

namespace {

void FilterQtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

}  // namespace

void SilenceQtMessages() {
    qInstallMessageHandler(FilterQtMessage);
}

}  // namespace porthold::app

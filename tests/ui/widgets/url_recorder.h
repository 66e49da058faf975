#pragma once

#include <QObject>
#include <QUrl>
#include <vector>

namespace porthold::testing {

// Stands in for the desktop's opener of links, so a test sees what a click
// would open without starting a browser.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    std::vector<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

}  // namespace porthold::testing

#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tv {

// One window per user and settings: a second start (say "Open Tessvane" from
// a desktop notice) asks the running window to come forward and ends. The
// key names the settings (program folder and settings file), so windows of
// other settings (a demo, the tests) stay apart.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;
    // True when another window of this key answered (it was asked to come
    // forward); otherwise this one listens from now on.
    bool handedToRunning();

signals:
    void raiseRequested();

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

// The key of the settings this process uses.
QString singleInstanceKey(const std::string& programFolder, const std::string& registryFile);

} // namespace tv

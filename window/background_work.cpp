#include "background_work.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace tv {

bool BackgroundWork::start(std::function<void()> work, bool stoppable, std::function<void()> done) {
    if (m_busy) return false;
    m_busy = true;
    m_stop = false;
    m_stoppable = stoppable;
    emit busyChanged();
    m_runner.start(std::move(work))
        .then(
            this,
            [this, done = std::move(done)] {
                ended();
                if (done) done();
            },
            [this](const std::string& text) {
                ended();
                emit failed(QString::fromStdString(text));
            });
    return true;
}

void BackgroundWork::ended() {
    m_busy = false;
    m_stoppable = false;
    emit busyChanged();
}

void BackgroundWork::waitForEnd() {
    while (m_busy)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

// The runner, a member, waits for a worker still here.
BackgroundWork::~BackgroundWork() = default;

bool BackgroundWork::onWindowThreadNow() {
    auto* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void BackgroundWork::onWindowThread(const std::function<void()>& f) {
    if (onWindowThreadNow()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), f, Qt::BlockingQueuedConnection);
}

void BackgroundWork::postToWindowThread(std::function<void()> f) {
    if (onWindowThreadNow()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(f), Qt::QueuedConnection);
}

void WindowThreadPrompter::message(const std::string& text, const std::string& title,
                                   MessageIcon icon) {
    BackgroundWork::onWindowThread([&] { m_inner.message(text, title, icon); });
}

bool WindowThreadPrompter::question(const std::string& text, const std::string& title,
                                    MessageIcon icon) {
    bool answer = false;
    BackgroundWork::onWindowThread([&] { answer = m_inner.question(text, title, icon); });
    return answer;
}

Choice WindowThreadPrompter::choose(const std::string& text, const std::string& title) {
    Choice answer = Choice::Cancel;
    BackgroundWork::onWindowThread([&] { answer = m_inner.choose(text, title); });
    return answer;
}

std::string WindowThreadPrompter::browseForFolder(const std::string& title) {
    std::string answer;
    BackgroundWork::onWindowThread([&] { answer = m_inner.browseForFolder(title); });
    return answer;
}

std::vector<std::string> WindowThreadPrompter::chooseFiles(const FileRequest& request) {
    std::vector<std::string> answer;
    BackgroundWork::onWindowThread([&] { answer = m_inner.chooseFiles(request); });
    return answer;
}

int WindowThreadPrompter::chooseFromList(const ListRequest& request) {
    int answer = kChoseNothing;
    BackgroundWork::onWindowThread([&] { answer = m_inner.chooseFromList(request); });
    return answer;
}

bool WindowThreadPrompter::isWindow(int64_t handle) const {
    bool answer = false;
    BackgroundWork::onWindowThread([&] { answer = m_inner.isWindow(handle); });
    return answer;
}

} // namespace tv

#pragma once
// The one way the window runs work off its thread: start(task) runs the task
// on a worker thread; .then(context, callback) hands its result, by value,
// to the context's thread once it has ended, unless the context has gone
// meanwhile. A task that throws never reaches a queued call: what it threw
// becomes a text for the failure callback.

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

namespace tv {

// What a task throws, as words for the user.
std::string failureText(const std::exception_ptr& failure);

namespace work_detail {

// A task's end, handed from its worker to whoever waits for it.
template <class T> struct Handoff {
    std::mutex mutex;
    std::optional<std::variant<T, std::string>> ended; // the result, or what it threw
    std::function<void(std::variant<T, std::string>)> deliver;

    void end(std::variant<T, std::string> value) {
        std::function<void(std::variant<T, std::string>)> to;
        {
            std::lock_guard<std::mutex> hold(mutex);
            if (!deliver) {
                ended = std::move(value);
                return;
            }
            to = deliver;
        }
        to(std::move(value));
    }
    void whenEnded(std::function<void(std::variant<T, std::string>)> f) {
        std::optional<std::variant<T, std::string>> now;
        {
            std::lock_guard<std::mutex> hold(mutex);
            if (!ended) {
                deliver = std::move(f);
                return;
            }
            now = std::move(ended);
        }
        f(std::move(*now));
    }
};

} // namespace work_detail

// A task started: what to do once it has ended.
template <class T> class Started {
public:
    explicit Started(std::shared_ptr<work_detail::Handoff<T>> handoff)
        : m_handoff(std::move(handoff)) {}

    // `callback(result)` (or `callback()` for a task without one) on the
    // window's thread once the task has ended, after everything the task
    // posted there; `failed(text)` instead when it threw. Neither runs once
    // `context` (an object of the window's thread) is gone.
    template <class Callback>
    void then(QObject* context, Callback callback,
              std::function<void(const std::string&)> failed = {}) {
        QPointer<QObject> alive(context);
        m_handoff->whenEnded([alive, callback = std::move(callback),
                              failed = std::move(failed)](std::variant<T, std::string> end) {
            // Posted to the application, which outlives every context: the
            // context itself is only looked at on its own thread.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [alive, callback, failed, end = std::move(end)]() mutable {
                    if (!alive) return;
                    if (auto* text = std::get_if<std::string>(&end)) {
                        if (failed) failed(*text);
                        return;
                    }
                    if constexpr (std::is_same_v<T, std::monostate>)
                        callback();
                    else
                        callback(std::move(std::get<T>(end)));
                },
                Qt::QueuedConnection);
        });
    }

private:
    std::shared_ptr<work_detail::Handoff<T>> m_handoff;
};

class WorkRunner {
public:
    WorkRunner() = default;
    // Waits for every task still under way (they look at their own stop).
    ~WorkRunner();
    WorkRunner(const WorkRunner&) = delete;
    WorkRunner& operator=(const WorkRunner&) = delete;

    template <class Task> auto start(Task task) {
        using R = std::invoke_result_t<Task>;
        using T = std::conditional_t<std::is_void_v<R>, std::monostate, R>;
        auto handoff = std::make_shared<work_detail::Handoff<T>>();
        launch([task = std::move(task), handoff]() mutable {
            try {
                if constexpr (std::is_void_v<R>) {
                    task();
                    handoff->end(std::monostate{});
                } else {
                    handoff->end(task());
                }
            } catch (...) {
                handoff->end(failureText(std::current_exception()));
            }
        });
        return Started<T>(handoff);
    }

    // Tasks started and not ended yet.
    size_t running();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::mutex m_mutex;
    std::vector<Worker> m_workers;
    void launch(std::function<void()> body);
    // Joins the workers that have ended.
    void prune();
};

} // namespace tv

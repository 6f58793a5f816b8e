#include "work_runner.h"

#include <new>
#include <stdexcept>

namespace tv {

std::string failureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return "there was not enough memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown failure";
    }
}

WorkRunner::~WorkRunner() {
    std::vector<Worker> workers;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        workers = std::move(m_workers);
    }
    for (auto& w : workers)
        if (w.thread.joinable()) w.thread.join();
}

void WorkRunner::launch(std::function<void()> body) {
    prune();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([body = std::move(body), ended] {
        body();
        *ended = true;
    });
    std::lock_guard<std::mutex> hold(m_mutex);
    m_workers.push_back({std::move(thread), ended});
}

void WorkRunner::prune() {
    std::lock_guard<std::mutex> hold(m_mutex);
    std::erase_if(m_workers, [](Worker& w) {
        if (!*w.ended) return false;
        w.thread.join();
        return true;
    });
}

size_t WorkRunner::running() {
    prune();
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_workers.size();
}

} // namespace tv

#pragma once

// An HTTP server on 127.0.0.1 for the duration of one test, serving the pages
// it is given. "{PORT}" in a page becomes the server's port, so a page can
// name the same server under another origin (http://localhost:{PORT}/...).
// Two fixed routes: /slow answers after four seconds (or when the server
// stops), /dated carries a Last-Modified header.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class PageServer {
public:
    explicit PageServer(std::map<std::string, std::string> pages,
                        std::string contentType = "text/html")
        : m_pages(std::move(pages)), m_contentType(std::move(contentType)) {
        m_server.Get("/slow", [this](const httplib::Request&, httplib::Response& r) {
            for (int i = 0; i < 40 && !m_stopping; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            r.set_content("<html><head><title>Slow</title></head><body>late</body></html>",
                          "text/html");
        });
        m_server.Get("/dated", [](const httplib::Request&, httplib::Response& r) {
            r.set_header("Last-Modified", "Tue, 15 Nov 1994 12:45:26 GMT");
            r.set_content("<html><head><title>Dated</title></head><body>x</body></html>",
                          "text/html");
        });
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& r) {
            auto it = m_pages.find(req.path);
            if (it == m_pages.end()) {
                r.status = 404; // the browser's own asks (a favicon) included
                return;
            }
            {
                std::lock_guard lock(m_mutex);
                m_lastQuery = req.target;
            }
            std::string page = it->second;
            for (size_t at; (at = page.find("{PORT}")) != std::string::npos;)
                page.replace(at, 6, std::to_string(m_port));
            r.set_content(page, m_contentType);
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // A stop that comes before the server listens would be missed and
        // leave the thread listening for ever.
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PageServer() {
        m_stopping = true;
        m_server.stop();
        m_thread.join();
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    std::string url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(m_port) + path;
    }
    // The path and query of the last of its pages asked for.
    std::string lastQuery() {
        std::lock_guard lock(m_mutex);
        return m_lastQuery;
    }

private:
    const std::map<std::string, std::string> m_pages;
    const std::string m_contentType;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::string m_lastQuery;
};

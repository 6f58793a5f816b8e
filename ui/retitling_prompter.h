#pragma once

#include "prompter.h"

#include <string>

namespace tv {

// Passes everything on to another Prompter, giving the boxes that carry the
// program family's default title ("Tessvane") a title of their own, so that
// a companion program's boxes say which program asks.
class RetitlingPrompter : public Prompter {
public:
    RetitlingPrompter(Prompter& inner, std::string title)
        : m_inner(inner), m_title(std::move(title)) {}
    void message(const std::string& text, const std::string& title, MessageIcon icon) override {
        m_inner.message(text, retitled(title), icon);
    }
    bool question(const std::string& text, const std::string& title, MessageIcon icon) override {
        return m_inner.question(text, retitled(title), icon);
    }
    Choice choose(const std::string& text, const std::string& title) override {
        return m_inner.choose(text, retitled(title));
    }
    std::string browseForFolder(const std::string& title) override {
        return m_inner.browseForFolder(title);
    }
    std::vector<std::string> chooseFiles(const FileRequest& request) override {
        return m_inner.chooseFiles(request);
    }
    int chooseFromList(const ListRequest& request) override {
        ListRequest r = request;
        r.title = retitled(r.title);
        return m_inner.chooseFromList(r);
    }
    bool isWindow(int64_t handle) const override { return m_inner.isWindow(handle); }

private:
    const std::string& retitled(const std::string& title) const {
        return title == "Tessvane" ? m_title : title;
    }
    Prompter& m_inner;
    std::string m_title;
};

} // namespace tv

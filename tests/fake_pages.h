#pragma once

#include "platform/text_util.h"
#include "update/update_check.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tvtest {

// Web pages for the update check without a browser: the text of each
// address, markers found without regard to letter case as the browser's are.
class FakePages : public tv::PageSource {
public:
    explicit FakePages(std::map<std::string, std::string> pages) : m_pages(std::move(pages)) {}
    bool OpenSite(const std::string& address, short) override {
        opened.push_back(address);
        auto it = m_pages.find(address);
        m_current = it == m_pages.end() ? nullptr : &it->second;
        return m_current != nullptr;
    }
    std::string GetTextBetweenText(const std::string& start, const std::string& end) override {
        if (!m_current) return {};
        std::string upper = tv::toUpper(*m_current);
        size_t a = upper.find(tv::toUpper(start));
        if (a == std::string::npos) return {};
        a += start.size();
        size_t b = upper.find(tv::toUpper(end), a);
        if (b == std::string::npos) return {};
        return tv::trim(std::string_view(*m_current).substr(a, b - a));
    }
    std::vector<std::string> opened;

private:
    std::map<std::string, std::string> m_pages;
    const std::string* m_current = nullptr;
};

} // namespace tvtest

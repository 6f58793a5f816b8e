#pragma once

#include <functional>
#include <string>

namespace tv {

enum class MessageIcon { None, Information, Exclamation, Critical, Question };

// Something the user must be told, from code that shows nothing itself: the
// caller decides how (a message box, a line on the terminal, a test's list).
struct Notice {
    std::string text;
    std::string title = "Tessvane";
    MessageIcon icon = MessageIcon::None;
};

// Where notices go; an empty one drops them.
using NoticeSink = std::function<void(const Notice&)>;

inline void tell(const NoticeSink& sink, Notice notice) {
    if (sink) sink(notice);
}

} // namespace tv

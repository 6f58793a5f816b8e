#include "settings.h"

#include "formats/cls_registry.h"
#include "platform/text_util.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tv {

void Settings::setSelectOption(bool all, bool value) {
    (all ? selectAll : selectOnly) = value;
    if (value) (all ? selectOnly : selectAll) = false;
}

void Settings::setMoveOption(MoveMode mode, bool value) {
    bool* opts[] = {&moveNorm, &moveDir, &moveDir2};
    int idx = static_cast<int>(mode);
    *opts[idx] = value;
    if (value)
        for (int i = 0; i < 3; ++i)
            if (i != idx) *opts[i] = false;
}

namespace {

std::optional<double> number(const std::string& text) {
    std::string t = trim(text);
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace

std::optional<bool> optionFromText(const std::string& text) {
    std::string t = trim(text);
    if (equalsNoCase(t, "True")) return true;
    if (equalsNoCase(t, "False")) return false;
    if (auto n = number(t)) return *n != 0;
    return std::nullopt;
}

std::optional<bool> checkFromText(const std::string& text) {
    auto n = number(text);
    if (!n) return std::nullopt;
    long v = std::lround(*n);
    if (v == 0) return false;
    if (v == 1) return true;
    return std::nullopt; // not a state a check box can take
}

std::string optionText(bool value) {
    return value ? "True" : "False";
}
std::string checkText(bool value) {
    return value ? "1" : "0";
}

void loadSettings(clsRegistry& reg, Settings& s) {
    auto option = [&](const char* name, const char* def, auto&& apply) {
        if (auto v = optionFromText(reg.ReadEntry(name, def))) apply(*v);
    };
    auto check = [&](const char* name, const char* def, bool& target) {
        if (auto v = checkFromText(reg.ReadEntry(name, def))) target = *v;
    };
    option("SelectAll", "True", [&](bool v) { s.setSelectOption(true, v); });
    option("SelectOnly", "False", [&](bool v) { s.setSelectOption(false, v); });
    check("ExtAlert", "0", s.extAlert);
    check("U", "0", s.U);
    check("UAX", "0", s.UAX);
    check("UMX", "0", s.UMX);
    check("UT2", "0", s.UT2);
    check("UTX", "0", s.UTX);
    check("USX", "0", s.USX);
    check("UKX", "0", s.UKX);
    check("UnZIPNoPreview", "0", s.unzipNoPreview);
    check("AutoUpdate", "0", s.autoUpdate);
    using M = Settings::MoveMode;
    option("MoveNorm", "True", [&](bool v) { s.setMoveOption(M::Norm, v); });
    option("MoveDir", "False", [&](bool v) { s.setMoveOption(M::Dir, v); });
    s.moveDirText = reg.ReadEntry("MoveDirText", "");
    option("MoveDir2", "False", [&](bool v) { s.setMoveOption(M::Dir2, v); });
    s.moveDir2Text = reg.ReadEntry("MoveDir2Text", "");
    s.cacheDir = reg.ReadEntry("CacheDir", "");
    check("BackupCache", "1", s.backupCache);
    std::string first = trim(reg.ReadEntry("FirstRun", "1"));
    int firstRun = 0;
    auto [ptr, ec] = std::from_chars(first.data(), first.data() + first.size(), firstRun);
    s.firstRun = (ec == std::errc() && ptr == first.data() + first.size()) ? firstRun : 0;
}

void saveSettings(clsRegistry& reg, const Settings& s) {
    reg.WriteEntry("SelectAll", optionText(s.selectAll));
    reg.WriteEntry("SelectOnly", optionText(s.selectOnly));
    reg.WriteEntry("ExtAlert", checkText(s.extAlert));
    reg.WriteEntry("U", checkText(s.U));
    reg.WriteEntry("UAX", checkText(s.UAX));
    reg.WriteEntry("UMX", checkText(s.UMX));
    reg.WriteEntry("UT2", checkText(s.UT2));
    reg.WriteEntry("UTX", checkText(s.UTX));
    reg.WriteEntry("USX", checkText(s.USX));
    reg.WriteEntry("UKX", checkText(s.UKX));
    reg.WriteEntry("UnZIPNoPreview", checkText(s.unzipNoPreview));
    reg.WriteEntry("AutoUpdate", checkText(s.autoUpdate));
    reg.WriteEntry("AutoClean", "0");
    reg.WriteEntry("MoveNorm", optionText(s.moveNorm));
    reg.WriteEntry("MoveDir", optionText(s.moveDir));
    reg.WriteEntry("MoveDirText", s.moveDirText);
    reg.WriteEntry("MoveDir2", optionText(s.moveDir2));
    reg.WriteEntry("MoveDir2Text", s.moveDir2Text);
    reg.WriteEntry("CacheDir", s.cacheDir);
    reg.WriteEntry("BackupCache", checkText(s.backupCache));
    reg.WriteEntry("FirstRun", "0");
}

} // namespace tv
